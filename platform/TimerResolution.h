#pragma once

#include <QtGlobal>
#include <functional>

namespace ifb {

// The coarsest system timer resolution asked for before giving up.
constexpr quint32 kTimerResolutionMaxMs = 1000;

// Asks for a timer resolution of 1, 2, ... kTimerResolutionMaxMs ms and stops
// at the first request that is not refused as impossible. refused makes the
// request for one period and tells whether it was refused. Returns the period granted, 0 when every one was
// refused.
quint32 RequestFinestTimerResolution(const std::function<bool(quint32 periodMs)>& refused);

// Raises the system timer resolution for the rest of the process (it is
// never released), so that short sleeps and timers keep their time. Only
// Windows has such a setting; elsewhere nothing happens and 0 is returned.
quint32 RaiseSystemTimerResolution();

}  // namespace ifb
