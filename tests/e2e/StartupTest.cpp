// The start-up and close sequences against the simulated board.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include "AppHarness.h"
#include "QtPrinters.h"
#include "TTComXDlg.h"

using namespace ifb;
using namespace ifb::test;

namespace {

const QString kNoBoard = QStringLiteral(
    "I/"
    "Fボードの接続を確認できませんでした。\n\n接続と設定の確認およびソフトと接続製品を再起動してください。");
const QString kUsbQuestion = QStringLiteral(
    "I/Fボードに接続できませんでした。\n\n動作モードをUSBモードに変更して再接続しますか。\n"
    "※ ソフト終了時に手動で動作モードを再選択する必要があります。\n※ "
    "接続検証に最長2分程かかる場合があります。");
const QString kUsbModeLeft = QStringLiteral(
    "動作モードが「USBモード」に切り替わっています。\n\n設定ツールで任意のモードに切り替えてください。");
const QString kFirmwareFault = QStringLiteral(
    "ファームウェアの異常を検出しました。\n\n接続の確認およびソフトと接続製品を再起動してください。");

const QString kModeRestoreSkipped =
    QStringLiteral("動作モードを読み取れなかったため、動作モードを戻しません。");

const QStringList kCheckRequests{QStringLiteral("GetIFBMode"),       QStringLiteral("SetIFBMode"),
                                 QStringLiteral("ESP32_RestartCmd"), QStringLiteral("GetWiFiConfig"),
                                 QStringLiteral("GetWiFiConfig"),    QStringLiteral("GetTCPIPParam")};
const QStringList kIdentify{QStringLiteral("GetRomVersion"), QStringLiteral("GetModelName"),
                            QStringLiteral("GetTargetId")};
const QStringList kRestore{QStringLiteral("SetIFBMode"), QStringLiteral("ESP32_RestartCmd")};

MessageBoxRequest errorBox(const QString& text, std::optional<QString> caption = std::nullopt) {
    return {text, std::move(caption), MsgIcon::Error, MsgButtons::Ok, MsgOwner::MainWindow};
}

class Startup : public ::testing::Test {
  protected:
    void boot(const QStringList& simArgs, const QMap<QString, QString>& extra = {}) {
        sim = h.boot(simArgs, extra);
        ASSERT_TRUE(sim) << h.simError.toStdString();
    }
    // Runs start-up and close as the window would.
    StartupResult runThrough() {
        const StartupResult r = h.app->startUp();
        h.app->closeSequence();
        return r;
    }

    AppHarness h;
    std::unique_ptr<SimProcess> sim;
};

}  // namespace

TEST_F(Startup, SuccessfulStartShowsThreeLinesAndRestoresTheModeAtClose) {
    boot({});
    EXPECT_EQ(h.app->startUp(), StartupResult::Ready);
    EXPECT_EQ(h.op.log.lines,
              (QStringList{QStringLiteral("IFB-ROMVer : 1021IFB00"),
                           QStringLiteral("IFB-ModelName : PL-RZ41-IFB"), QStringLiteral("ID : 1234")}));
    EXPECT_TRUE(h.boxes.shown.empty());
    EXPECT_FALSE(h.op.closeRequested);
    EXPECT_EQ(h.op.firmwareVersionShown, QStringLiteral("Ver : 1022IFB00"));
    EXPECT_EQ(h.op.espotaPathShown, EspotaPath());
    EXPECT_TRUE(h.op.mainWindowEnabled);
    EXPECT_EQ(h.app->session().SavedBoardMode, 3);
    EXPECT_EQ(sim->requests(), kCheckRequests + kIdentify);
    // USB mode with the default settings, then a restart.
    EXPECT_EQ(sim->requestFrames()[1], QStringLiteral("02 00 45 03 01 00 00 03 4E 0D"));

    h.app->closeSequence();
    EXPECT_EQ(sim->requests(), kCheckRequests + kIdentify + kRestore);
    EXPECT_EQ(sim->lastMode(), 3);
    const QString ini = h.settingsText();
    EXPECT_TRUE(ini.contains(QStringLiteral("fNoVerCheck=0\n"))) << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("OldDousaMode=3\n")));
    EXPECT_TRUE(ini.contains(QStringLiteral("ComPort=") + sim->linkPath() + QLatin1Char('\n')));
    EXPECT_TRUE(ini.contains(QStringLiteral("[ComDebug]")));
    EXPECT_TRUE(ini.contains(QStringLiteral("BaudRate=115200\n")));
}

