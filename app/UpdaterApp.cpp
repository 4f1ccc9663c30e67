#include "UpdaterApp.h"

#include "AppPaths.h"
#include "DiagnosticMode.h"
#include "EspotaSelection.h"
#include "TimerResolution.h"

namespace ifb {

UpdaterApp::UpdaterApp(Operator& op, QString exePath, QString firmwareId, QObject* parent)
    : QObject(parent),
      op_(op),
      log_(op, session_),
      board_(session_, log_),
      context_{op, session_, board_, log_},
      restore_(context_),
      discovery_(context_),
      startUp_(context_, discovery_),
      update_(context_, restore_),
      close_(context_, restore_) {
    session_.exePath = std::move(exePath);
    session_.places = ResolvePlaces(session_.exePath);
    session_.settingsPath = session_.places.settingsPath();
    ReadSettings(session_.settingsPath, session_.option, session_.program);
    session_.wifi->start(session_.settingsPath, log_);
    // An installed program starts with the uploader installed with it; a
    // portable copy asks for one.
    if (session_.option.App_ESPOta.isEmpty()) session_.option.App_ESPOta = BundledToolFor(session_.exePath);
    session_.wifiAp.password = QStringLiteral("MobirePxUn");
    session_.otaPassword = QStringLiteral("QN5KDL4072");
    RaiseSystemTimerResolution();
    session_.FirmwareId = std::move(firmwareId);
}

UpdaterApp::~UpdaterApp() = default;

void UpdaterApp::writeCommand() {
    op_.setMainWindowEnabled(false);
    update_.RunOtaUpdate();
    op_.setMainWindowEnabled(true);
}

void UpdaterApp::reselectEspota() {
    SelectEspota(op_, session_.option.App_ESPOta, false);
    op_.showEspotaPath(session_.option.App_ESPOta);
}

void UpdaterApp::enableDiagnosticMode() {
    EnableDiagnosticMode(session_, board_.link());
}

}  // namespace ifb
