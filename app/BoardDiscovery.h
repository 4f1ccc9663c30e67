#pragma once

#include <QtGlobal>

#include "OperationContext.h"

namespace ifb {

// Finds the board: the port dialog, the link, the board check (with the
// USB-mode fallback) and the board's network settings.
class BoardDiscovery {
  public:
    explicit BoardDiscovery(const OperationContext& context) : c_(context) {}

    // The port dialog, then the link and the board check on the chosen port.
    // A cancelled dialog or a port that does not open asks the window to close.
    bool FindBoard();
    // Prepares the board (mode read or USB mode set, restart) and reads its
    // network settings, under the progress dialog.
    bool CheckBoard(quint32 timeoutMs);
    bool ReadBoardNetwork(quint32 timeoutMs);

  private:
    // Takes the port dialog's choice into the session: false when it left no
    // port to open.
    bool takePortChoice(const PortDialogResult& chosen);
    // The USB-mode fallback after a failed check, when the operator agrees.
    bool checkInUsbMode();
    // Reads the mode and restarts the board; with USBchange 1 it goes into USB
    // mode first.
    bool prepareBoard(quint32 timeoutMs);
    bool setUsbMode(quint32 timeoutMs);

    OperationContext c_;
};

}  // namespace ifb