TEST_F(Startup, VerboseClassIsHiddenUntilDiagnosticMode) {
    boot({});
    h.app->enableDiagnosticMode();
    ASSERT_EQ(h.app->startUp(), StartupResult::Ready);
    const QStringList& log = h.op.log.lines;
    EXPECT_TRUE(log.contains(QStringLiteral("OK: GetIFBMode")));
    EXPECT_TRUE(log.contains(QStringLiteral("OK: ESP32_RestartCmd")));
    EXPECT_TRUE(log.contains(QStringLiteral("Find VX7 IFB")));
    EXPECT_TRUE(log.contains(QStringLiteral("COM Port : ") + sim->linkPath()));
    EXPECT_TRUE(log.contains(QStringLiteral("COM Speed: 115200bps")));
    h.app->closeSequence();
}

TEST_F(Startup, WithoutUsbChangeTheBoardIsOnlyRestartedTwice) {
    boot({}, {{QStringLiteral("USBchange"), QStringLiteral("0")}});
    ASSERT_EQ(h.app->startUp(), StartupResult::Ready);
    EXPECT_EQ(sim->requests().mid(0, 3),
              (QStringList{QStringLiteral("GetIFBMode"), QStringLiteral("ESP32_RestartCmd"),
                           QStringLiteral("ESP32_RestartCmd")}));
    h.app->closeSequence();
}

TEST_F(Startup, BoardAnsweringTheSecondModeRequestIsFound) {
    boot({QStringLiteral("--ignore-first"), QStringLiteral("1")});
    EXPECT_EQ(h.app->startUp(), StartupResult::Ready);
    EXPECT_EQ(sim->requests().mid(0, 3),
              (QStringList{QStringLiteral("GetIFBMode"), QStringLiteral("GetIFBMode"),
                           QStringLiteral("SetIFBMode")}));
    h.app->closeSequence();
}

TEST_F(Startup, SilentBoardAnsweredNoEndsAfterTheFailureBox) {
    boot({QStringLiteral("--silent")});
    h.boxes.answers = {MsgAnswer::No};
    EXPECT_EQ(runThrough(), StartupResult::BoardNotFound);
    ASSERT_EQ(h.boxes.shown.size(), 2u);
    EXPECT_EQ(h.boxes.shown[0],
              (MessageBoxRequest{kUsbQuestion, QStringLiteral("USBモードでの実行"), MsgIcon::Warning,
                                 MsgButtons::YesNo, MsgOwner::MainWindow}));
    EXPECT_EQ(h.boxes.shown[1], errorBox(kNoBoard));
    EXPECT_TRUE(h.op.closeRequested);
    // The mode was never read: the close sequence sends nothing after the two mode requests, and says so.
    EXPECT_EQ(sim->requests(), (QStringList{QStringLiteral("GetIFBMode"), QStringLiteral("GetIFBMode")}));
    EXPECT_EQ(h.op.log.lines, QStringList{kModeRestoreSkipped});
}

TEST_F(Startup, ModeNeverReadIsNotRestoredOnABoardThatAnswersLater) {
    // The board refuses the two mode reads, then answers everything; the operator answers No.
    boot({QStringLiteral("--ignore-first"), QStringLiteral("2")});
    h.boxes.answers = {MsgAnswer::No};
    EXPECT_EQ(runThrough(), StartupResult::BoardNotFound);
    EXPECT_EQ(sim->requests(), (QStringList{QStringLiteral("GetIFBMode"), QStringLiteral("GetIFBMode")}));
    EXPECT_EQ(sim->lastMode(), -1) << "the board's mode was changed";
    EXPECT_EQ(h.op.log.lines, QStringList{kModeRestoreSkipped});
}

