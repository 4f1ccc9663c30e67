#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>

namespace ifb {

namespace frame {
constexpr quint8 kStx = 0x02;
constexpr quint8 kEtx = 0x03;
constexpr quint8 kCr = 0x0D;
constexpr quint8 kCmdAck = 0x30;         // '0'
constexpr quint8 kCmdNack = 0x31;        // '1'
constexpr quint8 kCmdIfbRequest = 0x45;  // 'E'
constexpr int kMinSize = 7;              // LEN 0
constexpr int kMaxSize = 262;            // LEN 255
constexpr int kMaxData = 255;
}  // namespace frame

// 8-bit sum of STX .. ETX; reads LEN from byte 3, so the buffer must hold LEN + 5 bytes.
quint8 FrameSum(const quint8* frame);
quint8 FrameSum(const QByteArray& frame);

// STX, id, cmd, LEN, data, ETX, sum, CR. Data longer than 255 bytes is cut to 255.
QByteArray BuildFrame(quint8 id, quint8 cmd, const QByteArray& data);

// Two upper-case hex digits and one blank per byte ("02 00 45 ").
QString HexForm(const quint8* bytes, int count);
QString HexForm(const QByteArray& bytes);

// Cuts frames out of a byte stream, one byte at a time, by LEN (nothing is
// escaped). Its quirks are deliberate and match the board's reader protocol:
// a frame whose CR position holds another byte is abandoned on the next byte,
// and that next byte is lost too.
class FrameAssembler {
  public:
    // An accepted frame, STX to CR. Called before the next byte is examined.
    using FrameHandler = std::function<void(const quint8* frame, int size)>;
    // A frame with a bad sum or ETX: the bytes STX .. SUM (everything but the CR).
    using RejectHandler = std::function<void(const quint8* frame, int size)>;

    FrameAssembler(FrameHandler onFrame, RejectHandler onReject);

    void feed(quint8 byte);
    // Abandons a partial frame; the next frame starts at the next STX.
    void reset() { inFrame_ = false; }
    bool inFrame() const { return inFrame_; }

  private:
    FrameHandler onFrame_;
    RejectHandler onReject_;
    std::array<quint8, frame::kMaxSize> buffer_{};
    bool inFrame_ = false;
    int count_ = 0;
    int end_ = 0;
};

}  // namespace ifb
