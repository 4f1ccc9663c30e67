// Batch mode's --auto-join end to end: ifb-updater against the simulated board
// and NetworkManager's mock on a private system bus. What the program did to
// the PC's Wi-Fi is read from the mock.
#include <gtest/gtest.h>

#include <csignal>

#include "BatchRun.h"
#include "NmMock.h"
#include "QtPrinters.h"

using namespace ifb::test;

namespace {

const QString kBoardSsid = QStringLiteral("IFB-OTA-1234");  // the simulator's access point
constexpr quint32 kRunLimitMs = 120000;

QString Transcript(const BatchRun& run) {
    return QStringLiteral("--- stdout\n%1--- stderr\n%2").arg(run.out(), run.err());
}

class BatchAutoJoinTest : public ::testing::Test {
  protected:
    // The office network up on wlan0, the board's access point in range.
    void startOffice(NmMock::Activation activation = NmMock::Activation::Succeeds) {
        ASSERT_TRUE(nm.start(activation)) << nm.error().toStdString();
        wlan0 = nm.addOfficeWithBoard(kBoardSsid).wlan0;
    }
    void run(BatchRun& batch) {
        ASSERT_TRUE(RunAll({&batch}, 1, kRunLimitMs)) << batch.error().toStdString();
        ASSERT_TRUE(batch.finished()) << Transcript(batch).toStdString();
    }
    void expectOfficeBack(const BatchRun& batch) {
        for (const QString& id : nm.connectionIds())
            EXPECT_FALSE(id.startsWith(QStringLiteral("ifb-updater-"))) << id.toStdString();
        EXPECT_EQ(nm.activeOn(wlan0), QStringLiteral("Office"));
        EXPECT_TRUE(batch.out().contains(QStringLiteral("Wi-Fi: wlan0 を前の接続 Office に戻しました。")))
            << Transcript(batch).toStdString();
    }

