// Station mode against the simulator: board after board in one run, in the
// window's core (scripted operator) and in batch mode (the real program).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <algorithm>

#include "AppHarness.h"
#include "BatchRun.h"
#include "EventWait.h"
#include "QtPrinters.h"
#include "RecordStore.h"
#include "TestFiles.h"

using namespace ifb;
using namespace ifb::test;

namespace {

// Oldest first.
QList<UpdateRecord> StoredRecords(const QString& settingsPath) {
    RecordStore store(RecordsFileBeside(settingsPath));
    QList<UpdateRecord> rows = store.open() ? store.page({}, 0, 100) : QList<UpdateRecord>{};
    std::reverse(rows.begin(), rows.end());
    return rows;
}

bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) PauseWithEvents(20);
    return done();
}

const QStringList kRejectingBoard{QStringLiteral("--ota-corrupt"), QStringLiteral("--target-id"),
                                  QStringLiteral("BEEF")};
const QStringList kCurrentBoard{QStringLiteral("--rom"), QStringLiteral("1022IFB00"),
                                QStringLiteral("--target-id"), QStringLiteral("CAFE")};

// Boots a station on a default board: unit 1 is ready to write.
std::unique_ptr<SimProcess> BootStation(AppHarness& h, const QStringList& simArgs = {}) {
    auto sim = h.boot(simArgs);
    if (!sim) return nullptr;
    h.app->session().networkAdapters = [] { return QList<NetworkAdapter>{}; };
    h.app->setStationMode(true);
    QObject::connect(&h.app->station(), &Station::boardArrived, h.app.get(),
                     [&h] { h.app->nextBoardCommand(); });
    if (h.app->startUp() != StartupResult::Ready) return nullptr;
    return sim;
}

TEST(Station, ThreeBoardsInARowReplugAndFixture) {
    AppHarness h;
    auto first = BootStation(h);
    ASSERT_TRUE(first) << h.simError.toStdString();
    Station& station = h.app->station();
    // Unit 1: written, then given back; the station waits.
    h.app->writeCommand();
    EXPECT_TRUE(station.waitingForBoard());
    EXPECT_FALSE(h.op.writeCommandAvailable) << "no board to write";
    ASSERT_FALSE(h.op.statusTexts.isEmpty());
    EXPECT_EQ(h.op.statusTexts.last(), QStringLiteral("次のボードを接続してください"));
    EXPECT_EQ(first->lastMode(), 3) << "the first board has its mode back";

    // Unit 2: a re-plug brings a board that rejects the image (its flash write fails).
    const QString link = first->linkPath();
    first->stop();
    auto second = std::make_unique<SimProcess>(kRejectingBoard);
    second->useLink(link);
    ASSERT_TRUE(second->start()) << second->error().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !station.waitingForBoard(); }, 15000)) << "the re-plug was not seen";
    EXPECT_EQ(h.app->session().TargetId, QStringLiteral("BEEF"));
    EXPECT_TRUE(h.op.writeCommandAvailable) << "the next board may be written";
    h.app->writeCommand();
    EXPECT_EQ(second->lastMode(), 3);

    // Unit 3: behind a fixture the port stays; the operator says the next board is there.
    second->stop();
    auto third = std::make_unique<SimProcess>(kCurrentBoard);
    third->useLink(link);
    ASSERT_TRUE(third->start()) << third->error().toStdString();
    h.app->nextBoardCommand();
    EXPECT_TRUE(h.op.log.lines.contains(QStringLiteral("ファームウェアは最新です (1022IFB00)")));
    EXPECT_TRUE(station.waitingForBoard()) << "a current board is given back at once";
    EXPECT_TRUE(third->lastMode() == -1 || third->lastMode() == 3) << "a current board keeps its mode";

    EXPECT_EQ(h.op.writeResults, (std::vector<UpdateOutcome>{UpdateOutcome::Ok, UpdateOutcome::ToolFailed}));
    const StationCounters& n = station.counters();
    EXPECT_EQ(n.units, 3);
    EXPECT_EQ(n.ok, 1);
    EXPECT_EQ(n.ng, 1);
    EXPECT_EQ(n.current, 1);
    EXPECT_FALSE(n.lastNg.isEmpty());
    for (int unit = 1; unit <= 3; ++unit)
        EXPECT_TRUE(h.op.log.lines.contains(QStringLiteral("------- ユニット %1 -------").arg(unit)));

    const QList<UpdateRecord> rows = StoredRecords(h.settingsPath);
    ASSERT_EQ(rows.size(), 3);
    const struct {
        const char* outcome;
        const char* targetId;
    } expected[] = {{"ok", "1234"}, {"tool_failed", "BEEF"}, {"current", "CAFE"}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(rows[i].outcome, QLatin1String(expected[i].outcome));
        EXPECT_EQ(rows[i].targetId, QLatin1String(expected[i].targetId));
        EXPECT_EQ(rows[i].unit, std::optional<int>(i + 1));
    }
    EXPECT_EQ(rows[1].ngCode, n.lastNg);

    // Closed while waiting: no board is attached, none is touched.
    const qsizetype asked = third->requests().size();
    h.app->closeSequence();
    EXPECT_EQ(third->requests().size(), asked);
}

