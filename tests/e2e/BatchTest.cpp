// The batch mode end to end: `ifb-updater --batch` as a child process against
// the simulated board and its fault knobs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "BatchRun.h"
#include "ConsoleFrontEnd.h"
#include "QtPrinters.h"

using namespace ifb;
using namespace ifb::test;

namespace {

const QString kNoBoard = QStringLiteral("I/Fボードの接続を確認できませんでした。");
const QString kUsbQuestion = QStringLiteral("[USBモードでの実行]");
const QString kGiveUpQuestion = QStringLiteral("[ファームウェア書き込みの中止]");
const QString kWriteBanner = QStringLiteral("------- WiFi OTA Mode ----------");
// The request frame that puts the board back into mode 3.
const QString kSetMode3 = QStringLiteral("02 00 45 03 01 03 00 03 51 0D");

// Enough for every run of a table with its runs side by side.
constexpr quint32 kTableLimitMs = 150000;
constexpr int kParallel = 4;

// An upload tool named "espota" that writes its process id, says it has
// started and then runs `script` (which may run our espota as "$TOOL").
QString WriteTool(const QString& folder, const QString& script) {
    return WriteEspotaScript(
        folder, QStringLiteral("echo $$ > \"%1/tool.pid\"\necho tool-started\n%2").arg(folder, script));
}

bool ProcessAlive(const QString& pidFile) {
    QFile f(pidFile);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const pid_t pid = static_cast<pid_t>(f.readAll().trimmed().toLongLong());
    return pid > 0 && ::kill(pid, 0) == 0;
}

QString Transcript(BatchRun& run) {
    return QStringLiteral("--- stdout\n%1--- stderr\n%2--- board requests\n%3\n")
        .arg(run.out(), run.err(),
             run.setup().noBoard ? QString() : run.sim().requests().join(QLatin1Char(' ')));
}

// Nothing a sanitizer would report, and no crash.
void ExpectCleanExit(BatchRun& run) {
    EXPECT_FALSE(run.err().contains(QStringLiteral("Sanitizer")) ||
                 run.err().contains(QStringLiteral("runtime error")))
        << run.err().toStdString();
    EXPECT_NE(run.exitCode(), 86) << "sanitizer report";
}

// One batch run per row of a table: setupFor gives the row's setup (its name
// is the row's), prepare adds what the run needs in its folder. All rows run
// side by side; then check sees each finished run beside its row, under the
// row's name.
template <typename Rows, typename SetupFor, typename Prepare, typename Check>
void RunRows(const Rows& rows, SetupFor setupFor, Prepare prepare, Check check) {
    std::vector<std::unique_ptr<BatchRun>> runs;
    std::vector<BatchRun*> started;
    for (const auto& row : rows) {
        BatchRunSetup setup = setupFor(row);
        setup.name = QString::fromUtf8(row.name);
        runs.push_back(std::make_unique<BatchRun>(setup));
        prepare(row, *runs.back());
        started.push_back(runs.back().get());
    }
    ASSERT_TRUE(RunAll(started, kParallel, kTableLimitMs));
    auto run = runs.begin();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        check(row, **run++);
    }
}

const auto kNothingToPrepare = [](const auto&, BatchRun&) {};

}  // namespace

