#include "OtaUpdate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "AppPaths.h"
#include "DeveloperLog.h"
#include "EspotaCommand.h"
#include "EventWait.h"
#include "FirmwareResource.h"
#include "MessageBox.h"
#include "NetworkPreflight.h"
#include "TTComXDlg.h"
#include "ToolRunner.h"
#include "WiFiAdapterCheck.h"
#include "WorkflowTimings.h"

namespace ifb {

bool OtaUpdate::WaitWiFiConnection() {
    c_.startProgress(ProgressKind::ConnectionWait,
                     QStringLiteral("------- Check WiFi AP Connection ----------"), true);
    tickTimeout_.start();
    bool connected = false;
    TCPIPPARAM& network = c_.session.tcpipParam;
    const qint64 limitMs = c_.session.option.connectWaitMs();
    for (;;) {
        const qint64 waitedMs = tickTimeout_.elapsed();
        c_.op.showProgressReport(
            {write_messages::StageName(UpdateStage::WiFiWait),
             limitMs > 0 ? static_cast<int>(qMin<qint64>(100, waitedMs * 100 / limitMs)) : 100,
             write_messages::WaitDetail(waitedMs, limitMs)});
        if (c_.board.commands().PollApConnection(network.tcpPort, network.ipAddress)) {
            c_.WriteLog(QStringLiteral("Connection: %1ms").arg(updateStopwatch_.elapsed()), true);
            connected = true;
            break;
        }
        if (tickTimeout_.expired(static_cast<quint32>(limitMs)) || abortRequested_) break;
        ProcessPendingEvents();
        SleepWithoutEvents(kConnectionPollPauseMs);
    }
    c_.op.closeProgress();
    return connected;
}

bool OtaUpdate::writeFirmwareFile(QString& firmwarePath) {
    const Session& s = c_.session;
    const QString folder = FirmwareFolderFor(s.places, s.exePath, s.program.binPath_Mode, UserDataFolder());
    bool found = false;
    const QByteArray image = LoadFirmware(s.FirmwareId, &found);
    if (!found) {
        showMessage(QStringLiteral("リソース %1 が見つかりません。").arg(s.FirmwareId), std::nullopt,
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

bool OtaUpdate::startOtaMode() {
    Session& s = c_.session;
    stages_.enter(UpdateStage::AccessPoint);
    if (!c_.board.commands().GetApInfo(s.wifiAp, true)) {
        qCDebug(lcUpdate) << "access point not read: cancel end";
        return false;
    }
    qCDebug(lcUpdate).noquote() << "access point" << s.wifiAp.ssid << DottedIpv4(s.wifiAp.ipAddress);
    stages_.enter(UpdateStage::OtaMode);
    c_.board.link()->ClearOtaResult();
    c_.board.commands().SetOtaMode(kOtaAccessPointMode, true);
    // The operator joins the access point from here on.
    stages_.enter(UpdateStage::WiFiWait);

    JoinInstruction join;
    join.caption = QStringLiteral("OTA経由のアップデート開始");
    join.message1 = QStringLiteral("パソコンを以下のWi-Fiアクセスポイント\nに接続してください。");
    join.message2 = QStringLiteral("接続完了後OKを押してください。\n書き込みが開始されます。");
    join.memoLines = {QStringLiteral("SSID      : ") + s.wifiAp.ssid,
                      QStringLiteral("Password  : ") + s.wifiAp.password};
    s.wifi->offer(join, s.wifiAp.ssid.toLatin1(), s.wifiAp.password, c_.log);
    if (!c_.op.confirmJoin(join)) {
        qCDebug(lcUpdate) << "join not confirmed: cancel end";
        return false;
    }
    return true;
}

bool OtaUpdate::checkNetwork() {
    enterStage(UpdateStage::Preflight);
    const QString boardAddress = DottedIpv4(c_.session.wifiAp.ipAddress);
    const PreflightResult result =
        RunNetworkPreflight(c_.session.wifiAp.ipAddress, c_.session.networkAdapters());
    for (const QString& line : PreflightLogLines(result, boardAddress)) c_.WriteLog(line, true);
    return !result.blocksUpload();
}

void OtaUpdate::beginFacts() {
    facts_ = c_.boardFacts();
    recordStopwatch_.start();
}

void OtaUpdate::commitFacts(UpdateOutcome outcome) {
    static const char* const names[] = {"ok", "aborted", "timeout", "tool_failed"};
    const int code = static_cast<int>(outcome);
    facts_.outcome = QLatin1String(abortRequested_ ? "cancelled" : names[code]);
    facts_.outcomeCode = code;
    facts_.durationMs = recordStopwatch_.elapsed();
    if (ng_) facts_.ngCode = write_messages::NgCodeText(*ng_);
    for (const StageTiming& timing : stages_.timings())
        facts_.stages.insert(write_messages::StageName(timing.stage), timing.ms);
    c_.records.commit(facts_);
}

void OtaUpdate::RunOtaUpdate() {
    c_.session.ToolOutputOk = true;
    abortRequested_ = false;
    stages_.start();
    ng_.reset();
    lastOutcome_.reset();
    QString firmwarePath;
    if (!startOtaMode()) return cancelUpdate();
    beginFacts();

    updateStopwatch_.start();
    const bool joined = WaitWiFiConnection();
    qCDebug(lcUpdate) << (joined ? "PC joined after" : "PC not joined after") << updateStopwatch_.elapsed()
                      << "ms";
    if (!joined) {
        c_.WriteLog(QStringLiteral("Not Connection"), true);
        if (!abortRequested_) ng_ = NgCode::W01;
        return finishUpdate(UpdateOutcome::TimeOut, firmwarePath);
    }
    // Without an address in the board's network the tool would only send its
    // invitations into the void for minutes.
    if (!checkNetwork()) {
        ng_ = NgCode::W02;
        return finishUpdate(UpdateOutcome::TimeOut, firmwarePath);
    }
    stages_.enter(UpdateStage::ToolStart);
    // A firmware image that cannot be written out ends the update like an
    // aborted one, so the board still gets its mode back.
    if (!writeFirmwareFile(firmwarePath)) {
        ng_ = NgCode::F01;
        return finishUpdate(UpdateOutcome::Aborted, firmwarePath);
    }
    if (!QFileInfo::exists(firmwarePath)) {
        c_.WriteLog(QStringLiteral("Not Connection"), true);
        ng_ = NgCode::F01;
        return finishUpdate(UpdateOutcome::Aborted, firmwarePath);
    }
    const UpdateOutcome outcome = upload(firmwarePath);
    c_.op.closeProgress();
    finishUpdate(outcome, firmwarePath);
}

UpdateOutcome OtaUpdate::upload(const QString& firmwarePath) {
    Session& s = c_.session;
    c_.op.setWriteCommandAvailable(false);
    QStringList chunks;
    tickTimeout_.start();
    s.option.ProgMode = 1;
    s.wifiAp.port = kOtaPort;
    const EspotaCommand command{s.option.App_ESPOta, DottedIpv4(s.wifiAp.ipAddress), s.wifiAp.port,
                                s.otaPassword, firmwarePath};
    if (s.VerboseLog) c_.WriteLog(command.displayLine(), true);
    qCDebug(lcUpdate).noquote() << "firmware file" << firmwarePath << "to" << command.address;

    c_.startProgress(ProgressKind::FirmwareWrite, QStringLiteral("------- WiFi OTA Mode ----------"), false);
    ToolOutputReader reader(QFileInfo(firmwarePath).size());
    enterStage(UpdateStage::ToolStart, 0, write_messages::TransferDetail(0, reader.totalBytes(), 0));
    ToolRunner runner(
        c_.op, c_.log, [this] { return CheckWiFiAdapter(c_.session.networkAdapters(), c_.log); },
        s.ToolOutputOk);
    // The tool has time-outs of its own; one that still runs long after them
    // hangs, and is stopped so that the board gets its mode back.
    const quint32 toolLimitMs = HungToolLimitMs(s.toolTimeLimitMs, s.option.progWaitMs());
    bool toolStopped = false;
    runner.setAbortRequested([this, &toolStopped, toolLimitMs] {
        toolStopped = tickTimeout_.expired(toolLimitMs);
        return abortRequested_ || toolStopped;
    });
    runner.setOutputObserver([this, &reader](const QString& text) { readToolOutput(reader, text); });
    const bool ran = runner.RunCommand(command.toolCommand(), &c_.records.pane(LineClass::Tool), chunks);
    qCDebug(lcUpdate) << "tool" << (ran ? "ran" : "failed") << "for" << tickTimeout_.elapsed() << "ms";
    if (toolStopped) c_.WriteLog(QStringLiteral("NG: espota.exe stopped after %1ms").arg(toolLimitMs), true);
    if (!ran) {
        c_.WriteLog(QStringLiteral("NG: ERROR espota.exe"), false);
        ng_ = reader.failure().value_or(runner.started() ? NgCode::U06 : NgCode::U05);
        return UpdateOutcome::ToolFailed;
    }
    return judgeVerdict(reader);
}

void OtaUpdate::readToolOutput(ToolOutputReader& reader, const QString& text) {
    for (const UpdateStage stage : reader.feed(text)) {
        stages_.enter(stage);
        if (stage == UpdateStage::Transfer) transferClock_.start();
    }
    const qint64 elapsedMs =
        transferClock_.isValid() && reader.transferStarted() ? transferClock_.elapsed() : 0;
    const double bytesPerSecond =
        elapsedMs > 0 ? static_cast<double>(reader.bytesSent()) * 1000.0 / static_cast<double>(elapsedMs)
                      : 0.0;
    enterStage(*stages_.current(), reader.percent(),
               write_messages::TransferDetail(reader.bytesSent(), reader.totalBytes(), bytesPerSecond));
}

void OtaUpdate::enterStage(UpdateStage stage, int percent, const QString& detail) {
    stages_.enter(stage);
    c_.op.showProgressReport({write_messages::StageName(stage), percent, detail});
}

UpdateOutcome OtaUpdate::judgeVerdict(const ToolOutputReader& reader) {
    enterStage(UpdateStage::BoardVerify, reader.percent(),
               write_messages::TransferDetail(reader.bytesSent(), reader.totalBytes(), 0));
    const TTComXDlg& link = *c_.board.link();
    const bool received = WaitUntil([this, &link] { return link.OtaResultReceived || abortRequested_; },
                                    tickTimeout_, c_.session.option.progWaitMs());
    qCDebug(lcUpdate) << "verdict"
                      << (!received          ? "none"
                          : link.OtaResultOk ? "OK"
                                             : "BR")
                      << "after" << tickTimeout_.elapsed() << "ms";
    if (abortRequested_) return UpdateOutcome::Aborted;
    if (!received) {
        c_.WriteLog(QStringLiteral("NG: Time Over"), false);
        // The tool's own failure explains the missing verdict best.
        const bool brokeOff = reader.transferStarted() && reader.bytesSent() < reader.totalBytes();
        ng_ = reader.failure().value_or(brokeOff ? NgCode::U04 : NgCode::B02);
        return UpdateOutcome::TimeOut;
    }
    if (!link.OtaResultOk) {
        c_.WriteLog(QStringLiteral("NG: Program Update"), false);
        ng_ = NgCode::B01;
        return UpdateOutcome::Aborted;
    }
    c_.WriteLog(QStringLiteral("OK: Program Update"), false);
    // The board checks the whole image before it says OK.
    facts_.bytesSent = c_.records.station().imageSize;
    return checkNewFirmware();
}

UpdateOutcome OtaUpdate::checkNewFirmware() {
    Session& s = c_.session;
    BoardCommands& commands = c_.board.commands();
    // The board took the whole image.
    enterStage(UpdateStage::RestartCheck, 100);
    restore_.restartBoard(s.program.checkBoardMs());
    // A board verifying a new image takes a while to boot: the version is
    // read once it answers again.
    TickTimeout booting;
    booting.start();
    const bool back = restore_.waitForBoard(s.program.checkBoardMs());
    qCDebug(lcUpdate) << (back ? "board back after" : "board not back after") << booting.elapsed() << "ms";
    commands.GetModelName(s.ModelName);
    const bool read = commands.GetRomVersion(s.RomVersion);
    if (read) facts_.romAfter = s.RomVersion;
    if (read && s.ToolOutputOk) {
        c_.WriteLog(QStringLiteral("IFB-ROMVer : ") + s.RomVersion, true);
        if (s.RomVersion == s.FirmwareId) return UpdateOutcome::Ok;
    }
    c_.WriteLog(QStringLiteral("NG: Program Update"), false);
    ng_ = s.ToolOutputOk ? NgCode::B03 : NgCode::U06;
    return UpdateOutcome::Aborted;
}

void OtaUpdate::logStages() {
    for (const StageTiming& timing : stages_.timings())
        c_.WriteLog(write_messages::StageLogLine(timing.stage, timing.ms), true);
}

void OtaUpdate::finishUpdate(UpdateOutcome outcome, const QString& firmwarePath) {
    qCDebug(lcUpdate) << "outcome" << static_cast<int>(outcome);
    stages_.enter(UpdateStage::ModeRestore);
    restore_.restoreBoardMode();
    c_.session.wifi->goBack(c_.log);
    if (!firmwarePath.isEmpty() && QFileInfo::exists(firmwarePath)) QFile::remove(firmwarePath);
    stages_.finish();
    if (outcome == UpdateOutcome::Ok) ng_.reset();
    lastOutcome_ = outcome;
    commitFacts(outcome);
    const QString toolName = QFileInfo(c_.session.option.App_ESPOta).fileName();
    c_.op.showWriteResult({outcome, ng_, toolName, stages_.totalMs()});
    c_.WriteLog(
        QStringLiteral("実行時間: %1ms").arg(updateStopwatch_.isValid() ? updateStopwatch_.elapsed() : 0),
        false);
    switch (outcome) {
        case UpdateOutcome::Ok:
            c_.WriteLog(QStringLiteral("OK:ファームウェア書き込みが正常に完了しました。"), true);
            break;
        case UpdateOutcome::TimeOut:
            c_.WriteLog(QStringLiteral("NG:タイムアウトしました。"), true);
            c_.WriteLog(QStringLiteral("接続を確認し、もう一度書き込みを行ってください。"), true);
            c_.op.setWriteCommandAvailable(true);
            break;
        case UpdateOutcome::ToolFailed:
            c_.WriteLog(QStringLiteral("NG:ファームウェアの書き込みを中止しました。"), true);
            break;
        case UpdateOutcome::Aborted:
            c_.WriteLog(QStringLiteral("NG:ファームウェアの書き込みを中止しました。"), true);
            c_.WriteLog(QStringLiteral("ソフトを再起動し、もう一度書き込みを行ってください。"), true);
            break;
    }
    if (ng_) c_.WriteLog(write_messages::NgLogLine(*ng_, toolName), true);
    logStages();
}

void OtaUpdate::cancelUpdate() {
    restore_.restartBoard(kRestoreReplyTimeoutMs);
    c_.session.wifi->goBack(c_.log);
    SleepWithoutEvents(kCancelPauseMs);
}

}  // namespace ifb
