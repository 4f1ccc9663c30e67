#pragma once

#include "TickClock.h"

namespace ifb::test {

// A tick clock the test moves. With a step set, every reading advances it, so a
// wait of seconds runs through in a few real milliseconds.
class FakeTickClock final : public TickClock {
  public:
    explicit FakeTickClock(quint32 start = 0, quint32 stepPerRead = 0) : now_(start), step_(stepPerRead) {
        setTickClock(this);
    }
    ~FakeTickClock() override { setTickClock(nullptr); }

    quint32 now() const override {
        const quint32 t = now_;
        now_ += step_;
        return t;
    }
    int blockSliceMs(quint32) const override { return 1; }

    void set(quint32 t) { now_ = t; }
    void advance(quint32 ms) { now_ += ms; }
    void setStep(quint32 step) { step_ = step; }

  private:
    mutable quint32 now_;
    quint32 step_;
};

}  // namespace ifb::test