TEST(Station, ABoardUnpluggedMidUnitIsCountedAndTheNextOneGoesOn) {
    AppHarness h;
    auto first = BootStation(h);
    ASSERT_TRUE(first) << h.simError.toStdString();
    const QString link = first->linkPath();
    // Pulled out while the PC joins its access point.
    h.op.onJoinShown = [&first] { first->kill(); };
    h.app->writeCommand();
    h.op.onJoinShown = nullptr;
    ASSERT_EQ(h.op.writeResults.size(), 1u);
    EXPECT_NE(h.op.writeResults[0], UpdateOutcome::Ok);
    EXPECT_TRUE(h.app->station().waitingForBoard());

    auto second = std::make_unique<SimProcess>();
    second->useLink(link);
    ASSERT_TRUE(second->start()) << second->error().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !h.app->station().waitingForBoard(); }, 15000));
    h.app->writeCommand();
    ASSERT_EQ(h.op.writeResults.size(), 2u);
    EXPECT_EQ(h.op.writeResults[1], UpdateOutcome::Ok) << h.op.log.lines.join('\n').toStdString();
    EXPECT_EQ(second->lastMode(), 3);
    EXPECT_EQ(h.app->station().counters().units, 2);
    EXPECT_EQ(h.app->station().counters().ok, 1);
    EXPECT_EQ(h.app->station().counters().ng, 1);
}

TEST(Station, NextBoardOnAPortThatFailsAsksForThePort) {
    AppHarness h;
    auto first = BootStation(h);
    ASSERT_TRUE(first) << h.simError.toStdString();
    h.app->writeCommand();
    // The next board comes on another port.
    first->stop();
    SimProcess second;
    ASSERT_TRUE(second.start()) << second.error().toStdString();
    const size_t dialogs = h.op.portDialogSetups.size();
    h.op.portDialogEdit = [&second](PortDialogResult& r) {
        r.items = {second.linkPath() + QStringLiteral("(pty)")};
        r.selectedIndex = 0;
    };
    h.app->nextBoardCommand();
    EXPECT_EQ(h.op.portDialogSetups.size(), dialogs + 1);
    EXPECT_FALSE(h.app->station().waitingForBoard());
    EXPECT_EQ(h.app->session().option.ComPort, second.linkPath());
    EXPECT_TRUE(h.op.log.lines.contains(QStringLiteral("------- ユニット 2 -------")));
}

TEST(Station, ACurrentBoardIsWrittenOnlyWhenTheOperatorAsks) {
    AppHarness h;
    auto sim = BootStation(h, kCurrentBoard);
    ASSERT_TRUE(sim) << h.simError.toStdString();
    Station& station = h.app->station();
    EXPECT_TRUE(station.waitingForBoard()) << "skipped and given back";
    EXPECT_TRUE(h.op.writeCommandAvailable);
    h.app->writeCommand();
    EXPECT_EQ(h.op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok});
    EXPECT_EQ(station.counters().units, 1);
    EXPECT_EQ(station.counters().ok, 1);
    EXPECT_EQ(station.counters().current, 0);
    const QList<UpdateRecord> rows = StoredRecords(h.settingsPath);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].outcome, QStringLiteral("current"));
    EXPECT_EQ(rows[1].outcome, QStringLiteral("ok"));
    EXPECT_EQ(rows[1].unit, std::optional<int>(1));
}

