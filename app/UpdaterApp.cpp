#include "UpdaterApp.h"

#include "AppPaths.h"
#include "DiagnosticMode.h"
#include "EspotaSelection.h"
#include "StationMessages.h"
#include "TimerResolution.h"

namespace ifb {

UpdaterApp::UpdaterApp(Operator& op, QString exePath, QString firmwareId, QObject* parent,
                       SystemPortList ports)
    : QObject(parent),
      op_(op),
      records_(op, firmwareId),
      log_(records_, session_),
      board_(session_, log_),
      context_{op, session_, board_, log_, records_},
      restore_(context_),
      discovery_(context_),
      startUp_(context_, discovery_),
      update_(context_, restore_),
      close_(context_, restore_),
      station_(context_, discovery_, startUp_, close_, std::move(ports)) {
    session_.exePath = std::move(exePath);
    session_.places = ResolvePlaces(session_.exePath);
    session_.settingsPath = session_.places.settingsPath();
    ReadSettings(session_.settingsPath, session_.option, session_.program);
    session_.station = ReadStationSettings(session_.settingsPath);
    session_.wifi->start(session_.settingsPath, log_);
    // An installed program starts with the uploader installed with it; a
    // portable copy asks for one.
    if (session_.option.App_ESPOta.isEmpty()) session_.option.App_ESPOta = BundledToolFor(session_.exePath);
    session_.wifiAp.password = QStringLiteral("MobirePxUn");
    session_.otaPassword = QStringLiteral("QN5KDL4072");
    RaiseSystemTimerResolution();
    session_.FirmwareId = std::move(firmwareId);
    records_.setSecret(session_.otaPassword);
    connect(&records_, &RecordKeeper::waitingChanged, this,
            [this](int count) { op_.showRecordsWaiting(count); });
    records_.open(session_.settingsPath);
    connect(&station_, &Station::changed, this, [this] { showStation(); });
    showStation();
}

UpdaterApp::~UpdaterApp() = default;

StartupResult UpdaterApp::startUp() {
    station_.beginUnit();
    const StartupResult result = startUp_.run();
    if (result == StartupResult::Ready) station_.boardReady();
    return result;
}

void UpdaterApp::writeCommand() {
    if (station_.waitingForBoard()) {
        if (!station_.boardCurrent() || station_.takeBoard(false) != StartupResult::Ready) return;
    }
    op_.setMainWindowEnabled(false);
    update_.RunOtaUpdate();
    op_.setMainWindowEnabled(true);
    station_.updateEnded(update_.lastOutcome(), update_.lastNg());
}

void UpdaterApp::nextBoardCommand() {
    if (!station_.enabled()) return;
    op_.setMainWindowEnabled(false);
    station_.nextBoard();
    op_.setMainWindowEnabled(true);
}

void UpdaterApp::showStation() {
    const StationCounters& n = station_.counters();
    StationView view;
    view.enabled = station_.enabled();
    view.waiting = station_.waitingForBoard();
    if (view.enabled) view.counters = StationMessages::counters(n.units, n.ok, n.ng, n.lastNg, n.current);
    op_.showStation(view);
}

void UpdaterApp::reselectEspota() {
    SelectEspota(op_, session_.option.App_ESPOta, false);
    op_.showEspotaPath(session_.option.App_ESPOta);
}

void UpdaterApp::enableDiagnosticMode() {
    EnableDiagnosticMode(session_, board_.link());
}

}  // namespace ifb