// Every fault of the board, the link and the tool, with --yes: the exit code,
// the board's mode at the end, no firmware file left, a whole settings file.
TEST(BatchFaultMatrix, EveryFaultEndsWithTheBoardPutBackAndNoFirmwareLeft) {
    struct Row {
        const char* name;
        QStringList simArgs;
        QMap<QString, QString> settings;
        int exitCode;
        int finalMode;
        QStringList stderrHas;
        QString trigger;
        std::function<void(BatchRun&)> action;
    };
    const auto unplug = [](BatchRun& run) { run.sim().kill(); };
    const std::vector<Row> rows{
        {"healthy board",
         {},
         {},
         0,
         3,
         {QStringLiteral("書き込み結果: OK\nファームウェア書き込みが正常に完了しました。\n所要時間: "),
          QStringLiteral("[転送] 100% 1562 / 1562 KB")},
         {},
         {}},
        {"silent board", {QStringLiteral("--silent")}, {}, 11, 3, {kUsbQuestion, kNoBoard}, {}, {}},
        // The second GetIFBMode is answered: found without the USB-mode fallback.
        {"NACK once", {QStringLiteral("--nack-first"), QStringLiteral("1")}, {}, 0, 3, {}, {}, {}},
        // Both GetIFBMode replies are lost: found in USB mode, left there. (The
        // USB-mode notice at close needs an acknowledged restart, and the board
        // is still restarting from the update's closing steps.)
        {"bad sums",
         {QStringLiteral("--bad-sum-first"), QStringLiteral("3")},
         {},
         0,
         0,
         {kUsbQuestion},
         {},
         {}},
        {"noise", {QStringLiteral("--noise")}, {}, 0, 3, {}, {}, {}},
        {"split replies", {QStringLiteral("--split")}, {}, 0, 3, {}, {}, {}},
        {"slow replies", {QStringLiteral("--reply-delay-ms"), QStringLiteral("300")}, {}, 0, 3, {}, {}, {}},
        {"wrong model",
         {QStringLiteral("--model"), QStringLiteral("PL-RZ42-IFB")},
         {},
         14,
         3,
         {QStringLiteral("[エラー] 対応外のI/Fボードです。")},
         {},
         {}},
        // Gone after the restart of the check: the USB mode it was set to stays.
        {"unplug during the check",
         {QStringLiteral("--hangup-after"), QStringLiteral("3")},
         {},
         11,
         0,
         {kNoBoard},
         {},
         {}},
        {"unplug during the upload", {}, {}, 3, 0, {}, QStringLiteral("Uploading"), unplug},
        {"board rejects the image",
         {QStringLiteral("--ota-result"), QStringLiteral("br")},
         {},
         1,
         3,
         {QStringLiteral("書き込み結果: NG\nファームウェア書き込みを中止しました。\n"
                         "ソフトを再起動し、もう一度書き込みを行ってください。\n"
                         "NG-B01: ボードがファームウェアを受け付けませんでした。\n"
                         "ソフトを再起動し、もう一度書き込んでください。\n所要時間: ")},
         {},
         {}},
        // The tool reports the failed check as ERROR, and no Wi-Fi adapter
        // has an address of the board's network.
        {"image corrupted in transfer", {QStringLiteral("--ota-corrupt")}, {}, 3, 3, {}, {}, {}},
        {"PC never joins",
         {QStringLiteral("--never-join")},
         {},
         2,
         3,
         {QStringLiteral(
             "書き込み結果: NG\nタイムアウトしました。\n接続を確認し、もう一度書き込みを行ってください。\n"
             "NG-W01: ")},
         {},
         {}},
        // Batch mode cannot browse for the tool: the choice is given up.
        {"tool missing",
         {},
         {{QStringLiteral("App_ESPOta"), QStringLiteral("{dir}/nowhere/espota")}},
         16,
         3,
         {kGiveUpQuestion},
         {},
         {}},
    };

    const auto setupFor = [](const Row& row) {
        BatchRunSetup setup;
        setup.simArgs = row.simArgs;
        setup.settings = row.settings;
        setup.trigger = row.trigger;
        setup.action = row.action;
        return setup;
    };
    std::printf("\n%-30s %6s %6s %10s %8s\n", "row", "exit", "mode", "UOf.bin", "time");
    RunRows(rows, setupFor, kNothingToPrepare, [](const Row& row, BatchRun& run) {
        std::printf("%-30s %6d %6d %10s %7.1fs\n", row.name, run.exitCode(), run.finalMode(),
                    run.firmwareFileLeft() ? "left" : "removed",
                    static_cast<double>(run.elapsedMs()) / 1000.0);
        std::fflush(stdout);
        EXPECT_EQ(run.exitCode(), row.exitCode) << Transcript(run).toStdString();
        EXPECT_EQ(run.finalMode(), row.finalMode) << Transcript(run).toStdString();
        EXPECT_FALSE(run.firmwareFileLeft());
        const SettingsCheck settings = CheckSettingsFile(run.settingsPath());
        EXPECT_EQ(settings.missingOptionKeys, QStringList());
        // Every row opened the port, so the link's section is there too.
        EXPECT_TRUE(settings.linkSection);
        EXPECT_EQ(settings.comPort, run.sim().linkPath());
        for (const QString& text : row.stderrHas) EXPECT_TRUE(run.err().contains(text)) << text.toStdString();
        // Not a terminal: a line when the transfer starts, then at most one per 10 %
        // (a read of many chunks may pass several tenths at once).
        if (run.exitCode() == 0) {
            const qsizetype lines = run.err().count(QStringLiteral("\n[転送] "));
            EXPECT_GE(lines, 2) << run.err().toStdString();
            EXPECT_LE(lines, 11) << run.err().toStdString();
        }
        ExpectCleanExit(run);
    });
}