TEST_F(Startup, LinkThatNeverOpenedRestoresNothingAfterAnEarlierRun) {
    // An earlier run left fNoVerCheck 0; this time the port does not open.
    boot({}, {{QStringLiteral("fNoVerCheck"), QStringLiteral("0")}});
    h.op.portDialogEdit = [&](PortDialogResult& r) {
        r.items = QStringList{h.dir.filePath(QStringLiteral("gone/ttyQ")) + QStringLiteral("(none)")};
        r.selectedIndex = 0;
    };
    EXPECT_EQ(runThrough(), StartupResult::BoardNotFound);
    EXPECT_TRUE(sim->requests().isEmpty());
    EXPECT_EQ(h.op.log.lines, QStringList{kModeRestoreSkipped});
}

TEST_F(Startup, NegativeCheckTimeIsUsedAsItsMinimumAndSaidSo) {
    // Through the unsigned cast -1 would have kept the check waiting for weeks.
    boot({QStringLiteral("--silent")}, {{QStringLiteral("CHK_IFB_TIME"), QStringLiteral("-1")}});
    h.boxes.answers = {MsgAnswer::No};
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(runThrough(), StartupResult::BoardNotFound);
    EXPECT_LT(t.elapsed(), 5000);
    ASSERT_FALSE(h.op.log.lines.isEmpty());
    EXPECT_EQ(h.op.log.lines[0], QStringLiteral("設定 CHK_IFB_TIME=-1 は範囲外です。100ms で動作します。"));
    EXPECT_TRUE(h.settingsText().contains(QStringLiteral("\nCHK_IFB_TIME=100\n")));
}

TEST_F(Startup, UsbModeFallbackTriesTwiceAndTheCloseShowsTheNotice) {
    // The board ignores the two mode requests, the restart after them and the
    // first USB-mode attempt; it answers the restart after that attempt.
    boot({QStringLiteral("--ignore-first"), QStringLiteral("4")},
         {{QStringLiteral("USBWait_Mode"), QStringLiteral("0")}});
    h.boxes.answers = {MsgAnswer::Yes};
    EXPECT_EQ(h.app->startUp(), StartupResult::Ready);
    EXPECT_TRUE(h.app->session().UsbModeRun);
    EXPECT_EQ(h.app->session().SavedBoardMode, 0);
    EXPECT_EQ(sim->requests().mid(0, 7),
              (QStringList{QStringLiteral("GetIFBMode"), QStringLiteral("GetIFBMode"),
                           QStringLiteral("ESP32_RestartCmd"), QStringLiteral("SetIFBMode"),
                           QStringLiteral("ESP32_RestartCmd"), QStringLiteral("SetIFBMode"),
                           QStringLiteral("GetWiFiConfig")}));
    const int before = static_cast<int>(sim->requests().size());
    h.app->closeSequence();
    EXPECT_EQ(sim->requests().mid(before), QStringList{QStringLiteral("ESP32_RestartCmd")});
    ASSERT_EQ(h.boxes.shown.size(), 2u);
    EXPECT_EQ(h.boxes.shown[1],
              (MessageBoxRequest{kUsbModeLeft, QStringLiteral("動作モードの再設定"), MsgIcon::Information,
                                 MsgButtons::Ok, MsgOwner::MainWindow}));
}

TEST_F(Startup, BoardLostAfterTheCheckFailsTheStepThatNeedsIt) {
    struct Case {
        int answered;
        StartupResult result;
        QString logLine;
        MessageBoxRequest box;
    } cases[] = {
        {6, StartupResult::RomVersionFailed, QStringLiteral("IFB-ROMVer : 取得失敗"),
         errorBox(kFirmwareFault)},
        {7, StartupResult::ModelNameFailed, QStringLiteral("IFB-ModelName : 取得失敗"),
         errorBox(QStringLiteral(
             "モデル名を認識できませんでした。\n\n接続の確認およびソフトと接続製品を再起動してください。"))},
        {8, StartupResult::TargetIdFailed, QStringLiteral("IFB-ModelName : PL-RZ41-IFB"),
         errorBox(kFirmwareFault)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answered);
        h.boxes.shown.clear();
        h.op.log.lines.clear();
        boot({QStringLiteral("--hangup-after"), QString::number(c.answered)});
        EXPECT_EQ(runThrough(), c.result);
        ASSERT_FALSE(h.op.log.lines.isEmpty());
        EXPECT_EQ(h.op.log.lines.last(), c.logLine);
        ASSERT_EQ(h.boxes.shown.size(), 1u);
        EXPECT_EQ(h.boxes.shown[0], c.box);
        EXPECT_TRUE(h.op.closeRequested);
    }
}

