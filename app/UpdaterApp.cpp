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
    session_.settingsPath = MakeSettingsPath(session_.exePath);
    ReadSettings(session_.settingsPath, session_.option, session_.program);
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