// A command line the program cannot take changes nothing and says why; help
// and version need no board and no display.
TEST(BatchCommandLine, BadInputIsRefusedWithTheUsage) {
    struct Row {
        const char* name;
        QStringList args;
        int exitCode;
        QString stdoutHas;
        QString stderrHas;
    } rows[] = {
        {"unknown option",
         {QStringLiteral("--batch"), QStringLiteral("--bogus")},
         64,
         {},
         QStringLiteral("Unknown option 'bogus'")},
        // No display and no batch: refused before any window is tried.
        {"unknown option without --batch", {QStringLiteral("--bogus")}, 64, {}, QStringLiteral("Usage:")},
        {"unsupported speed",
         {QStringLiteral("--batch"), QStringLiteral("--speed"), QStringLiteral("12345")},
         64,
         {},
         QStringLiteral("Unsupported speed: 12345")},
        {"speed that is no number",
         {QStringLiteral("--batch"), QStringLiteral("--speed"), QStringLiteral("fast")},
         64,
         {},
         QStringLiteral("Unsupported speed: fast")},
        {"port without --batch",
         {QStringLiteral("--port"), QStringLiteral("x")},
         64,
         {},
         QStringLiteral("need --batch")},
        {"stray argument",
         {QStringLiteral("--batch"), QStringLiteral("extra")},
         64,
         {},
         QStringLiteral("Unexpected argument: extra")},
        {"help", {QStringLiteral("--help")}, 0, QStringLiteral(" 130  interrupted"), {}},
        {"version", {QStringLiteral("--version")}, 0, QStringLiteral("(firmware 1022IFB00)"), {}},
    };
    const auto setupFor = [](const Row& row) {
        BatchRunSetup setup;
        setup.noBoard = true;
        setup.args = row.args;
        setup.unsetEnv = {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                          QStringLiteral("QT_QPA_PLATFORM")};
        return setup;
    };
    RunRows(rows, setupFor, kNothingToPrepare, [](const Row& row, BatchRun& run) {
        EXPECT_EQ(run.exitCode(), row.exitCode) << Transcript(run).toStdString();
        if (!row.stdoutHas.isEmpty()) {
            EXPECT_TRUE(run.out().contains(row.stdoutHas)) << run.out().toStdString();
        }
        if (!row.stderrHas.isEmpty()) {
            EXPECT_TRUE(run.err().contains(row.stderrHas)) << run.err().toStdString();
        }
        // The settings were not even read: the program never wrote them back.
        EXPECT_FALSE(CheckSettingsFile(run.settingsPath()).missingOptionKeys.isEmpty());
        ExpectCleanExit(run);
    });
}