TEST_F(Startup, ModelOfAnotherBuildIsRejected) {
    boot({QStringLiteral("--model"), QStringLiteral("PL-RZ42-IFB")});
    EXPECT_EQ(runThrough(), StartupResult::ModelRejected);
    ASSERT_EQ(h.boxes.shown.size(), 1u);
    EXPECT_EQ(
        h.boxes.shown[0],
        errorBox(QStringLiteral("対応外のI/Fボードです。\n\nお使いのI/Fボード対応のツールをお使いください。"),
                 QStringLiteral("エラー")));
    EXPECT_EQ(sim->requests().mid(sim->requests().size() - 2), kRestore);
}

TEST(ModelCheck, SelectModelTable) {
    struct Case {
        const char* model;
        int selectModel;
        bool accepted;
    } cases[] = {
        {"PL-RZ41-IFB", 1, true}, {"X PL-RZ41", 1, true},    {"PL-RZ42-IFB", 1, false}, {"pl-rz41", 1, false},
        {"PL-RZ42-IFB", 0, true}, {"PL-RZ41-IFB", 0, false}, {"anything", 2, true},     {"", 7, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ModelAccepted(QString::fromLatin1(c.model), c.selectModel), c.accepted) << c.model;
}

TEST_F(Startup, CancelledPortDialogCreatesNoLink) {
    boot({});
    h.op.portDialogOpens = false;
    EXPECT_EQ(runThrough(), StartupResult::BoardNotFound);
    EXPECT_EQ(h.app->link(), nullptr);
    EXPECT_TRUE(h.op.closeRequested);
    EXPECT_TRUE(sim->requests().isEmpty());
    ASSERT_EQ(h.op.portDialogSetups.size(), 1u);
    EXPECT_EQ(h.op.portDialogSetups[0].caption, QStringLiteral("シリアルポートのオープン"));
    EXPECT_EQ(h.op.portDialogSetups[0].speedItem, 4);
    EXPECT_FALSE(h.settingsText().contains(QStringLiteral("[ComDebug]")));
}

TEST_F(Startup, PortThatDoesNotOpenShowsTheLinksMessageFirst) {
    boot({});
    const QString missing = h.dir.filePath(QStringLiteral("gone/ttyQ"));
    h.op.portDialogEdit = [&](PortDialogResult& r) {
        r.items = QStringList{missing + QStringLiteral("(none)")};
        r.selectedIndex = 0;
    };
    h.app->enableDiagnosticMode();
    EXPECT_EQ(runThrough(), StartupResult::BoardNotFound);
    ASSERT_EQ(h.boxes.shown.size(), 2u);
    EXPECT_EQ(h.boxes.shown[0].text,
              missing + QStringLiteral(
                            "がオープン出来ません!!\n\n  ポート及びパラメータ設定を再確認してください。"));
    EXPECT_EQ(h.boxes.shown[1], errorBox(kNoBoard));
    EXPECT_TRUE(h.op.log.lines.contains(QStringLiteral("NG: Port Open")));
    EXPECT_TRUE(sim->requests().isEmpty());
}

TEST_F(Startup, MissingUploadToolGivenUpEndsWithoutErrorBoxAndRestoresTheBoard) {
    boot({}, {{QStringLiteral("App_ESPOta"), QStringLiteral("/nonexistent/espota")}});
    h.op.espotaAnswers = {std::nullopt, std::nullopt};
    h.boxes.answers = {MsgAnswer::No, MsgAnswer::Yes};
    EXPECT_EQ(runThrough(), StartupResult::EspotaNotChosen);
    EXPECT_EQ(h.op.espotaDialogPaths.size(), 2);
    ASSERT_EQ(h.boxes.shown.size(), 2u);
    for (const auto& box : h.boxes.shown)
        EXPECT_EQ(box.caption, QStringLiteral("ファームウェア書き込みの中止"));
    EXPECT_EQ(sim->requests().mid(sim->requests().size() - 2), kRestore);
    EXPECT_EQ(sim->lastMode(), 3);
}

TEST_F(Startup, CloseWhenTheBoardNoLongerAnswersStillEnds) {
    boot({});
    ASSERT_EQ(h.app->startUp(), StartupResult::Ready);
    sim->freeze();
    QElapsedTimer t;
    t.start();
    h.app->closeSequence();
    EXPECT_GE(t.elapsed(), 1900);
    EXPECT_EQ(h.app->link(), nullptr);
    sim->thaw();
    QThread::msleep(300);
    // The mode request reached the board only after it stopped waiting; no restart followed.
    EXPECT_EQ(sim->requests().last(), QStringLiteral("SetIFBMode"));
    EXPECT_TRUE(h.boxes.shown.empty());
}

TEST(StartupPath, NonAsciiProgramFolderStopsBeforeTouchingTheBoard) {
    AppHarness h(QStringLiteral("アップデート"));
    SimProcess sim;
    ASSERT_TRUE(sim.start());
    h.writeSettings(h.settingsFor(sim));
    h.makeApp();
    EXPECT_EQ(h.app->startUp(), StartupResult::PathCheckFailed);
    h.app->closeSequence();
    ASSERT_EQ(h.boxes.shown.size(), 1u);
    EXPECT_TRUE(h.boxes.shown[0].text.startsWith(h.exePath +
                                                 QStringLiteral("\n\n上記のアップデートツール実行パスに")));
    EXPECT_EQ(h.boxes.shown[0].caption, QStringLiteral("実行パスのエラー"));
    EXPECT_TRUE(h.op.portDialogSetups.empty());
    EXPECT_EQ(h.app->link(), nullptr);
    EXPECT_TRUE(sim.requests().isEmpty());
}

// An installed program (its uploader in libexec beside bin) whose user has a
// config folder of its own: the files go there, and the bundled uploader is
// the upload tool when the settings name none.
TEST(InstalledProgram, KeepsItsFilesInTheUsersFoldersAndStartsWithItsOwnUploader) {
    AppHarness h(QStringLiteral("usr/bin"));
    const QString tool = h.dir.filePath(QStringLiteral("usr/libexec/ifb-updater/espota"));
    QDir().mkpath(QFileInfo(tool).path());
    ASSERT_TRUE(QFile::link(BinPath(QStringLiteral("espota")), tool));
    const QString config = h.dir.filePath(QStringLiteral("home/config"));
    const QString data = h.dir.filePath(QStringLiteral("home/data"));
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    qputenv("XDG_DATA_HOME", data.toUtf8());
    h.settingsPath = config + QStringLiteral("/Vardelintool/ifb-updater.ini");

    SimProcess sim(QStringList{});
    ASSERT_TRUE(sim.start()) << sim.error().toStdString();
    QMap<QString, QString> settings = h.settingsFor(sim);
    settings.remove(QStringLiteral("App_ESPOta"));
    h.writeSettings(settings);
    h.makeApp();
    const StartupResult started = h.app->startUp();
    h.app->closeSequence();
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");

    EXPECT_EQ(started, StartupResult::Ready);
    EXPECT_EQ(h.op.log.lines.mid(0, 2), (QStringList{QStringLiteral("設定ファイル: ") + h.settingsPath,
                                                     QStringLiteral("ファームウェアの一時ファイルの場所: ") +
                                                         data + QStringLiteral("/Vardelintool")}));
    EXPECT_TRUE(h.op.espotaDialogPaths.isEmpty());
    EXPECT_EQ(h.op.espotaPathShown, QDir::cleanPath(tool));
    EXPECT_TRUE(h.settingsText().contains(QStringLiteral("App_ESPOta=") + QDir::cleanPath(tool) + '\n'))
        << h.settingsText().toStdString();
    EXPECT_TRUE(h.settingsText().contains(QStringLiteral("fNoVerCheck=0\n")));
    EXPECT_EQ(sim.lastMode(), 3);
    EXPECT_FALSE(QFileInfo::exists(h.dir.filePath(QStringLiteral("usr/bin/Vardelintool"))));
}
