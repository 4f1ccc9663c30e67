#pragma once

#include <functional>

#include "TickClock.h"

namespace ifb {

// Handles events until done() holds or limitMs have passed on the given time-out
// slot (which the caller has started). It blocks for the next event instead of
// spinning, so a wait costs no CPU while it handles every event at once.
// Returns done() as it stands at the end.
bool WaitUntil(const std::function<bool()>& done, const TickTimeout& timeout, quint32 limitMs);

// Waits limitMs while handling events (the pauses between board commands).
void PauseWithEvents(quint32 limitMs);

// Handles the events that are pending now, without blocking.
void ProcessPendingEvents();

// Sleeps the thread: no event is handled meanwhile.
void SleepWithoutEvents(quint32 ms);

}  // namespace ifb