// The port asked for, or none: a missing port is never replaced by another,
// and a name with blanks works.
TEST(BatchPort, OnlyThePortAskedForIsOpened) {
    struct Row {
        const char* name;
        QStringList args;
        QMap<QString, QString> settings;
        int exitCode;
        QString stderrHas;
        QString portAfter;  // ComPort in the settings afterwards
        QString speedAfter;
        bool linkMade;
    } rows[] = {
        {"--port that does not exist",
         {QStringLiteral("--batch"), QStringLiteral("--yes"), QStringLiteral("--port"),
          QStringLiteral("{dir}/no such port")},
         {},
         11,
         QStringLiteral("Serial port not found: {dir}/no such port"),
         QStringLiteral("{link}"),
         QStringLiteral("4"),
         false},
        {"configured port that does not exist",
         {QStringLiteral("--batch"), QStringLiteral("--yes")},
         {{QStringLiteral("ComPort"), QStringLiteral("{dir}/gone")}},
         11,
         QStringLiteral("Serial port not found: {dir}/gone"),
         QStringLiteral("{dir}/gone"),
         QStringLiteral("4"),
         false},
        {"port name with blanks, and --speed",
         {QStringLiteral("--batch"), QStringLiteral("--yes"), QStringLiteral("--port"),
          QStringLiteral("{dir}/my port/tty IFB 1"), QStringLiteral("--speed"), QStringLiteral("57600")},
         {{QStringLiteral("ComSpeed"), QStringLiteral("1")}},
         0,
         QStringLiteral("Serial port: {dir}/my port/tty IFB 1("),
         QStringLiteral("{dir}/my port/tty IFB 1"),
         QStringLiteral("3"),
         true},
    };
    const auto setupFor = [](const Row& row) {
        BatchRunSetup setup;
        setup.args = row.args;
        setup.settings = row.settings;
        return setup;
    };
    // The board's port under a name with blanks.
    const auto portWithBlanks = [](const Row&, BatchRun& run) {
        QDir().mkpath(run.dir(QStringLiteral("my port")));
        QFile::link(run.sim().linkPath(), run.dir(QStringLiteral("my port/tty IFB 1")));
    };
    RunRows(rows, setupFor, portWithBlanks, [](const Row& row, BatchRun& run) {
        EXPECT_EQ(run.exitCode(), row.exitCode) << Transcript(run).toStdString();
        EXPECT_TRUE(run.err().contains(run.expand(row.stderrHas))) << run.err().toStdString();
        const SettingsCheck settings = CheckSettingsFile(run.settingsPath());
        EXPECT_EQ(settings.missingOptionKeys, QStringList());
        EXPECT_EQ(settings.comPort, run.expand(row.portAfter));
        EXPECT_EQ(settings.comSpeed, row.speedAfter);
        EXPECT_EQ(settings.linkSection, row.linkMade);
        if (row.linkMade) {
            EXPECT_EQ(settings.comDebugPort, run.expand(row.portAfter));
            EXPECT_EQ(run.finalMode(), 3);
        } else {
            // Not a byte went to the board that was there all along.
            EXPECT_EQ(run.sim().requests(), QStringList());
        }
        ExpectCleanExit(run);
    });
}

