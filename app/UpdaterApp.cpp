#include "UpdaterApp.h"

#include <QDir>

#include "AppPaths.h"
#include "EspotaSelection.h"
#include "EventWait.h"
#include "GuardMessages.h"
#include "MessageBox.h"
#include "TTComXDlg.h"
#include "TimerResolution.h"
#include "WorkflowTimings.h"

namespace ifb {
namespace {

const QString kBoardNotFound = QStringLiteral(
    "I/Fボードの接続を確認できませんでした。\n\n接続と設定の確認およびソフトと接続製品を再起動してください。");
const QString kUsbModeLeft = QStringLiteral(
    "動作モードが「USBモード」に切り替わっています。\n\n設定ツールで任意のモードに切り替えてください。");
const QString kCheckConnection = QStringLiteral("接続の確認およびソフトと接続製品を再起動してください。");

// Any byte of the narrow form above 0x80 means a character a shell or an
// old tool may not take.
bool IsPlainPath(const QString& path) {
    for (char c : path.toLocal8Bit()) {
        if (static_cast<unsigned char>(c) > 0x80) return false;
    }
    return true;
}

}  // namespace

bool ModelAccepted(const QString& model, int selectModel) {
    if (selectModel == 0) return model.contains(QLatin1String("PL-RZ42"));
    if (selectModel == 1) return model.contains(QLatin1String("PL-RZ41"));
    return true;
}

UpdaterApp::UpdaterApp(Operator& op, QString exePath, QString firmwareId, QObject* parent)
    : QObject(parent), op_(op), exePath_(std::move(exePath)) {
    VerboseLog = false;
    settingsPath = MakeSettingsPath(exePath_);
    ReadSettings(settingsPath, option, program);
    wifiAp = WiFi_AP{};
    wifiAp.password = QStringLiteral("MobirePxUn");
    otaPassword = QStringLiteral("QN5KDL4072");
    RaiseSystemTimerResolution();
    FirmwareId = std::move(firmwareId);
    timer1_.setInterval(50);
    timer1_.setTimerType(Qt::PreciseTimer);
    connect(&timer1_, &QTimer::timeout, this, &UpdaterApp::pollLink);
    rxPoll_.setSingleShot(true);
    rxPoll_.setInterval(0);
    connect(&rxPoll_, &QTimer::timeout, this, &UpdaterApp::pollLink);
}

UpdaterApp::~UpdaterApp() = default;

void UpdaterApp::WriteLog(const QString& text, bool always) {
    if (!always && !VerboseLog) return;
    AppendLogLine(op_.logPane(), text);
}

StartupResult UpdaterApp::stop(StartupResult why) {
    op_.requestClose();
    return why;
}

StartupResult UpdaterApp::startUp() {
    for (const QString& notice : TimeoutNotices(option, program)) WriteLog(notice, true);
    const QString shownPath = QDir::toNativeSeparators(exePath_);
    if (!IsPlainPath(shownPath)) {
        showMessage(
            shownPath + QStringLiteral(
                            "\n\n上記のアップデートツール実行パスに\n半角英数字以外の文字が含まれています。\n"
                            "有効なパスにツールを移動してから再度実行してください。"),
            QStringLiteral("実行パスのエラー"), MsgIcon::Error);
        return stop(StartupResult::PathCheckFailed);
    }
    if (!FindBoard()) {
        showMessage(kBoardNotFound, std::nullopt, MsgIcon::Error);
        return stop(StartupResult::BoardNotFound);
    }
    WriteLog(QStringLiteral("COM Port : ") + link_->serialLine().port, false);
    WriteLog(
        QStringLiteral("COM Speed: ") + BaudRateToStr(link_->serialLine().baudRate) + QStringLiteral("bps"),
        false);

    RomVersion.clear();
    if (commands_->GetRomVersion(RomVersion)) {
        WriteLog(QStringLiteral("IFB-ROMVer : ") + RomVersion, true);
    } else {
        WriteLog(QStringLiteral("IFB-ROMVer : 取得失敗"), true);
        showMessage(QStringLiteral("ファームウェアの異常を検出しました。\n\n") + kCheckConnection,
                    std::nullopt, MsgIcon::Error);
        return stop(StartupResult::RomVersionFailed);
    }

    if (!commands_->GetModelName(ModelName)) {
        WriteLog(QStringLiteral("IFB-ModelName : 取得失敗"), true);
        showMessage(QStringLiteral("モデル名を認識できませんでした。\n\n") + kCheckConnection, std::nullopt,
                    MsgIcon::Error);
        return stop(StartupResult::ModelNameFailed);
    }
    WriteLog(QStringLiteral("IFB-ModelName : ") + ModelName, true);
    if (!ModelAccepted(ModelName, option.SelectModel)) {
        showMessage(
            QStringLiteral("対応外のI/Fボードです。\n\nお使いのI/Fボード対応のツールをお使いください。"),
            QStringLiteral("エラー"), MsgIcon::Error);
        return stop(StartupResult::ModelRejected);
    }

    if (!commands_->GetTargetId()) {
        showMessage(QStringLiteral("ファームウェアの異常を検出しました。\n\n") + kCheckConnection,
                    std::nullopt, MsgIcon::Error);
        return stop(StartupResult::TargetIdFailed);
    }

    if (!IsToolFile(option.App_ESPOta) && !SelectEspota(op_, option.App_ESPOta, true)) {
        return stop(StartupResult::EspotaNotChosen);
    }
    op_.showEspotaPath(option.App_ESPOta);
    op_.showFirmwareVersion(QStringLiteral("Ver : ") + FirmwareId);
    return StartupResult::Ready;
}

void UpdaterApp::closeSequence() {
    if (closed_) return;
    closed_ = true;
    WriteSettings(settingsPath, option, program, SavedBoardMode);
    if (link_ && option.fNoVerCheck == 0) restoreBoardAtClose();
    if (!link_) return;
    WriteLinkSettings(settingsPath, option.UseUSB, link_->serialLine(), link_->linkSettings());
    timer1_.stop();
    rxPoll_.stop();
    commands_.reset();
    link_.reset();
}

void UpdaterApp::restoreBoardAtClose() {
    // A board the update restarted a moment ago is let finish booting first.
    if (boardBooting_) waitForBoard(program.checkBoardMs());
    if (!UsbModeRun) return restoreBoardMode();
    if (restartBoard(kRestoreReplyTimeoutMs))
        showMessage(kUsbModeLeft, QStringLiteral("動作モードの再設定"), MsgIcon::Information);
}

void UpdaterApp::restoreBoardMode() {
    if (!boardModeKnown_) {
        WriteLog(guard_messages::ModeRestoreSkipped(), true);
        return;
    }
    if (commands_->SetIFBMode(SavedBoardMode, kRestoreReplyTimeoutMs)) restartBoard(kRestoreReplyTimeoutMs);
}

bool UpdaterApp::restartBoard(quint32 timeoutMs) {
    const bool restarted = commands_->ESP32_RestartCmd(timeoutMs);
    if (restarted) boardBooting_ = true;
    return restarted;
}

bool UpdaterApp::waitForBoard(quint32 limitMs) {
    TickTimeout waited;
    waited.start();
    for (;;) {
        quint16 mode = 0;
        if (commands_->GetIFBMode(kBoardProbeTimeoutMs, mode)) {
            boardBooting_ = false;
            return true;
        }
        if (waited.expired(limitMs)) return false;
        // A refusal comes back at once: do not flood a board that is busy.
        PauseWithEvents(kBoardProbePauseMs);
    }
}

void UpdaterApp::writeCommand() {
    op_.setMainWindowEnabled(false);
    RunOtaUpdate();
    op_.setMainWindowEnabled(true);
}

void UpdaterApp::reselectEspota() {
    SelectEspota(op_, option.App_ESPOta, false);
    op_.showEspotaPath(option.App_ESPOta);
}

void UpdaterApp::enableDiagnosticMode() {
    VerboseLog = true;
    if (link_) {
        link_->fTrace = true;
        link_->fRxTrace = true;
    }
}

void UpdaterApp::requestAbort() {
    abortRequested_ = true;
}

void UpdaterApp::pollLink() {
    if (!link_) return;
    // A serial link is polled only while its port is open; the others always.
    if (link_->transportKind() == kTransportSerial && !link_->IsLinkOpen()) return;
    link_->PollReceive();
}

void UpdaterApp::startProgress(ProgressKind kind, const QString& banner, bool statusShowsBanner) {
    op_.openProgress({kind, QStringLiteral("しばらくお待ちください"), banner});
    op_.setStatusText(statusShowsBanner ? banner : QString());
    ProcessPendingEvents();
}

}  // namespace ifb
