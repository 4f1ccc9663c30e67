#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

#include "OperationContext.h"
#include "SerialPortList.h"
#include "StartUp.h"
#include "WriteMessages.h"

namespace ifb {

class BoardDiscovery;
class CloseSequence;

// The counts of a station's session; reset from the menu.
struct StationCounters {
    int units = 0;
    int ok = 0;
    int ng = 0;
    int current = 0;
    QString lastNg;  // the NG code of the last unit that did not end OK
};

// Station mode: board after board in one run. Each board is given back (its
// mode, a restart) as soon as its unit ends; the next one is taken when its
// port goes away and comes back, or when the operator says so. Off, the run
// is the single-board run, apart from the "already current" notice.
class Station : public QObject {
    Q_OBJECT
  public:
    Station(const OperationContext& context, BoardDiscovery& discovery, StartUp& startUp,
            CloseSequence& close, SystemPortList ports = SystemPorts());

    bool enabled() const { return c_.session.station.Enabled; }
    // The menu's switch. On after a write, the board is given back at once.
    void setEnabled(bool on);
    const StationCounters& counters() const { return counters_; }
    void resetCounters();
    bool waitingForBoard() const { return waiting_; }
    // The board attached reports the firmware this program writes.
    bool boardCurrent() const { return current_; }

    // In station mode a new unit begins: its number and banner, before the
    // board's records are read (a refused board is recorded with it).
    void beginUnit();
    // A board is attached and its records read: the "already current" check;
    // in station mode a current board is recorded and given back at once.
    void boardReady();
    // The unit's update has ended (no outcome: the cancel end): counted, and
    // in station mode the board is given back and the next one awaited.
    void updateEnded(std::optional<UpdateOutcome> outcome, const std::optional<NgCode>& ng);
    // Takes the board now on the port: the link made again, the board check
    // (the port dialog when that port fails) and its records. newUnit false
    // takes the board that is there again (a write asked for after a skip).
    StartupResult takeBoard(bool newUnit = true);
    // A board that answered but was refused (the start-up's box has been
    // shown): counted, given back, and the next one awaited.
    void refused();
    // The operator's "次のボード": the board attached, when it still is the
    // same one, is given back first.
    StartupResult nextBoard();

  signals:
    // The port went away and came back while waiting: the next board is there.
    void boardArrived();
    void changed();

  private:
    void giveBack(bool restoreMode);
    void awaitBoard();
    // The board on the link answers with the target ID this unit read.
    bool sameBoardAttached();
    void watchPort();

    OperationContext c_;
    BoardDiscovery& discovery_;
    StartUp& startUp_;
    CloseSequence& close_;
    SystemPortList ports_;
    StationCounters counters_;
    int unit_ = 0;
    bool current_ = false;
    bool waiting_ = false;
    bool portGone_ = false;
    QString portIdentity_;  // the device given back
    bool written_ = false;  // this unit's board had its update
    QTimer portWatch_;
};

}  // namespace ifb