// Without --yes the questions are read from the terminal; input that has
// ended, or was never there, answers No, and no question repeats for ever.
TEST(BatchAnswers, QuestionsAreReadFromTheTerminal) {
    const QStringList batch{QStringLiteral("--batch")};
    const QMap<QString, QString> noTool{
        {QStringLiteral("App_ESPOta"), QStringLiteral("{dir}/nowhere/espota")}};
    const QStringList checkAndIdentify{
        QStringLiteral("GetIFBMode"),    QStringLiteral("SetIFBMode"),    QStringLiteral("ESP32_RestartCmd"),
        QStringLiteral("GetWiFiConfig"), QStringLiteral("GetWiFiConfig"), QStringLiteral("GetTCPIPParam"),
        QStringLiteral("GetRomVersion"), QStringLiteral("GetModelName"),  QStringLiteral("GetTargetId")};
    // Join not confirmed: the cancel end restarts the board, the close
    // sequence puts its mode back.
    // The declined join restarts the board; the close asks it for its mode until it is back, then
    // restores the mode.
    const QStringList declinedJoin =
        checkAndIdentify +
        QStringList{QStringLiteral("GetApInfo"),        QStringLiteral("SetOtaMode"),
                    QStringLiteral("ESP32_RestartCmd"), QStringLiteral("GetIFBMode"),
                    QStringLiteral("SetIFBMode"),       QStringLiteral("ESP32_RestartCmd")};
    struct Row {
        const char* name;
        QStringList simArgs;
        QMap<QString, QString> settings;
        QByteArray input;
        QString shellRedirect;
        int exitCode;
        QString stderrHas;
        QStringList requests;  // empty: not compared
    } rows[] = {
        // No: the USB-mode fallback is not tried, and the close sequence
        // restores no mode it never read.
        {"ended input, board silent",
         {QStringLiteral("--silent")},
         {},
         {},
         {},
         11,
         QStringLiteral("[y/n]\nn (no input)"),
         {QStringLiteral("GetIFBMode"), QStringLiteral("GetIFBMode"), QStringLiteral("ESP32_RestartCmd")}},
        {"ended input, join", {}, {}, {}, {}, 1, QStringLiteral("n (no input)"), declinedJoin},
        // Descriptors 0 and 1 closed: nothing the program opens may take their
        // place (the board's port would get the log).
        {"closed descriptors, join",
         {},
         {},
         {},
         QStringLiteral("<&- >&-"),
         1,
         QStringLiteral("n (no input)"),
         declinedJoin},
        {"ended input, tool missing", {}, noTool, {}, {}, 16, QStringLiteral("y (no input)"), {}},
        {"answer y", {}, {}, "y\n", {}, 0, QStringLiteral("[y/n]"), {}},
        {"answer that is neither, then n", {}, {}, "maybe\nn\n", {}, 1, QStringLiteral("y/n?"), declinedJoin},
        {"tool path typed, then y",
         {},
         noTool,
         EspotaPath().toUtf8() + "\ny\n",
         {},
         0,
         QStringLiteral("Path of the upload tool"),
         {}},
    };
    const auto setupFor = [&batch](const Row& row) {
        BatchRunSetup setup;
        setup.args = batch;
        setup.simArgs = row.simArgs;
        setup.settings = row.settings;
        setup.input = row.input;
        setup.shellRedirect = row.shellRedirect;
        return setup;
    };
    RunRows(rows, setupFor, kNothingToPrepare, [](const Row& row, BatchRun& run) {
        EXPECT_EQ(run.exitCode(), row.exitCode) << Transcript(run).toStdString();
        EXPECT_TRUE(run.err().contains(row.stderrHas)) << run.err().toStdString();
        if (!row.requests.isEmpty()) {
            EXPECT_EQ(run.sim().requests(), row.requests);
        }
        EXPECT_EQ(run.finalMode(), 3);
        EXPECT_FALSE(run.firmwareFileLeft());
        EXPECT_EQ(CheckSettingsFile(run.settingsPath()).missingOptionKeys, QStringList());
        ExpectCleanExit(run);
    });
}

