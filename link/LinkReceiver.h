#pragma once

#include <QString>

#include "FrameCodec.h"
#include "ReplyDecoder.h"
#include "RxRing.h"

namespace ifb {

// What the receive path needs from its owner (the link).
class ReceiveEvents {
  public:
    virtual ~ReceiveEvents() = default;
    // Decoder and link trace lines are wanted.
    virtual bool traceOn() const = 0;
    // One "RX:" line per poll is wanted.
    virtual bool rxTraceOn() const = 0;
    virtual void trace(const QString& line) = 0;
    // A frame failed its sum or ETX; message is "SUM EEROR: " + its hex form.
    // May run a modal box, so events (and further deliveries) are handled inside.
    virtual void sumError(const QString& message) = 0;
    // Moves bytes that the transport still holds into the ring (Deliver), up
    // to its free room. Runs at the start of each poll.
    virtual void topUp() {}
};

// The receive side of the link: the ring that the data handlers fill, and the
// poll that cuts its bytes into frames and decodes them into ReplyState.
class LinkReceiver {
  public:
    // Empty polls after which a partial frame is abandoned.
    static constexpr int kIdlePolls = 100;

    LinkReceiver(ReplyState& state, ReceiveEvents& events);

    // Stores one delivery of received bytes. Bytes that do not fit beside the
    // unread ones are dropped (the newest), counted and traced; returns that number.
    // Data handlers whose transport keeps what they do not take read only space().
    int Deliver(const quint8* bytes, int n);
    // Bytes the ring takes now without dropping any.
    int space() const { return ring_.space(); }

    // Tops the ring up from the transport, then takes every unread byte through
    // the assembler and decoder. Ignored when called again from inside itself
    // (a box opened by the poll pumps events).
    void PollReceive();

    // Empties the ring and abandons a partial frame.
    void Reset();

    const RxRing& ring() const { return ring_; }
    quint64 droppedBytes() const { return dropped_; }
    bool inFrame() const { return assembler_.inFrame(); }

  private:
    void onFrame(const quint8* frame, int size);
    void onReject(const quint8* frame, int size);

    ReplyState& state_;
    ReceiveEvents& events_;
    RxRing ring_;
    FrameAssembler assembler_;
    TraceFn decoderTrace_;
    int idle_ = kIdlePolls;
    bool polling_ = false;
    bool rxTracing_ = false;
    QString rxText_;
    quint64 dropped_ = 0;
    quint64 resets_ = 0;
};

}  // namespace ifb
