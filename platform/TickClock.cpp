#include "TickClock.h"

#include <QElapsedTimer>

namespace ifb {
namespace {

class SteadyTickClock final : public TickClock {
  public:
    SteadyTickClock() { timer_.start(); }
    quint32 now() const override { return static_cast<quint32>(timer_.elapsed()); }

  private:
    QElapsedTimer timer_;
};

TickClock* g_installed = nullptr;

}  // namespace

TickClock& tickClock() {
    static SteadyTickClock steady;
    return g_installed ? *g_installed : steady;
}

void setTickClock(TickClock* clock) {
    g_installed = clock;
}

}  // namespace ifb