// Ctrl+C in any wait of the write: the tool is stopped, the board gets its
// mode back over the serial link, the firmware file goes, exit 130 - long
// before the wait would have ended.
TEST(BatchInterrupt, CtrlCPutsTheBoardBackAndRemovesTheFirmware) {
    const auto ctrlC = [](BatchRun& run) { run.signal(SIGINT); };
    const QString tool = QStringLiteral("{dir}/tool/espota");
    struct Row {
        const char* name;
        QStringList simArgs;
        QMap<QString, QString> settings;
        QString toolScript;  // empty: our espota as it is
        QString trigger;
    } rows[] = {
        {"tool started, upload not yet",
         {},
         {{QStringLiteral("App_ESPOta"), tool}},
         QStringLiteral("sleep 60\nexec \"$TOOL\" \"$@\""),
         QStringLiteral("tool-started")},
        {"tool uploading",
         {},
         {{QStringLiteral("App_ESPOta"), tool}},
         QStringLiteral("exec \"$TOOL\" \"$@\""),
         QStringLiteral("Uploading")},
        {"waiting for the join",
         {QStringLiteral("--never-join")},
         {{QStringLiteral("CONECT_WAIT_TIME"), QStringLiteral("60000")}},
         {},
         QStringLiteral("------- Check WiFi AP Connection ----------")},
        {"waiting for the board's verdict",
         {QStringLiteral("--ota-result"), QStringLiteral("none")},
         {{QStringLiteral("App_ESPOta"), tool}, {QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("60000")}},
         QStringLiteral("\"$TOOL\" \"$@\"\necho tool-done"),
         QStringLiteral("tool-done")},
    };
    const auto setupFor = [&ctrlC](const Row& row) {
        BatchRunSetup setup;
        setup.simArgs = row.simArgs;
        setup.settings = row.settings;
        setup.trigger = row.trigger;
        setup.action = ctrlC;
        return setup;
    };
    const auto writeTool = [](const Row& row, BatchRun& run) {
        if (!row.toolScript.isEmpty()) WriteTool(run.dir(QStringLiteral("tool")), row.toolScript);
    };
    RunRows(rows, setupFor, writeTool, [](const Row&, BatchRun& run) {
        ASSERT_GE(run.eventsAtTrigger(), 0) << "never reached: " << Transcript(run).toStdString();
        EXPECT_EQ(run.exitCode(), 130) << Transcript(run).toStdString();
        EXPECT_LT(run.msAfterTrigger(), 15000);
        EXPECT_TRUE(run.err().contains(QStringLiteral("Interrupted")));
        // After the interrupt the board was told its old mode, and took it.
        bool setBack = false;
        bool modeBack = false;
        for (const QJsonObject& e : run.eventsSinceTrigger()) {
            const QString event = e.value(QStringLiteral("event")).toString();
            setBack |= event == QLatin1String("rx") && e.value(QStringLiteral("hex")).toString() == kSetMode3;
            modeBack |= event == QLatin1String("mode_change") && e.value(QStringLiteral("to")).toInt() == 3;
        }
        EXPECT_TRUE(setBack) << run.sim().requestFrames().join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(modeBack);
        EXPECT_EQ(run.finalMode(), 3);
        EXPECT_FALSE(run.firmwareFileLeft());
        EXPECT_FALSE(ProcessAlive(run.dir(QStringLiteral("tool/tool.pid"))));
        EXPECT_EQ(CheckSettingsFile(run.settingsPath()).missingOptionKeys, QStringList());
        ExpectCleanExit(run);
    });
}

// The upload tool's path: only a regular file is taken, and it runs by its
// absolute path, never by a PATH search. A tool that cannot run says why and
// ends the write at once.
TEST(BatchToolPath, OnlyARegularFileRunsAndByItsOwnPath) {
    // Stands for another program of the same name on PATH.
    const QString stranger = QStringLiteral("touch \"{dir}/stranger-ran\"\nexec \"$TOOL\" \"$@\"");
    const QString path = QStringLiteral("{dir}/bin:") + qEnvironmentVariable("PATH");
    struct Row {
        const char* name;
        QString appEspOta;
        QString cwdTool;     // script of {dir}/espota; empty: none
        bool folderInstead;  // {dir}/espota is a folder
        bool notExecutable;  // the cwd tool loses its execute permission
        int exitCode;
        QString outHas;
        QString errHas;
    };
    const std::vector<Row> rows{
        {"a folder",
         QStringLiteral("{dir}/espota"),
         {},
         true,
         false,
         16,
         {},
         QStringLiteral("Upload tool not found: {dir}/espota")},
        {"a bare name found only on PATH",
         QStringLiteral("espota"),
         {},
         false,
         false,
         16,
         {},
         QStringLiteral("Upload tool not found: espota")},
        {"a bare name in the current folder and on PATH",
         QStringLiteral("espota"),
         QStringLiteral("echo own-tool\nexec \"$TOOL\" \"$@\""),
         false,
         false,
         0,
         QStringLiteral("own-tool"),
         {}},
        {"a file without execute permission", QStringLiteral("{dir}/espota"),
         QStringLiteral("exec \"$TOOL\" \"$@\""), false, true, 3,
         QStringLiteral("NG: 実行権限がありません: {dir}/espota"),
         QStringLiteral("プロセスの作成に失敗しました")},
    };
    const auto setupFor = [&path](const Row& row) {
        BatchRunSetup setup;
        setup.settings = {{QStringLiteral("App_ESPOta"), row.appEspOta}};
        setup.env = {{QStringLiteral("PATH"), path}};
        return setup;
    };
    const auto placeTools = [&stranger](const Row& row, BatchRun& run) {
        WriteEspotaScript(run.dir(QStringLiteral("bin")), run.expand(stranger));
        if (row.folderInstead) QDir().mkpath(run.dir(QStringLiteral("espota")));
        if (!row.cwdTool.isEmpty()) {
            const QString tool = WriteEspotaScript(run.dir(), row.cwdTool);
            if (row.notExecutable) QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner);
        }
    };
    RunRows(rows, setupFor, placeTools, [](const Row& row, BatchRun& run) {
        EXPECT_EQ(run.exitCode(), row.exitCode) << Transcript(run).toStdString();
        EXPECT_FALSE(QFileInfo::exists(run.dir(QStringLiteral("stranger-ran"))));
        if (!row.outHas.isEmpty()) {
            EXPECT_TRUE(run.out().contains(run.expand(row.outHas))) << run.out().toStdString();
        }
        if (!row.errHas.isEmpty()) {
            EXPECT_TRUE(run.err().contains(run.expand(row.errHas))) << run.err().toStdString();
        }
        // A refusal comes before the write began, or long before the verdict's
        // wait (Prog_WAIT_TIME 8 s) would have ended.
        if (row.exitCode != 0) {
            EXPECT_LT(run.elapsedMs(), 7000);
        }
        EXPECT_EQ(run.finalMode(), 3);
        EXPECT_FALSE(run.firmwareFileLeft());
        ExpectCleanExit(run);
    });
}

