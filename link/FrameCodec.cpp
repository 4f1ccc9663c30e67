#include "FrameCodec.h"

namespace ifb {

quint8 FrameSum(const quint8* frame) {
    const int len = frame[3];
    unsigned sum = 0;
    for (int i = 0; i < len + 5; ++i) sum += frame[i];
    return static_cast<quint8>(sum & 0xFFu);
}

quint8 FrameSum(const QByteArray& frame) {
    return FrameSum(reinterpret_cast<const quint8*>(frame.constData()));
}

QByteArray BuildFrame(quint8 id, quint8 cmd, const QByteArray& data) {
    const QByteArray payload = data.left(frame::kMaxData);
    QByteArray out;
    out.reserve(payload.size() + frame::kMinSize);
    out.append(static_cast<char>(frame::kStx));
    out.append(static_cast<char>(id));
    out.append(static_cast<char>(cmd));
    out.append(static_cast<char>(payload.size()));
    out.append(payload);
    out.append(static_cast<char>(frame::kEtx));
    out.append(static_cast<char>(FrameSum(out)));
    out.append(static_cast<char>(frame::kCr));
    return out;
}

QString HexForm(const quint8* bytes, int count) {
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(count * 3);
    for (int i = 0; i < count; ++i) {
        text.append(QLatin1Char(digits[bytes[i] >> 4]));
        text.append(QLatin1Char(digits[bytes[i] & 0x0F]));
        text.append(QLatin1Char(' '));
    }
    return text;
}

QString HexForm(const QByteArray& bytes) {
    return HexForm(reinterpret_cast<const quint8*>(bytes.constData()), static_cast<int>(bytes.size()));
}

FrameAssembler::FrameAssembler(FrameHandler onFrame, RejectHandler onReject)
    : onFrame_(std::move(onFrame)), onReject_(std::move(onReject)) {}

void FrameAssembler::feed(quint8 byte) {
    if (!inFrame_) {
        if (byte != frame::kStx) return;
        inFrame_ = true;
        buffer_[0] = byte;
        count_ = 1;
        end_ = 7;
        return;
    }
    if (count_ == 3) {
        buffer_[3] = byte;
        count_ = 4;
        end_ = byte + 6;
        return;
    }
    if (count_ == end_ && byte == frame::kCr) {
        buffer_[static_cast<size_t>(count_)] = byte;
        inFrame_ = false;
        const int len = buffer_[3];
        const bool sumOk = buffer_[static_cast<size_t>(len) + 5] == FrameSum(buffer_.data());
        const bool etxOk = buffer_[static_cast<size_t>(len) + 4] == frame::kEtx;
        if (sumOk && etxOk) {
            if (onFrame_) onFrame_(buffer_.data(), len + 7);
        } else if (onReject_) {
            onReject_(buffer_.data(), len + 6);
        }
        return;
    }
    if (count_ > end_) {
        inFrame_ = false;  // the byte after a frame without its CR is lost as well
        return;
    }
    buffer_[static_cast<size_t>(count_)] = byte;
    ++count_;
}

}  // namespace ifb
