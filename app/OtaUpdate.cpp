// The firmware write over Wi-Fi.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "AppPaths.h"
#include "DeveloperLog.h"
#include "EspotaCommand.h"
#include "EventWait.h"
#include "FirmwareResource.h"
#include "MessageBox.h"
#include "TTComXDlg.h"
#include "ToolRunner.h"
#include "UpdaterApp.h"
#include "WiFiAdapterCheck.h"
#include "WorkflowTimings.h"

namespace ifb {

bool UpdaterApp::WaitWiFiConnection() {
    startProgress(ProgressKind::ConnectionWait, QStringLiteral("------- Check WiFi AP Connection ----------"),
                  true);
    tickTimeout_.start();
    bool connected = false;
    for (;;) {
        if (commands_->PollApConnection(tcpipParam.tcpPort, tcpipParam.ipAddress)) {
            WriteLog(QStringLiteral("Connection: %1ms").arg(updateStopwatch_.elapsed()), true);
            connected = true;
            break;
        }
        if (tickTimeout_.expired(option.connectWaitMs()) || abortRequested_) break;
        ProcessPendingEvents();
        SleepWithoutEvents(kConnectionPollPauseMs);
    }
    op_.closeProgress();
    return connected;
}

bool UpdaterApp::writeFirmwareFile(QString& firmwarePath) {
    const QString folder = FirmwareFolderFor(exePath_, program.binPath_Mode, UserDataFolder());
    bool found = false;
    const QByteArray image = LoadFirmware(FirmwareId, &found);
    if (!found) {
        showMessage(QStringLiteral("リソース %1 が見つかりません。").arg(FirmwareId), std::nullopt,
                    MsgIcon::Error);
        return false;
    }
    firmwarePath = FirmwareFileIn(folder);
    QFile file(firmwarePath);
    if (folder.isEmpty() || !MakeFolder(folder) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(image) != image.size() || !file.flush()) {
        showMessage(QStringLiteral("ファイル %1 を作成できません。\n\n%2")
                        .arg(QDir::toNativeSeparators(firmwarePath), file.errorString()),
                    std::nullopt, MsgIcon::Error);
        return false;
    }
    return true;
}

void UpdaterApp::RunOtaUpdate() {
    ToolOutputOk = true;
    abortRequested_ = false;
    QString firmwarePath;
    UpdateOutcome outcome = UpdateOutcome::Ok;

    if (!commands_->GetApInfo(wifiAp, true)) {
        qCDebug(lcUpdate) << "access point not read: cancel end";
        return cancelUpdate();
    }
    qCDebug(lcUpdate).noquote() << "access point" << wifiAp.ssid << DottedIpv4(wifiAp.ipAddress);
    link_->OtaResultReceived = false;
    link_->OtaResultOk = false;
    commands_->SetOtaMode(kOtaAccessPointMode, true);

    JoinInstruction join;
    join.caption = QStringLiteral("OTA経由のアップデート開始");
    join.message1 = QStringLiteral("パソコンを以下のWi-Fiアクセスポイント\nに接続してください。");
    join.message2 = QStringLiteral("接続完了後OKを押してください。\n書き込みが開始されます。");
    join.memoLines = {QStringLiteral("SSID      : ") + wifiAp.ssid,
                      QStringLiteral("Password  : ") + wifiAp.password};
    if (!op_.confirmJoin(join)) {
        qCDebug(lcUpdate) << "join not confirmed: cancel end";
        return cancelUpdate();
    }

    updateStopwatch_.start();
    const bool joined = WaitWiFiConnection();
    qCDebug(lcUpdate) << (joined ? "PC joined after" : "PC not joined after") << updateStopwatch_.elapsed()
                      << "ms";
    if (!joined) {
        WriteLog(QStringLiteral("Not Connection"), true);
        return finishUpdate(UpdateOutcome::TimeOut, firmwarePath);
    }
    // A firmware image that cannot be written out ends the update like an
    // aborted one, so the board still gets its mode back.
    if (!writeFirmwareFile(firmwarePath)) return finishUpdate(UpdateOutcome::Aborted, firmwarePath);
    if (!QFileInfo::exists(firmwarePath)) {
        WriteLog(QStringLiteral("Not Connection"), true);
        return finishUpdate(UpdateOutcome::Aborted, firmwarePath);
    }

    op_.setWriteCommandAvailable(false);
    QStringList chunks;
    tickTimeout_.start();
    option.ProgMode = 1;
    wifiAp.port = kOtaPort;
    const EspotaCommand command{option.App_ESPOta, DottedIpv4(wifiAp.ipAddress), wifiAp.port, otaPassword,
                                firmwarePath};
    if (VerboseLog) WriteLog(command.displayLine(), true);
    qCDebug(lcUpdate).noquote() << "firmware file" << firmwarePath << "to" << command.address;

    startProgress(ProgressKind::FirmwareWrite, QStringLiteral("------- WiFi OTA Mode ----------"), false);
    ToolRunner runner(
        op_, *this, [this] { return CheckWiFiAdapter(networkAdapters(), *this); }, ToolOutputOk);
    // The tool has time-outs of its own; one that still runs long after them
    // hangs, and is stopped so that the board gets its mode back.
    const quint32 toolLimitMs = HungToolLimitMs(toolTimeLimitMs, option.progWaitMs());
    bool toolStopped = false;
    runner.setAbortRequested([this, &toolStopped, toolLimitMs] {
        toolStopped = tickTimeout_.expired(toolLimitMs);
        return abortRequested_ || toolStopped;
    });
    const bool ran = runner.RunCommand(command.toolCommand(), &op_.logPane(), chunks);
    qCDebug(lcUpdate) << "tool" << (ran ? "ran" : "failed") << "for" << tickTimeout_.elapsed() << "ms";
    if (toolStopped) WriteLog(QStringLiteral("NG: espota.exe stopped after %1ms").arg(toolLimitMs), true);
    if (!ran) {
        WriteLog(QStringLiteral("NG: ERROR espota.exe"), false);
        outcome = UpdateOutcome::ToolFailed;
    } else {
        const bool received = WaitUntil([this] { return link_->OtaResultReceived || abortRequested_; },
                                        tickTimeout_, option.progWaitMs());
        qCDebug(lcUpdate) << "verdict"
                          << (!received            ? "none"
                              : link_->OtaResultOk ? "OK"
                                                   : "BR")
                          << "after" << tickTimeout_.elapsed() << "ms";
        if (abortRequested_) {
            outcome = UpdateOutcome::Aborted;
        } else if (!received) {
            WriteLog(QStringLiteral("NG: Time Over"), false);
            outcome = UpdateOutcome::TimeOut;
        } else if (link_->OtaResultOk) {
            WriteLog(QStringLiteral("OK: Program Update"), false);
            restartBoard(program.checkBoardMs());
            // A board verifying a new image takes a while to boot: the version
            // is read once it answers again.
            TickTimeout booting;
            booting.start();
            const bool back = waitForBoard(program.checkBoardMs());
            qCDebug(lcUpdate) << (back ? "board back after" : "board not back after") << booting.elapsed()
                              << "ms";
            commands_->GetModelName(ModelName);
            if (commands_->GetRomVersion(RomVersion) && ToolOutputOk) {
                WriteLog(QStringLiteral("IFB-ROMVer : ") + RomVersion, true);
                if (RomVersion != FirmwareId) {
                    WriteLog(QStringLiteral("NG: Program Update"), false);
                    outcome = UpdateOutcome::Aborted;
                }
            } else {
                WriteLog(QStringLiteral("NG: Program Update"), false);
                outcome = UpdateOutcome::Aborted;
            }
        } else {
            WriteLog(QStringLiteral("NG: Program Update"), false);
            outcome = UpdateOutcome::Aborted;
        }
    }
    op_.closeProgress();
    finishUpdate(outcome, firmwarePath);
}

void UpdaterApp::finishUpdate(UpdateOutcome outcome, const QString& firmwarePath) {
    qCDebug(lcUpdate) << "outcome" << static_cast<int>(outcome);
    restoreBoardMode();
    if (!firmwarePath.isEmpty() && QFileInfo::exists(firmwarePath)) QFile::remove(firmwarePath);
    op_.showWriteResult(outcome);
    WriteLog(
        QStringLiteral("実行時間: %1ms").arg(updateStopwatch_.isValid() ? updateStopwatch_.elapsed() : 0),
        false);
    switch (outcome) {
        case UpdateOutcome::Ok:
            WriteLog(QStringLiteral("OK:ファームウェア書き込みが正常に完了しました。"), true);
            break;
        case UpdateOutcome::TimeOut:
            WriteLog(QStringLiteral("NG:タイムアウトしました。"), true);
            WriteLog(QStringLiteral("接続を確認し、もう一度書き込みを行ってください。"), true);
            op_.setWriteCommandAvailable(true);
            break;
        case UpdateOutcome::ToolFailed:
            WriteLog(QStringLiteral("NG:ファームウェアの書き込みを中止しました。"), true);
            break;
        default:
            WriteLog(QStringLiteral("NG:ファームウェアの書き込みを中止しました。"), true);
            WriteLog(QStringLiteral("ソフトを再起動し、もう一度書き込みを行ってください。"), true);
            break;
    }
}

void UpdaterApp::cancelUpdate() {
    restartBoard(kRestoreReplyTimeoutMs);
    SleepWithoutEvents(kCancelPauseMs);
}

}  // namespace ifb