// A question waiting for the terminal keeps the event loop running: a timer,
// standing for the link's poll, fires all the while; and the wait still ends
// on an answer, on the end of input and on an interrupt.
TEST(BatchQuestions, EventsKeepRunningWhileAQuestionWaits) {
    enum class Then { Answer, EndInput, Interrupt };
    const struct {
        const char* name;
        Then then;
        bool answer;
        const char* printed;
    } cases[] = {
        {"answered", Then::Answer, true, "? [y/n]\n"},
        {"input ends", Then::EndInput, false, "? [y/n]\nn (no input)\n"},
        {"interrupted", Then::Interrupt, false, "? [y/n]\nn (interrupted)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int input[2], wake[2];
        ASSERT_EQ(::pipe(input), 0);
        ASSERT_EQ(::pipe(wake), 0);
        std::atomic<bool> interrupted{false};
        FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        ConsoleAnswers answers(false, input[0], out);
        answers.setInterrupt(wake[0], [&] { return interrupted.load(); });

        QTimer poll;
        int ticks = 0;
        QObject::connect(&poll, &QTimer::timeout, [&] { ++ticks; });
        poll.start(20);
        // The person answers from outside the event loop, after a while.
        std::thread person([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            if (c.then == Then::Answer) {
                [[maybe_unused]] const ssize_t n = ::write(input[1], "y\n", 2);
            } else if (c.then == Then::Interrupt) {
                interrupted = true;
                [[maybe_unused]] const ssize_t n = ::write(wake[1], "x", 1);
            }
            if (c.then != Then::Interrupt) ::close(input[1]);
        });
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(answers.ask(QStringLiteral("?")), c.answer);
        const qint64 took = clock.elapsed();
        person.join();
        EXPECT_GE(ticks, 15) << "the timer stood still while the question waited";
        EXPECT_LT(took, 500 + ConsoleAnswers::kQuestionWakeIntervalMs + 400);

        std::rewind(out);
        char text[256] = {};
        const size_t got = std::fread(text, 1, sizeof text - 1, out);
        EXPECT_EQ(QByteArray(text, static_cast<qsizetype>(got)), QByteArray(c.printed));
        std::fclose(out);
        if (c.then == Then::Interrupt) ::close(input[1]);
        for (int fd : {input[0], wake[0], wake[1]}) ::close(fd);
    }
}
