#pragma once

#include <QString>
#include <array>
#include <functional>

#include "FrameCodec.h"

namespace ifb {

// Kinds of decoded frames as the waits see them, with the values the board
// protocol gives them (None: nothing since the last send).
enum class Reply : int {
    None = 0,
    Ack = 2,         // '0'
    OtaResult = 3,   // 'D'
    NoticeD = 4,     // 'd'
    NoticeI = 5,     // 'i'
    Nack = 6,        // '1'
    Identifier = 7,  // 'I'
    NoticeL = 8,     // 'L'
    G = 9,           // 'G'
    Lcd = 10,        // 'b'
    Tag = 11,        // 'l'
};

// What the decoder leaves behind for the waits and the commands.
struct ReplyState {
    Reply ReplyKind = Reply::None;
    // Last ACK, NACK or 'G' frame, STX to CR; the bytes after its CR are zero.
    std::array<quint8, frame::kMaxSize> ReplyBuffer{};
    bool OtaResultReceived = false;
    bool OtaResultOk = false;
    // A frame went into ReplyBuffer since the last send, so it answers that send.
    bool ReplyCopied = false;

    // Forgets an earlier verdict, so that only the coming update's counts.
    void ClearOtaResult() {
        OtaResultReceived = false;
        OtaResultOk = false;
    }

    // The kind of the answer copied since the last send (None when none came).
    // A notice that follows the answer closely overwrites ReplyKind, not this.
    Reply AnswerKind() const {
        if (!ReplyCopied) return Reply::None;
        switch (ReplyBuffer[2]) {
            case frame::kCmdAck:
                return Reply::Ack;
            case frame::kCmdNack:
                return Reply::Nack;
            default:
                return Reply::G;
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
