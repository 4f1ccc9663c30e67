#include "LinkReceiver.h"

namespace ifb {

LinkReceiver::LinkReceiver(ReplyState& state, ReceiveEvents& events)
    : state_(state),
      events_(events),
      assembler_([this](const quint8* f, int n) { onFrame(f, n); },
                 [this](const quint8* f, int n) { onReject(f, n); }),
      decoderTrace_([this](const QString& line) { events_.trace(line); }) {}

int LinkReceiver::Deliver(const quint8* bytes, int n) {
    if (n <= 0) return 0;
    const int lost = n - ring_.put(bytes, n);
    if (lost > 0) {
        dropped_ += static_cast<quint64>(lost);
        if (events_.traceOn()) {
            events_.trace(QStringLiteral("RX overrun: %1 bytes dropped (%2 in all)").arg(lost).arg(dropped_));
        }
    }
    return lost;
}

void LinkReceiver::PollReceive() {
    if (polling_) return;
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    };
    polling_ = true;
    Guard guard{polling_};

    events_.topUp();
    const int n = ring_.unread();
    if (n == 0) {
        if (idle_ > 0) {
            --idle_;
        } else {
            assembler_.reset();
        }
        return;
    }
    idle_ = kIdlePolls;
    rxTracing_ = events_.rxTraceOn();
    if (rxTracing_) rxText_ = QStringLiteral("RX:");
    const quint64 resetsBefore = resets_;
    for (int i = 0; i < n; ++i) {
        // A reset while a box of this poll was open: the bytes counted above are gone.
        if (resets_ != resetsBefore) break;
        const quint8 b = ring_.take();
        if (rxTracing_) rxText_ += HexForm(&b, 1);
        assembler_.feed(b);
    }
    if (rxTracing_) {
        rxTracing_ = false;
        events_.trace(rxText_);
        rxText_.clear();
    }
}

void LinkReceiver::Reset() {
    ring_.reset();
    assembler_.reset();
    idle_ = kIdlePolls;
    ++resets_;
}

void LinkReceiver::onFrame(const quint8* frame, int size) {
    static const TraceFn off;
    DecodeReply(frame, size, state_, events_.traceOn() ? decoderTrace_ : off);
}

void LinkReceiver::onReject(const quint8* frame, int size) {
    const QString message = QStringLiteral("SUM EEROR: ") + HexForm(frame, size);
    if (events_.traceOn()) events_.trace(QStringLiteral("SUM EEROR"));
    if (rxTracing_) rxText_ = message;
    events_.sumError(message);
}

}  // namespace ifb