    NmMock nm;
    QString wlan0;
};

// No --yes and no input: only the join itself can get the run past the
// join question.
TEST_F(BatchAutoJoinTest, JoinsTheBoardByItselfAndGoesBackAfterTheUpdate) {
    startOffice();
    // What a crashed run left behind goes at the start.
    nm.addSavedConnection(QStringLiteral("ifb-updater-IFB-OTA-1234"), {CurrentUserPermission()});
    BatchRunSetup setup;
    setup.name = QStringLiteral("auto-join");
    setup.args = QStringList{QStringLiteral("--batch"), QStringLiteral("--auto-join")};
    setup.shellRedirect = QStringLiteral("<&-");
    BatchRun batch(setup);
    run(batch);
    EXPECT_EQ(batch.exitCode(), 0) << Transcript(batch).toStdString();
    EXPECT_TRUE(batch.out().contains(
        QStringLiteral("Wi-Fi自動接続: wlan0 を「IFB-OTA-1234」に接続しました (前の接続: Office)。")));
    EXPECT_TRUE(batch.err().contains(QStringLiteral("「IFB-OTA-1234」に接続しました (wlan0)。")));
    EXPECT_TRUE(batch.out().contains(QStringLiteral("OK:ファームウェア書き込みが正常に完了しました。")));
    EXPECT_TRUE(batch.out().contains(
        QStringLiteral("Wi-Fi: 前回残った一時接続 ifb-updater-IFB-OTA-1234 を削除しました。")));
    EXPECT_EQ(nm.calls(QStringLiteral("AddAndActivateConnection")).size(), 1);
    EXPECT_EQ(nm.calls(QStringLiteral("ActivateConnection")).size(), 1);
    EXPECT_EQ(nm.calls(QStringLiteral("Delete")).size(), 2);  // the leftover and ours
    expectOfficeBack(batch);
}

// An update that ends in NG (the board never reports the PC) goes back too.
TEST_F(BatchAutoJoinTest, AnNgEndPutsTheOfficeNetworkBack) {
    startOffice();
    BatchRunSetup setup;
    setup.name = QStringLiteral("ng");
    setup.args =
        QStringList{QStringLiteral("--batch"), QStringLiteral("--yes"), QStringLiteral("--auto-join")};
    setup.simArgs = {QStringLiteral("--never-join")};
    setup.settings = {{QStringLiteral("CONECT_WAIT_TIME"), QStringLiteral("1000")}};
    BatchRun batch(setup);
    run(batch);
    EXPECT_EQ(batch.exitCode(), 2) << Transcript(batch).toStdString();
    EXPECT_TRUE(batch.out().contains(QStringLiteral("Not Connection")));
    expectOfficeBack(batch);
}

// Ctrl+C while NetworkManager activates the board's network, and while the
// board has not yet reported the PC: exit 130 and the office network back.
TEST_F(BatchAutoJoinTest, CtrlCDuringOrAfterTheJoinPutsTheOfficeNetworkBack) {
    const struct {
        const char* name;
        NmMock::Activation activation;
        QString trigger;
    } rows[] = {
        {"during the join", NmMock::Activation::NeverFinishes,
         QStringLiteral("「IFB-OTA-1234」に接続しています...")},
        {"waiting for the board", NmMock::Activation::Succeeds,
         QStringLiteral("------- Check WiFi AP Connection ----------")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        NmMock mock;
        ASSERT_TRUE(mock.start(row.activation)) << mock.error().toStdString();
        const QString dev = mock.addWifiDevice(QStringLiteral("wlan0"), NmMock::kActivated);
        mock.addAccessPoint(dev, QStringLiteral("office"), QStringLiteral("Office"));
        mock.addAccessPoint(dev, QStringLiteral("board"), kBoardSsid);
        mock.addActiveWifiConnection(dev, QStringLiteral("Office"), QStringLiteral("Office"));
        BatchRunSetup setup;
        setup.name = QString::fromUtf8(row.name);
        setup.args = QStringList{QStringLiteral("--batch"), QStringLiteral("--auto-join")};
        setup.simArgs = {QStringLiteral("--never-join")};
        setup.settings = {{QStringLiteral("CONECT_WAIT_TIME"), QStringLiteral("60000")}};
        setup.trigger = row.trigger;
        setup.action = [](BatchRun& r) { r.signal(SIGINT); };
        BatchRun batch(setup);
        run(batch);
        EXPECT_EQ(batch.exitCode(), 130) << Transcript(batch).toStdString();
        EXPECT_LT(batch.msAfterTrigger(), 20000);
        for (const QString& id : mock.connectionIds())
            EXPECT_FALSE(id.startsWith(QStringLiteral("ifb-updater-"))) << id.toStdString();
        EXPECT_EQ(mock.activeOn(dev), QStringLiteral("Office"));
        EXPECT_TRUE(batch.out().contains(QStringLiteral("Wi-Fi: wlan0 を前の接続 Office に戻しました。")))
            << Transcript(batch).toStdString();
    }
}

// A join that fails hands over to the manual way: with --yes the connection
// wait runs (the simulated PC joins by itself), without it the question is
// asked and no input answers it with No.
TEST_F(BatchAutoJoinTest, AFailedJoinNamesItsCauseAndFallsBackToTheManualWay) {
    const struct {
        const char* name;
        bool networkManager;
        bool yes;
        QString cause;
        int exitCode;
    } rows[] = {
        {"NetworkManager not running, --yes", false, true,
         QStringLiteral(
             "自動接続できませんでした: ネットワーク管理サービス (NetworkManager) に接続できません。"),
         0},
        {"pass phrase refused, --yes", true, true,
         QStringLiteral("自動接続できませんでした: パスワードが受け付けられませんでした。"), 0},
        {"pass phrase refused, no answer", true, false,
         QStringLiteral("自動接続できませんでした: パスワードが受け付けられませんでした。"), 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        NmMock mock;
        QString dev;
        if (row.networkManager) {
            ASSERT_TRUE(mock.start(NmMock::Activation::AuthRefused)) << mock.error().toStdString();
            dev = mock.addWifiDevice(QStringLiteral("wlan0"), NmMock::kActivated);
            mock.addAccessPoint(dev, QStringLiteral("office"), QStringLiteral("Office"));
            mock.addAccessPoint(dev, QStringLiteral("board"), kBoardSsid);
            mock.addActiveWifiConnection(dev, QStringLiteral("Office"), QStringLiteral("Office"));
        }
        BatchRunSetup setup;
        setup.name = QString::fromUtf8(row.name);
        setup.args = QStringList{QStringLiteral("--batch"), QStringLiteral("--auto-join")};
        if (row.yes) setup.args.append(QStringLiteral("--yes"));
        setup.shellRedirect = QStringLiteral("<&-");
        BatchRun batch(setup);
        run(batch);
        EXPECT_EQ(batch.exitCode(), row.exitCode) << Transcript(batch).toStdString();
        EXPECT_TRUE(batch.err().contains(row.cause)) << Transcript(batch).toStdString();
        if (!row.yes) {
            EXPECT_TRUE(batch.err().contains(QStringLiteral("接続完了後OKを押してください。")));
        }
        if (row.networkManager) {
            for (const QString& id : mock.connectionIds())
                EXPECT_FALSE(id.startsWith(QStringLiteral("ifb-updater-"))) << id.toStdString();
            EXPECT_EQ(mock.activeOn(dev), QStringLiteral("Office"));
            // Put back right after the failed join; the update's end has nothing left.
            EXPECT_EQ(mock.calls(QStringLiteral("ActivateConnection")).size(), 1);
        }
    }
}

}  // namespace
