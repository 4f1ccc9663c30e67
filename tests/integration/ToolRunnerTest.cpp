#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <utility>
#include <vector>

#include "AppHarness.h"
#include "EspotaCommand.h"
#include "LogSink.h"
#include "PtyPair.h"
#include "QtPrinters.h"
#include "RecordingMessageBoxes.h"
#include "ScriptedOperator.h"
#include "ToolRunner.h"

namespace ifb {
namespace {
using test::PtyPair;

struct RecordingLogSink final : LogSink {
    void WriteLog(const QString& text, bool always) override { lines.emplace_back(text, always); }
    std::vector<std::pair<QString, bool>> lines;
};

const QString kHelper = QStringLiteral(RUNNER_HELPER_PATH);

QStringList Helper(const QStringList& args) {
    return QStringList{kHelper} + args;
}

class ToolRunnerTest : public ::testing::Test {
  protected:
    bool run(const QStringList& words, bool withMemo = true) {
        chunks.clear();
        return runner.RunCommand(ToolCommand{words, QString(), QString()}, withMemo ? &op.log : nullptr,
                                 chunks);
    }

    test::ScriptedOperator op;
    RecordingLogSink log;
    test::RecordingMessageBoxes boxes;
    bool adapterAnswer = true;
    int adapterChecks = 0;
    bool toolOutputOk = true;
    ToolRunner runner{op, log,
                      [this] {
                          ++adapterChecks;
                          return adapterAnswer;
                      },
                      toolOutputOk};
    QStringList chunks;
};

// How the output is judged, one table row per behaviour.
TEST_F(ToolRunnerTest, JudgesEachChunkForErrorMarkers) {
    struct Case {
        const char* name;
        QStringList writes;
        bool adapterOk;
        bool result;
        bool outputOk;
        int checks;
        QStringList chunks;
        bool adviceLogged;
    };
    const QString advice1 = QStringLiteral("PC側IPアドレスの自動割付に失敗しました。");
    const std::vector<Case> cases = {
        {"clean output",
         {"Uploading...\n", "Done\n"},
         true,
         true,
         true,
         0,
         {"Uploading...\n", "Done\n"},
         false},
        {"lower-case marker ignored", {"error: bad\n"}, true, true, true, 0, {"error: bad\n"}, false},
        {"Error clears the flag only", {"Error: x\n"}, false, true, false, 0, {"Error: x\n"}, false},
        {"ERROR with adapter in the board's network runs on",
         {"[ERROR]: No answer\n", "more\n"},
         true,
         true,
         false,
         1,
         {"[ERROR]: No answer\n", "more\n"},
         false},
        {"ERROR without an address gives up",
         {"[ERROR]: No answer\n", "more\n"},
         false,
         false,
         false,
         1,
         {"[ERROR]: No answer\n"},
         true},
        {"ERROR split over two reads is not seen",
         {"ER", "ROR\n"},
         false,
         true,
         true,
         0,
         {"ER", "ROR\n"},
         false},
        {"lone bytes dropped", {"\n", "AB", "x"}, false, true, true, 0, {"AB"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        op.log.lines.clear();
        log.lines.clear();
        adapterAnswer = c.adapterOk;
        adapterChecks = 0;
        toolOutputOk = true;
        EXPECT_EQ(run(Helper(QStringList{"print"} + c.writes)), c.result);
        EXPECT_EQ(toolOutputOk, c.outputOk);
        EXPECT_EQ(adapterChecks, c.checks);
        EXPECT_EQ(chunks, c.chunks);
        // The memo gets the output itself, whatever the verbose setting.
        QStringList memo;
        for (const QString& chunk : c.chunks) memo += chunk.split(QLatin1Char('\n'));
        EXPECT_EQ(op.log.lines, memo);
        if (c.adviceLogged) {
            const std::vector<std::pair<QString, bool>> expected = {
                {advice1, true},
                {QStringLiteral("PCのセキュリティ設定などを確認してください。"), true},
                {"", true}};
            EXPECT_EQ(log.lines, expected);
        } else {
            EXPECT_TRUE(log.lines.empty());
        }
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ToolRunnerTest, WithoutMemoCollectsButJudgesNothing) {
    adapterAnswer = false;
    EXPECT_TRUE(run(Helper({"print", "ERROR Error\n"}), false));
    EXPECT_EQ(chunks, QStringList{"ERROR Error\n"});
    EXPECT_TRUE(toolOutputOk);
    EXPECT_EQ(adapterChecks, 0);
    EXPECT_TRUE(op.log.lines.empty());
}

TEST_F(ToolRunnerTest, StandardOutputAndErrorArriveInOneStreamInOrder) {
    EXPECT_TRUE(run(Helper({"interleaved"})));
    EXPECT_EQ(chunks, (QStringList{"out-1\n", "err-1\n", "out-2\n"}));
}

TEST_F(ToolRunnerTest, SilentChildEndsTheRunWithEmptyList) {
    EXPECT_TRUE(run(Helper({"silent"})));
    EXPECT_TRUE(chunks.isEmpty());
    EXPECT_TRUE(op.log.lines.isEmpty());
}

// 2050 and 4099 bytes: a chunk boundary must not strand one byte, which would
// be dropped as a stray.
TEST_F(ToolRunnerTest, OutputWaitingAtExitIsReadInBoundedChunksWithoutLoss) {
    for (int total : {2049, 2050, 4099, 70000}) {
        SCOPED_TRACE(total);
        EXPECT_TRUE(run(Helper({"big", QString::number(total)})));
        QString all;
        for (const QString& chunk : chunks) {
            EXPECT_LE(chunk.size(), ToolRunner::kChunkBytes);
            all += chunk;
        }
        EXPECT_EQ(all.size(), total);
        EXPECT_GE(chunks.size(), (total + 2048) / 2049);
        EXPECT_TRUE(all.startsWith("line 0\nline 1\n"));
        EXPECT_TRUE(all.contains(QStringLiteral("\nline 1000\n")) || total < 10000);
    }
}

bool ProcessGone(qint64 pid) {
    return !QFile::exists(QStringLiteral("/proc/%1").arg(pid));
}

TEST_F(ToolRunnerTest, GivingUpStopsAndReapsTheChild) {
    adapterAnswer = false;
    for (const char* variant : {"polite", "stubborn"}) {
        SCOPED_TRACE(variant);
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(run(Helper({"error-hang", variant})));
        EXPECT_LT(timer.elapsed(), 5000);
        ASSERT_EQ(chunks.size(), 1);
        const QString first = chunks.first();
        const qint64 pid = first.mid(4, first.indexOf(QLatin1Char(' ')) - 4).toLongLong();
        ASSERT_GT(pid, 0);
        // Neither running nor left as a zombie.
        EXPECT_TRUE(ProcessGone(pid));
    }
}

TEST_F(ToolRunnerTest, ChildThatCannotBeCreatedShowsBox) {
    runner.setInterpreter(QStringLiteral("/nonexistent/sh"));
    EXPECT_FALSE(run(Helper({"print", "x\n"})));
    ASSERT_EQ(boxes.shown.size(), 1u);
    const MessageBoxRequest expected{QStringLiteral("プロセスの作成に失敗しました"), QStringLiteral("エラー"),
                                     MsgIcon::None, MsgButtons::Ok, MsgOwner::None};
    EXPECT_EQ(boxes.shown[0], expected);
    EXPECT_TRUE(chunks.isEmpty());
}

TEST_F(ToolRunnerTest, UnknownCommandShowsTheShellsMessageAndSucceeds) {
    EXPECT_TRUE(run({QStringLiteral("/nonexistent/espota"), QStringLiteral("-i")}));
    ASSERT_FALSE(chunks.isEmpty());
    EXPECT_TRUE(chunks.join(QString()).contains(QStringLiteral("/nonexistent/espota")));
    EXPECT_TRUE(op.log.lines.join(QString()).contains(QStringLiteral("not found")));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ToolRunnerTest, ShellCharactersInPathsAndArgumentsAreInert) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString dir = tmp.path() + QStringLiteral("/a b 'c' \"d\" $HOME `id` ;e");
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString tool = dir + QStringLiteral("/run ner;$x 'y'");
    ASSERT_TRUE(QFile::copy(kHelper, tool));
    ASSERT_TRUE(QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner));
    const QString marker = tmp.path() + QStringLiteral("/pwned");
    const QStringList args = {"args",
                              ";touch " + marker,
                              "$(touch " + marker + ")",
                              "`touch " + marker + "`",
                              "it's \"quoted\"",
                              "  two  blanks ",
                              "$HOME",
                              "a\\b",
                              "|| touch " + marker + " &",
                              ""};
    EXPECT_TRUE(run(QStringList{tool} + args));
    QString expected;
    for (qsizetype i = 1; i < args.size(); ++i) expected += "[" + args[i] + "]\n";
    EXPECT_EQ(chunks.join(QString()), expected);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(ToolRunnerTest, ChildSeesNoDescriptorOfOursAndAnEmptyStandardInput) {
    const PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);  // deliberately without close-on-exec
    ASSERT_GE(sock, 0);
    ASSERT_EQ(fcntl(pty.master(), F_GETFD) & FD_CLOEXEC, 0);

    EXPECT_TRUE(run(Helper({"fds"})));
    EXPECT_EQ(chunks.join(QString()), QStringLiteral("fds: 0 1 2\n"));
    EXPECT_TRUE(run(Helper({"stdin"})));
    EXPECT_EQ(chunks.join(QString()), QStringLiteral("stdin read 0\n"));

    ::close(sock);
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// While the tool runs, the link timer keeps firing, every wake-up moves the
// dots, and the wait itself costs next to no CPU.
TEST_F(ToolRunnerTest, WaitKeepsTimersAndDotsGoingWithoutSpinning) {
    QTimer linkTimer;
    linkTimer.setTimerType(Qt::PreciseTimer);
    int ticks = 0;
    QObject::connect(&linkTimer, &QTimer::timeout, [&] { ++ticks; });
    linkTimer.start(50);

    op.progressIsOpen = true;
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    EXPECT_TRUE(run(Helper({"sleep", "600"})));
    const qint64 wallMs = wall.elapsed();
    const double cpuMs = (CpuSeconds() - cpuBefore) * 1000.0;
    std::printf("tool run: %lld ms wall, %.1f ms CPU, %d timer ticks, %d dot updates\n",
                static_cast<long long>(wallMs), cpuMs, ticks, op.dotUpdates);

    EXPECT_GE(ticks, 8);
    EXPECT_GE(op.dotUpdates, ticks);
    EXPECT_LT(cpuMs, 150.0);
    const QStringList dotTexts = {
        QString::fromUtf16(u"\u30FB\u3000\u3000"), QString::fromUtf16(u"\u30FB\u30FB\u3000"),
        QString::fromUtf16(u"\u30FB\u30FB\u30FB"), QString::fromUtf16(u"\u3000\u30FB\u30FB"),
        QString::fromUtf16(u"\u3000\u3000\u30FB")};
    EXPECT_TRUE(dotTexts.contains(op.lastDots)) << op.lastDots.toStdString();
}

// The runner passes its animation step many times (timer ticks, output), but
// with no progress dialog open no dot text is set, and the run is not upset.
TEST_F(ToolRunnerTest, NoDotsWhileNoProgressDialogIsOpen) {
    QTimer linkTimer;
    int ticks = 0;
    QObject::connect(&linkTimer, &QTimer::timeout, [&] { ++ticks; });
    linkTimer.start(20);
    op.progressIsOpen = false;
    EXPECT_TRUE(run(Helper({"print", "one\n", "two\n", "three\n"})));
    EXPECT_EQ(chunks, (QStringList{"one\n", "two\n", "three\n"}));
    EXPECT_GE(ticks, 5) << "the wait was not woken: the case would prove nothing";
    EXPECT_EQ(op.dotUpdates, 0);
    EXPECT_TRUE(op.lastDots.isEmpty());
}

// A hung tool is stopped when its time is up even when nothing else wakes the
// wait: no timer runs here, and the tool neither writes nor ends.
TEST_F(ToolRunnerTest, AbortIsSeenOnTimeWithNoOtherTimerRunning) {
    constexpr qint64 kLimitMs = 300;
    QElapsedTimer clock;
    clock.start();
    runner.setAbortRequested([&] { return clock.elapsed() >= kLimitMs; });
    EXPECT_TRUE(run(Helper({"sleep", "4000"})));
    const qint64 took = clock.elapsed();
    EXPECT_GE(took, kLimitMs);
    EXPECT_LT(took, kLimitMs + ToolRunner::kToolWakeIntervalMs + 700);
}

// A tool file without execute permission is not run: the operator is told why
// in the log, and the run fails at once like a child that cannot be created.
TEST_F(ToolRunnerTest, ToolWithoutExecutePermissionIsRefusedWithALogLine) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString tool = tmp.filePath(QStringLiteral("espota"));
    ASSERT_TRUE(QFile::copy(kHelper, tool));
    ASSERT_TRUE(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner));
    EspotaCommand cmd;
    cmd.espotaPath = tool;
    cmd.address = DottedIpv4(0xC0A80001u);
    cmd.password = QStringLiteral("QN5KDL4072");
    cmd.firmwarePath = tmp.filePath(QStringLiteral("UOf.bin"));
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(runner.RunCommand(cmd.toolCommand(), &op.log, chunks));
    EXPECT_LT(clock.elapsed(), 2000);
    const std::vector<std::pair<QString, bool>> expected = {
        {QStringLiteral("NG: 実行権限がありません: ") + tool, true}};
    EXPECT_EQ(log.lines, expected);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("プロセスの作成に失敗しました"));
    EXPECT_TRUE(chunks.isEmpty());
}

TEST(HungToolLimit, NeverShorterThanTheWaitForTheVerdict) {
    const struct {
        quint32 minimumMs;
        qint64 progWaitTimeMs;
        quint32 limitMs;
    } cases[] = {
        {kHungToolMinimumMs, 60000, kHungToolMinimumMs},  // the default wait
        {kHungToolMinimumMs, kHungToolMinimumMs + 1, kHungToolMinimumMs + 1},
        {kHungToolMinimumMs, 3600000, 3600000},  // the longest wait the settings allow
        {1000, 0, 1000},
        {1000, -5, 1000},
        {0, 0x1FFFFFFFFLL, 0xFFFFFFFFu},  // more than a tick slot holds
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HungToolLimitMs(c.minimumMs, c.progWaitTimeMs), c.limitMs)
            << c.minimumMs << " " << c.progWaitTimeMs;
    }
}

