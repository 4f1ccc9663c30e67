#include "Station.h"

#include "BoardDiscovery.h"
#include "CloseSequence.h"
#include "StationMessages.h"
#include "TTComXDlg.h"

namespace ifb {
namespace {

constexpr int kPortWatchIntervalMs = 250;

}  // namespace

Station::Station(const OperationContext& context, BoardDiscovery& discovery, StartUp& startUp,
                 CloseSequence& close, SystemPortList ports)
    : c_(context), discovery_(discovery), startUp_(startUp), close_(close), ports_(std::move(ports)) {
    portWatch_.setInterval(kPortWatchIntervalMs);
    connect(&portWatch_, &QTimer::timeout, this, &Station::watchPort);
}

void Station::setEnabled(bool on) {
    if (on == enabled()) return;
    c_.session.station.Enabled = on;
    if (!on) {
        // Back to the single-board run: nothing is awaited any more.
        portWatch_.stop();
        waiting_ = false;
    } else if (written_ && !c_.session.boardReleased) {
        giveBack(false);
    }
    emit changed();
}

void Station::resetCounters() {
    counters_ = StationCounters{};
    emit changed();
}

void Station::beginUnit() {
    current_ = false;
    written_ = false;
    if (!enabled()) return;
    c_.session.stationUnit = ++unit_;
    ++counters_.units;
    c_.WriteLog(StationMessages::unitBanner(unit_), true);
    emit changed();
}

void Station::boardReady() {
    const Session& s = c_.session;
    current_ = s.RomVersion == s.FirmwareId;
    if (current_) c_.WriteLog(StationMessages::alreadyCurrent(s.RomVersion), true);
    if (enabled() && current_) {
        ++counters_.current;
        UpdateFacts facts = c_.boardFacts();
        facts.outcome = QStringLiteral("current");
        c_.records.commit(facts);
        c_.WriteLog(StationMessages::skippedAsCurrent(unit_), true);
        giveBack(true);
        // Written anyway only when the operator asks for it.
        c_.op.setWriteCommandAvailable(true);
    }
    emit changed();
}

void Station::updateEnded(std::optional<UpdateOutcome> outcome, const std::optional<NgCode>& ng) {
    written_ = true;
    if (!enabled()) return;
    if (current_) --counters_.current;  // written after all: counted by its outcome
    current_ = false;
    if (outcome == UpdateOutcome::Ok) {
        ++counters_.ok;
    } else {
        ++counters_.ng;
        counters_.lastNg = ng ? write_messages::NgCodeText(*ng) : QString();
    }
    // The update's closing steps gave the board its mode back; the cancel end did not.
    giveBack(!outcome.has_value());
    c_.op.setWriteCommandAvailable(false);
    emit changed();
}

void Station::giveBack(bool restoreMode) {
    if (restoreMode && c_.board.link()) close_.releaseBoard();
    c_.WriteLog(StationMessages::boardReleased(), false);
    awaitBoard();
}

void Station::awaitBoard() {
    c_.session.boardReleased = true;
    waiting_ = true;
    portGone_ = false;
    portIdentity_ = PortIdentity(ports_, c_.session.option.ComPort);
    portWatch_.start();
    c_.op.setStatusText(StationMessages::waitingForBoard());
}

bool Station::sameBoardAttached() {
    const TTComXDlg* link = c_.board.link();
    if (!link || !link->IsLinkOpen()) return false;
    QString targetId;
    return c_.board.commands().GetTargetId(&targetId) && targetId == c_.session.TargetId;
}

StartupResult Station::nextBoard() {
    if (!c_.session.boardReleased) {
        // A board swapped behind a fixture must not get the mode of the one before.
        if (sameBoardAttached())
            close_.releaseBoard();
        else
            c_.WriteLog(StationMessages::boardChanged(), true);
        c_.session.boardReleased = true;
    }
    return takeBoard();
}

void Station::watchPort() {
    const QString identity = PortIdentity(ports_, c_.session.option.ComPort);
    if (identity.isEmpty()) {
        portGone_ = true;
        return;
    }
    // Back after a gap, or a new device node in between two looks.
    if (portGone_ || identity != portIdentity_) {
        portGone_ = false;
        portIdentity_ = identity;
        emit boardArrived();
    }
}

StartupResult Station::takeBoard(bool newUnit) {
    Session& s = c_.session;
    portWatch_.stop();
    waiting_ = false;
    emit changed();
    s.boardReleased = false;
    s.boardModeKnown = false;
    s.boardBooting = false;
    s.UsbModeRun = false;
    s.option.fNoVerCheck = 0;
    // A re-plugged device is a new device: the link is made again.
    c_.board.close();
    c_.board.open(c_.records.pane(LineClass::Trace));
    c_.board.startPolling();
    const TTComXDlg* link = c_.board.link();
    const bool found = (link && link->IsLinkOpen() && discovery_.CheckBoard(s.program.checkBoardMs())) ||
                       discovery_.FindBoard();
    if (found && newUnit) beginUnit();
    StartupResult result = found ? startUp_.takeBoardRecords() : StartupResult::BoardNotFound;
    if (result == StartupResult::Ready) {
        c_.op.setWriteCommandAvailable(true);
        if (newUnit) boardReady();
        return result;
    }
    // No board to write: the next one is awaited (unless the window closes).
    if (found)
        refused();
    else
        awaitBoard();
    return result;
}

void Station::refused() {
    if (enabled()) ++counters_.ng;
    if (c_.board.link())
        giveBack(true);
    else
        awaitBoard();
    c_.op.setWriteCommandAvailable(false);
    emit changed();
}

}  // namespace ifb
