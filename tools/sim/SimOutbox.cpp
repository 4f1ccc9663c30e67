#include "SimOutbox.h"

#include "FrameCodec.h"
#include "SimTransport.h"

namespace ifb::sim {
namespace {
constexpr int kSplitGapMs = 2;  // long enough for the PC to see one byte per read
}

SimOutbox::SimOutbox(SimTransport& transport, Faults faults, QObject* parent)
    : QObject(parent), transport_(transport), faults_(faults) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SimOutbox::pump);
}

void SimOutbox::sendReply(const QByteArray& frame) {
    QByteArray bytes;
    if (faults_.noise) {
        // Garbage between frames; never an STX, which would start a false frame.
        const int count = 1 + static_cast<int>(random_.bounded(6));
        for (int i = 0; i < count; ++i) {
            quint8 byte = static_cast<quint8>(random_.bounded(256));
            if (byte == frame::kStx) byte = 0xFF;
            bytes.append(static_cast<char>(byte));
        }
    }
    bytes.append(frame);
    queue_.push_back({bytes, clock_.elapsed() + faults_.replyDelayMs, {}});
    pumpUnlessWaiting();
}

void SimOutbox::sendNotice(const QByteArray& frame) {
    queue_.push_back({frame, 0, {}});
    pumpUnlessWaiting();
}

void SimOutbox::whenDrained(std::function<void()> action) {
    queue_.push_back({{}, 0, std::move(action)});
    pumpUnlessWaiting();
}

void SimOutbox::pumpUnlessWaiting() {
    // A running timer means the head waits for its time or its next split byte.
    if (!timer_.isActive()) pump();
}

void SimOutbox::pump() {
    while (!queue_.empty()) {
        Item& head = queue_.front();
        const qint64 now = clock_.elapsed();
        if (head.notBefore > now) {
            timer_.start(static_cast<int>(head.notBefore - now));
            return;
        }
        if (head.action) {
            auto action = std::move(head.action);
            queue_.pop_front();
            action();
            continue;
        }
        if (faults_.split && head.bytes.size() - sentOfHead_ > 1) {
            transport_.write(head.bytes.mid(sentOfHead_, 1));
            ++sentOfHead_;
            timer_.start(kSplitGapMs);
            return;
        }
        transport_.write(head.bytes.mid(sentOfHead_));
        sentOfHead_ = 0;
        queue_.pop_front();
    }
}

}  // namespace ifb::sim
