// libFuzzer target for the receive side of the link: the input is cut into
// deliveries, run through ring, assembler and decoder with every trace on,
// and each reply is read by the command readers. Built by scripts/fuzz-link.

#include <QString>
#include <cstddef>
#include <cstdint>

#include "LinkReceiver.h"
#include "ReplyReaders.h"

using namespace ifb;

namespace {

class Events final : public ReceiveEvents {
  public:
    bool traceOn() const override { return true; }
    bool rxTraceOn() const override { return true; }
    void trace(const QString& line) override { chars += line.size(); }
    void sumError(const QString& message) override {
        chars += message.size();
        if (onSumError) onSumError();
    }
    qsizetype chars = 0;
    std::function<void()> onSumError;
};

void readAll(const ReplyState& s) {
    volatile qsizetype sink =
        ReplyText(s, 0).size() + ReplyText(s, 1).size() + ReplyText(s, 2).size() + ReplyText(s, 8).size();
    (void)sink;
    (void)ReadIfbMode(s);
    (void)ReadApConnection(s);
    (void)ReadTargetId(s);
    TCPIPPARAM p;
    (void)ReadNetworkBlock(s, p);
    WiFi_AP ap;
    (void)ReadApInfo(s, ap);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int chunk = 1 + data[0];          // delivery size
    const bool resetOnError = data[1] & 1;  // a reconnect while the sum box is open
    data += 2;
    size -= 2;
    ReplyState state;
    Events events;
    LinkReceiver rx(state, events);
    const uint8_t* pending = nullptr;
    if (resetOnError) {
        events.onSumError = [&] {
            rx.PollReceive();
            rx.Reset();
            if (pending) rx.Deliver(pending, 1);
        };
    }
    for (size_t pos = 0; pos < size; pos += static_cast<size_t>(chunk)) {
        const size_t n = std::min(static_cast<size_t>(chunk), size - pos);
        pending = data + pos;
        rx.Deliver(data + pos, static_cast<int>(n));
        state.ReplyCopied = false;
        rx.PollReceive();
        if (state.ReplyCopied) readAll(state);
    }
    return 0;
}