// The update's own command line, end to end through the shell.
TEST_F(ToolRunnerTest, EspotaScriptRunsUnderPython) {
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty()) GTEST_SKIP() << "no python3";
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString script = tmp.path() + QStringLiteral("/my tools/Espota.PY");
    ASSERT_TRUE(QDir().mkpath(tmp.path() + QStringLiteral("/my tools")));
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("import sys\nsys.stdout.write('|'.join(sys.argv[1:]))\n");
    f.close();

    EspotaCommand cmd;
    cmd.espotaPath = script;
    cmd.address = DottedIpv4(0xC0A80001u);
    cmd.password = QStringLiteral("QN5KDL4072");
    cmd.firmwarePath = tmp.path() + QStringLiteral("/fw dir $x/UOf.bin");
    EXPECT_TRUE(runner.RunCommand(cmd.toolCommand(), &op.log, chunks));
    EXPECT_EQ(chunks.join(QString()), "-i|192.168.0.1|-p|3232|--auth=QN5KDL4072|-f|" + cmd.firmwarePath);
}

// The update stops a hung tool after HungToolLimitMs: with Prog_WAIT_TIME
// above the least limit the tool gets the whole wait for the verdict.
TEST(HungToolLimit, TheUpdateStopsAHungToolAfterTheLongerOfTheTwo) {
    const struct {
        const char* name;
        quint32 minimumMs;
        int progWaitTimeMs;
        quint32 limitMs;
    } cases[] = {
        {"wait longer than the least limit", 1000, 2500, 2500},
        {"least limit longer than the wait", 2000, 1000, 2000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::AppHarness h;
        test::SimProcess sim({QStringLiteral("--ota-result"), QStringLiteral("none")});
        ASSERT_TRUE(sim.start()) << sim.error().toStdString();
        auto settings = h.settingsFor(sim);
        settings[QStringLiteral("CONECT_WAIT_TIME")] = QStringLiteral("5000");
        settings[QStringLiteral("Prog_WAIT_TIME")] = QString::number(c.progWaitTimeMs);
        // A tool that neither uploads nor ends.
        settings[QStringLiteral("App_ESPOta")] =
            test::WriteEspotaScript(h.dir.filePath(QStringLiteral("tool")), QStringLiteral("exec sleep 600"));
        h.writeSettings(settings);
        UpdaterApp& app = h.makeApp();
        app.session().networkAdapters = [] { return QList<NetworkAdapter>{}; };
        ASSERT_EQ(app.startUp(), StartupResult::Ready);
        app.session().toolTimeLimitMs = c.minimumMs;
        QElapsedTimer clock;
        clock.start();
        app.writeCommand();
        EXPECT_LT(clock.elapsed(), 15000);
        const QString stopped = QStringLiteral("NG: espota.exe stopped after %1ms").arg(c.limitMs);
        EXPECT_TRUE(h.op.log.lines.contains(stopped)) << h.op.log.lines.join('\n').toStdString();
        EXPECT_EQ(h.op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::TimeOut});
        EXPECT_EQ(sim.lastMode(), 3);
        app.closeSequence();
    }
}

}  // namespace
}  // namespace ifb
