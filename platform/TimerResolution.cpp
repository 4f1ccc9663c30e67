#include "TimerResolution.h"

#ifdef Q_OS_WIN
#include <windows.h>
// windows.h first: mmsystem.h needs its types.
#include <mmsystem.h>
#endif

namespace ifb {

quint32 RequestFinestTimerResolution(const std::function<bool(quint32 periodMs)>& refused) {
    for (quint32 period = 1; period <= kTimerResolutionMaxMs; ++period) {
        if (!refused(period)) return period;
    }
    return 0;
}

quint32 RaiseSystemTimerResolution() {
#ifdef Q_OS_WIN
    return RequestFinestTimerResolution(
        [](quint32 periodMs) { return timeBeginPeriod(static_cast<UINT>(periodMs)) == TIMERR_NOCANDO; });
#else
    return 0;
#endif
}

}  // namespace ifb
