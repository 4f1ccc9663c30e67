#pragma once

#include <QtGlobal>

#include "OperationContext.h"

namespace ifb {

// Gives the board back the way this run found it: shared by the update's
// closing steps and the close sequence.
class BoardRestore {
  public:
    explicit BoardRestore(const OperationContext& context) : c_(context) {}

    // SetIFBMode with SavedBoardMode and a restart, only for a mode read from
    // this board in this run; otherwise the log says the restore is skipped.
    void restoreBoardMode();
    // ESP32_RestartCmd; an acknowledged restart leaves the board booting.
    bool restartBoard(quint32 timeoutMs);
    // Asks the board for its mode until it answers or limitMs have passed (at
    // least once), so that a board still booting is not taken for a lost one.
    bool waitForBoard(quint32 limitMs);

  private:
    OperationContext c_;
};

}  // namespace ifb
