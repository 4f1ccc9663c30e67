#pragma once

#include <QtGlobal>

namespace ifb {

// The 32-bit millisecond tick counter every time-out counts on. It wraps after
// about 49.7 days, so elapsed time is always taken modulo 2^32.
class TickClock {
  public:
    virtual ~TickClock() = default;
    virtual quint32 now() const = 0;
    // How long, in real milliseconds, a wait may block before it looks at the
    // clock again when ms ticks remain. A fake clock answers with a short slice.
    virtual int blockSliceMs(quint32 ms) const {
        return ms > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(ms);
    }
};

// The clock in use; a steady system clock unless a test installed another one.
TickClock& tickClock();
// Installs a clock (nullptr restores the system clock). The caller keeps ownership.
void setTickClock(TickClock* clock);

// One time-out slot: start stores the tick, expired compares with wrap-around.
class TickTimeout {
  public:
    void start() { start_ = tickClock().now(); }
    quint32 elapsed() const { return tickClock().now() - start_; }
    bool expired(quint32 ms) const { return elapsed() >= ms; }

  private:
    quint32 start_ = 0;
};

}  // namespace ifb
