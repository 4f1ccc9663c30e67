#include "BoardRestore.h"

#include "EventWait.h"
#include "GuardMessages.h"
#include "TickClock.h"
#include "WorkflowTimings.h"

namespace ifb {

void BoardRestore::restoreBoardMode() {
    if (!c_.session.boardModeKnown) {
        c_.WriteLog(guard_messages::ModeRestoreSkipped(), true);
        return;
    }
    if (c_.board.commands().SetIFBMode(c_.session.SavedBoardMode, kRestoreReplyTimeoutMs))
        restartBoard(kRestoreReplyTimeoutMs);
}

bool BoardRestore::restartBoard(quint32 timeoutMs) {
    const bool restarted = c_.board.commands().ESP32_RestartCmd(timeoutMs);
    if (restarted) c_.session.boardBooting = true;
    return restarted;
}

bool BoardRestore::waitForBoard(quint32 limitMs) {
    TickTimeout waited;
    waited.start();
    for (;;) {
        quint16 mode = 0;
        if (c_.board.commands().GetIFBMode(kBoardProbeTimeoutMs, mode)) {
            c_.session.boardBooting = false;
            return true;
        }
        if (waited.expired(limitMs)) return false;
        // A refusal comes back at once: do not flood a board that is busy.
        PauseWithEvents(kBoardProbePauseMs);
    }
}

}  // namespace ifb
