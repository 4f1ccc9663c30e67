#include "EventWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace ifb {

bool WaitUntil(const std::function<bool()>& done, const TickTimeout& timeout, quint32 limitMs) {
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (done()) return true;
        const quint32 elapsed = timeout.elapsed();
        if (elapsed >= limitMs) return false;
        // The timer only wakes the blocking call at the deadline; any other event wakes it sooner.
        wake.start(tickClock().blockSliceMs(limitMs - elapsed));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (done()) return true;
    }
}

void PauseWithEvents(quint32 limitMs) {
    TickTimeout timeout;
    timeout.start();
    WaitUntil([] { return false; }, timeout, limitMs);
}

void ProcessPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void SleepWithoutEvents(quint32 ms) {
    QThread::msleep(ms);
}

}  // namespace ifb
