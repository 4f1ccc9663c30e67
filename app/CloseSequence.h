#pragma once

#include "BoardRestore.h"
#include "OperationContext.h"

namespace ifb {

// The close sequence: the settings are written, the board gets its mode
// back, the link's settings are written and the link ends. Runs once.
class CloseSequence {
  public:
    CloseSequence(const OperationContext& context, BoardRestore& restore) : c_(context), restore_(restore) {}

    // Later calls do nothing.
    void run();
    // The board's part: the notice after the USB-mode fallback, or the mode
    // restore. Station mode gives each board back this way before the next.
    void releaseBoard();

  private:
    OperationContext c_;
    BoardRestore& restore_;
    bool closed_ = false;
};

}  // namespace ifb
