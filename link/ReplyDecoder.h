#pragma once

#include <QString>
#include <array>
#include <functional>

#include "FrameCodec.h"

namespace ifb {

// Kinds of decoded frames as the waits see them (0: none since the last send).
namespace reply {
constexpr int kNone = 0;
constexpr int kAck = 2;         // '0'
constexpr int kOtaResult = 3;   // 'D'
constexpr int kNoticeD = 4;     // 'd'
constexpr int kNoticeI = 5;     // 'i'
constexpr int kNack = 6;        // '1'
constexpr int kIdentifier = 7;  // 'I'
constexpr int kNoticeL = 8;     // 'L'
constexpr int kG = 9;           // 'G'
constexpr int kLcd = 10;        // 'b'
constexpr int kTag = 11;        // 'l'
}  // namespace reply

// What the decoder leaves behind for the waits and the commands.
struct ReplyState {
    int ReplyKind = reply::kNone;
    // Last ACK, NACK or 'G' frame, STX to CR; the bytes after its CR are zero.
    std::array<quint8, frame::kMaxSize> ReplyBuffer{};
    bool OtaResultReceived = false;
    bool OtaResultOk = false;
    // A frame went into ReplyBuffer since the last send, so it answers that send.
    bool ReplyCopied = false;

    // The kind of the answer copied since the last send (kNone when none came).
    // A notice that follows the answer closely overwrites ReplyKind, not this.
    int AnswerKind() const {
        if (!ReplyCopied) return reply::kNone;
        switch (ReplyBuffer[2]) {
            case frame::kCmdAck:
                return reply::kAck;
            case frame::kCmdNack:
                return reply::kNack;
            default:
                return reply::kG;
        }
    }
};

// Trace output of the decoder; an empty function means tracing is off, and
// then no text is built at all.
using TraceFn = std::function<void(const QString&)>;

// Interprets one accepted frame (size = LEN + 7): sets the reply kind, copies
// ACK/NACK/'G' frames, sets the OTA flags from a 'D' notice, traces findings.
// Bytes that a notice reads past the end of a short frame count as 0.
void DecodeReply(const quint8* frame, int size, ReplyState& state, const TraceFn& trace);

// The trace line of a NACK with this reason and detail code.
QString NackReasonText(quint8 reason, quint8 detail);

// The LCD unit's clock line from its seven BCD bytes (seconds first, year last).
QString ClockLine(const quint8* bcd7);

}  // namespace ifb