TEST(Station, OffKeepsTheSingleBoardRun) {
    AppHarness h;
    auto sim = h.bootReady({QStringLiteral("--rom"), QStringLiteral("1022IFB00")});
    ASSERT_TRUE(sim) << h.simError.toStdString();
    // Only told: the write stays possible.
    EXPECT_FALSE(h.app->station().waitingForBoard());
    h.app->writeCommand();
    EXPECT_EQ(h.op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok})
        << h.op.log.lines.join('\n').toStdString();
    EXPECT_FALSE(h.app->station().waitingForBoard());
    EXPECT_FALSE(h.op.log.lines.join('\n').contains(QStringLiteral("ユニット")));
    h.app->closeSequence();
    EXPECT_FALSE(h.settingsText().contains(QStringLiteral("[Station]")));
}

TEST(StationBatch, RepeatTakesBoardAfterBoardAndEndsWithTheLastFailure) {
    BatchRunSetup setup;
    setup.name = QStringLiteral("station");
    setup.args << QStringLiteral("--repeat") << QStringLiteral("3") << QStringLiteral("--skip-current");
    setup.trigger = QStringLiteral("Waiting for the next board...");
    setup.triggerRepeats = true;
    int swaps = 0;
    setup.action = [&swaps](BatchRun& run) { run.swapBoard(++swaps == 1 ? kRejectingBoard : kCurrentBoard); };
    BatchRun run(setup);
    ASSERT_TRUE(RunAll({&run}, 1, 240000)) << run.error().toStdString();
    EXPECT_EQ(run.exitCode(), 3) << "the rejected image's unit" << run.err().toStdString();
    const QString err = run.err();
    EXPECT_TRUE(err.contains(QStringLiteral("unit 1: OK (0) ROM 1022IFB00, target ID 1234\n")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("unit 2: NG (3) ROM 1021IFB00, target ID BEEF\n")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("unit 3: current (0) ROM 1022IFB00, target ID CAFE\n")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("units 3: OK 1, NG 1, current 1\n"))) << err.toStdString();
    EXPECT_FALSE(run.firmwareFileLeft());
    ASSERT_EQ(run.boardsBefore().size(), 2u);
    for (const auto& board : run.boardsBefore()) EXPECT_EQ(board->lastMode(), 3);
    EXPECT_TRUE(run.sim().lastMode() == -1 || run.sim().lastMode() == 3);
    const QList<UpdateRecord> rows = StoredRecords(run.settingsPath());
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[2].outcome, QStringLiteral("current"));
    EXPECT_EQ(rows[2].unit, std::optional<int>(3));
    // The run's station mode is not the window's switch.
    EXPECT_FALSE(QString::fromUtf8(FileBytes(run.settingsPath())).contains(QStringLiteral("[Station]")));
}

TEST(StationBatch, ARefusedFirstBoardIsCountedAndTheNextOneWritten) {
    BatchRunSetup setup;
    setup.name = QStringLiteral("station, refused first");
    setup.simArgs = {QStringLiteral("--model"), QStringLiteral("PL-RZ42-IFB")};
    setup.args << QStringLiteral("--repeat") << QStringLiteral("2");
    setup.trigger = QStringLiteral("Waiting for the next board...");
    setup.action = [](BatchRun& run) { run.swapBoard({}); };
    BatchRun run(setup);
    ASSERT_TRUE(RunAll({&run}, 1, 180000)) << run.error().toStdString();
    EXPECT_EQ(run.exitCode(), 14) << "the refused unit's code" << run.err().toStdString();
    EXPECT_TRUE(run.err().contains(QStringLiteral("unit 1: refused (14)"))) << run.err().toStdString();
    EXPECT_TRUE(run.err().contains(QStringLiteral("unit 2: OK (0)"))) << run.err().toStdString();
    EXPECT_TRUE(run.err().contains(QStringLiteral("units 2: OK 1, NG 1, current 0\n")))
        << run.err().toStdString();
    const QList<UpdateRecord> rows = StoredRecords(run.settingsPath());
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].outcome, QStringLiteral("refused"));
    EXPECT_EQ(rows[0].unit, std::optional<int>(1));
    EXPECT_EQ(rows[1].outcome, QStringLiteral("ok"));
    EXPECT_EQ(rows[1].unit, std::optional<int>(2));
}

}  // namespace
