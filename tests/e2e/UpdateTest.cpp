// The whole firmware write against the simulated board, with our espota.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include "AppHarness.h"
#include "OutcomeLog.h"
#include "QtPrinters.h"
#include "TTComXDlg.h"

using namespace ifb;
using namespace ifb::test;

namespace {

const QString kOkLine = QStringLiteral("OK:ファームウェア書き込みが正常に完了しました。");
const QString kAbortLine = QStringLiteral("NG:ファームウェアの書き込みを中止しました。");

// An upload tool named "espota" that runs ours and then does more.
QString WrapEspota(const QString& folder, const QString& after) {
    return WriteEspotaScript(folder, QStringLiteral("\"$TOOL\" \"$@\"\n") + after);
}

class Update : public ::testing::Test {
  protected:
    // Starts the board and the program up to the ready state.
    void ready(const QStringList& simArgs, const QMap<QString, QString>& extra = {},
               const QString& folder = QStringLiteral("app")) {
        h = std::make_unique<AppHarness>(folder);
        sim = h->bootReady(simArgs, extra);
        ASSERT_TRUE(sim) << h->simError.toStdString();
        before = static_cast<int>(sim->requests().size());
    }
    QStringList requestsSinceReady() const { return sim->requests().mid(before); }
    QString firmwareFile() const { return ProgramFolder(h->exePath) + QStringLiteral("/UOf.bin"); }
    void TearDown() override {
        if (h && h->app) h->app->closeSequence();
    }

    std::unique_ptr<AppHarness> h;
    std::unique_ptr<SimProcess> sim;
    int before = 0;
};

}  // namespace

TEST_F(Update, SuccessReportsTheNewVersionAndRestoresTheMode) {
    ready({});
    h->app->writeCommand();
    ASSERT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok});
    EXPECT_TRUE(h->op.log.lines.contains(QStringLiteral("IFB-ROMVer : 1022IFB00")))
        << h->op.log.lines.join('\n').toStdString();
    EXPECT_EQ(OutcomeLog(h->op.log.lines).last(), kOkLine);
    EXPECT_FALSE(QFileInfo::exists(firmwareFile()));
    EXPECT_FALSE(h->op.writeCommandAvailable);
    EXPECT_TRUE(h->op.mainWindowEnabled);
    EXPECT_TRUE(h->boxes.shown.empty());
    ASSERT_EQ(h->op.joinInstructions.size(), 1u);
    EXPECT_EQ(h->op.joinInstructions[0].caption, QStringLiteral("OTA経由のアップデート開始"));
    EXPECT_EQ(h->op.joinInstructions[0].memoLines, (QStringList{QStringLiteral("SSID      : IFB-OTA-1234"),
                                                                QStringLiteral("Password  : MobirePxUn")}));
    const QStringList r = requestsSinceReady();
    ASSERT_GE(r.size(), 2);
    EXPECT_EQ(r.mid(0, 2), (QStringList{QStringLiteral("GetApInfo"), QStringLiteral("SetOtaMode")}));
    // After the board's verdict: the restart, mode requests until the board answers again, then the
    // read-back and the mode restore.
    QStringList tail = r.mid(r.lastIndexOf(QStringLiteral("GetApInfo")));
    tail = tail.mid(tail.indexOf(QStringLiteral("ESP32_RestartCmd")));
    ASSERT_GE(tail.size(), 2);
    EXPECT_EQ(tail[1], QStringLiteral("GetIFBMode"));
    while (tail.size() > 2 && tail[2] == QStringLiteral("GetIFBMode")) tail.removeAt(2);
    EXPECT_EQ(tail, (QStringList{QStringLiteral("ESP32_RestartCmd"), QStringLiteral("GetIFBMode"),
                                 QStringLiteral("GetModelName"), QStringLiteral("GetRomVersion"),
                                 QStringLiteral("SetIFBMode"), QStringLiteral("ESP32_RestartCmd")}));
    EXPECT_EQ(sim->lastMode(), 3);
    EXPECT_EQ(h->app->session().option.ProgMode, 1);
    // The progress dialogs: connection wait, then the write.
    ASSERT_GE(h->op.progress.size(), 3u);
    EXPECT_EQ(h->op.progress[1].banner, QStringLiteral("------- Check WiFi AP Connection ----------"));
    EXPECT_EQ(h->op.progress[2].banner, QStringLiteral("------- WiFi OTA Mode ----------"));
    EXPECT_GT(h->op.dotUpdates, 0);
    EXPECT_FALSE(h->op.progressIsOpen);
    // Without diagnostic mode no frame bytes reach the log.
    const QRegularExpression hexLine(QStringLiteral("^(RX:)?([0-9A-F]{2} )+"));
    for (const QString& line : h->op.log.lines)
        EXPECT_FALSE(hexLine.match(line).hasMatch()) << line.toStdString();
}

TEST_F(Update, BoardVerdictDecidesTheOutcome) {
    struct Case {
        const char* name;
        QStringList simArgs;
        QString after;  // what the upload tool does after the upload
        QMap<QString, QString> settings;
        UpdateOutcome outcome;
        QString lastLine;
        bool writeAvailable;
    } cases[] = {
        {"board says BR",
         {QStringLiteral("--ota-result"), QStringLiteral("br")},
         QString(),
         {},
         UpdateOutcome::Aborted,
         QStringLiteral("ソフトを再起動し、もう一度書き込みを行ってください。"),
         false},
        {"tool printed Error",
         {},
         QStringLiteral("echo 'upload Error: something'"),
         {},
         UpdateOutcome::Aborted,
         QStringLiteral("ソフトを再起動し、もう一度書き込みを行ってください。"),
         false},
        {"no notice in time",
         {QStringLiteral("--ota-result"), QStringLiteral("none")},
         QString(),
         {{QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("2000")}},
         UpdateOutcome::TimeOut,
         QStringLiteral("接続を確認し、もう一度書き込みを行ってください。"),
         true},
        {"tool printed ERROR, no Wi-Fi address",
         {},
         QStringLiteral("echo '[ERROR]: No response from device'"),
         {},
         UpdateOutcome::ToolFailed,
         kAbortLine,
         false},
        {"notice while the tool still ran",
         {},
         QStringLiteral("sleep 2"),
         {{QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("500")}},
         UpdateOutcome::Ok,
         kOkLine,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto settings = c.settings;
        ready(c.simArgs, settings);
        if (!c.after.isEmpty())
            h->app->session().option.App_ESPOta =
                WrapEspota(h->dir.filePath(QStringLiteral("tool")), c.after);
        h->app->writeCommand();
        EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{c.outcome});
        EXPECT_EQ(OutcomeLog(h->op.log.lines).last(), c.lastLine) << h->op.log.lines.join('\n').toStdString();
        EXPECT_EQ(h->op.writeCommandAvailable, c.writeAvailable);
        EXPECT_FALSE(QFileInfo::exists(firmwareFile()));
        EXPECT_EQ(sim->lastMode(), 3);
        h->app->closeSequence();
    }
}

TEST_F(Update, PcThatNeverJoinsEndsInTimeOut) {
    ready({QStringLiteral("--never-join")}, {{QStringLiteral("CONECT_WAIT_TIME"), QStringLiteral("1500")}});
    h->app->writeCommand();
    EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::TimeOut});
    EXPECT_TRUE(h->op.log.lines.contains(QStringLiteral("Not Connection")));
    EXPECT_TRUE(h->op.writeCommandAvailable);
    EXPECT_FALSE(requestsSinceReady().contains(QStringLiteral("GetRomVersion")));
    EXPECT_EQ(sim->lastMode(), 3);
}

TEST_F(Update, CancelledJoinRestartsTheBoardAndShowsNothing) {
    ready({});
    h->op.joinAnswer = false;
    h->app->writeCommand();
    EXPECT_TRUE(h->op.writeResults.empty());
    EXPECT_TRUE(h->op.writeCommandAvailable);
    EXPECT_TRUE(h->boxes.shown.empty());
    QThread::msleep(100);
    EXPECT_EQ(requestsSinceReady(), (QStringList{QStringLiteral("GetApInfo"), QStringLiteral("SetOtaMode"),
                                                 QStringLiteral("ESP32_RestartCmd")}));
}

TEST_F(Update, UnansweredAccessPointRequestEndsLikeACancel) {
    ready({});
    sim->freeze();
    h->app->writeCommand();
    sim->thaw();
    QThread::msleep(300);
    EXPECT_TRUE(h->op.writeResults.empty());
    EXPECT_TRUE(h->op.joinInstructions.empty());
    EXPECT_TRUE(h->op.writeCommandAvailable);
    EXPECT_EQ(h->op.log.lines, QStringList{QStringLiteral("NG")});
    EXPECT_EQ(requestsSinceReady(),
              (QStringList{QStringLiteral("GetApInfo"), QStringLiteral("ESP32_RestartCmd")}));
}

TEST_F(Update, PerUserFolderHoldsTheFirmwareWhileItIsWritten) {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    ready({}, {{QStringLiteral("binPath_Mode"), QStringLiteral("0")}});
    h->app->enableDiagnosticMode();
    h->app->writeCommand();
    qunsetenv("XDG_DATA_HOME");
    const QString folder = home.filePath(QStringLiteral("korima/ifb-updater"));
    EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok});
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/UOf.bin")));
    // With diagnostic mode the command line is logged; it names the firmware file there.
    const QStringList& log = h->op.log.lines;
    bool named = false;
    for (const QString& line : log) named |= line.contains(folder + QStringLiteral("/UOf.bin"));
    EXPECT_TRUE(named);
    // Diagnostic mode also logs each request frame before it is sent, and the bytes received.
    const qsizetype request = log.lastIndexOf(QStringLiteral("02 00 45 01 90 03 DB 0D "));
    ASSERT_GE(request, 0);
    EXPECT_LT(request, log.lastIndexOf(QStringLiteral("IFB-ROMVer : 1022IFB00")));
    EXPECT_TRUE(log[request + 1].startsWith(QStringLiteral("RX:02 00 30 ")))
        << log[request + 1].toStdString();
}

TEST_F(Update, PathsWithShellCharactersRunAsTheyAre) {
    const QString odd = QStringLiteral("app dir 'q' $HOME;touch pwned");
    ready({}, {}, odd);
    const QString tool = h->dir.filePath(odd + QStringLiteral("/bin `x`/espota"));
    QDir().mkpath(QFileInfo(tool).path());
    ASSERT_TRUE(QFile::link(EspotaPath(), tool));
    h->app->session().option.App_ESPOta = tool;
    h->app->writeCommand();
    EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok});
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("pwned")));
    EXPECT_FALSE(QFileInfo::exists(h->dir.filePath(QStringLiteral("pwned"))));
}

TEST_F(Update, ToolThatHangsOrCrashesEndsInTimeOutWithTheBoardRestored) {
    struct Case {
        const char* name;
        QString after;
        QString line;  // logged besides the outcome lines
    } cases[] = {
        {"hangs", QStringLiteral("sleep 600"), QStringLiteral("NG: espota.exe stopped after 3000ms")},
        {"crashes", QStringLiteral("kill -SEGV $$"), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The board takes the image but never says so.
        ready({QStringLiteral("--ota-result"), QStringLiteral("none")},
              {{QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("2000")}});
        h->app->session().toolTimeLimitMs = 3000;
        h->app->session().option.App_ESPOta = WrapEspota(h->dir.filePath(QStringLiteral("tool")), c.after);
        QElapsedTimer t;
        t.start();
        h->app->writeCommand();
        EXPECT_LT(t.elapsed(), 20000);
        EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::TimeOut});
        if (!c.line.isEmpty()) {
            EXPECT_TRUE(h->op.log.lines.contains(c.line)) << h->op.log.lines.join('\n').toStdString();
        }
        EXPECT_FALSE(QFileInfo::exists(firmwareFile()));
        EXPECT_EQ(sim->lastMode(), 3);
        EXPECT_TRUE(h->op.writeCommandAvailable);
        h->app->closeSequence();
    }
}

TEST_F(Update, FirmwareThatCannotBeWrittenOutAbortsAndStillRestoresTheBoard) {
    ready({});
    // A folder where the file should go: the file cannot be created.
    ASSERT_TRUE(QDir().mkpath(firmwareFile()));
    h->app->writeCommand();
    EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Aborted});
    ASSERT_EQ(h->boxes.shown.size(), 1u);
    EXPECT_TRUE(h->boxes.shown[0].text.contains(QDir::toNativeSeparators(firmwareFile())));
    EXPECT_EQ(h->boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_FALSE(requestsSinceReady().contains(QStringLiteral("GetRomVersion")));
    EXPECT_EQ(sim->lastMode(), 3);
    EXPECT_EQ(OutcomeLog(h->op.log.lines).last(),
              QStringLiteral("ソフトを再起動し、もう一度書き込みを行ってください。"));
}

TEST_F(Update, BoardBootingTheNewImageIsWaitedForBeforeItsVersionIsRead) {
    struct Case {
        const char* name;
        QString bootMs;      // the board's quiet time after the restart into the new image
        QString chkIfbTime;  // bounds the wait for it
        UpdateOutcome outcome;
        bool versionRead;
    } cases[] = {
        {"boots in 0.3 s", QStringLiteral("300"), QStringLiteral("10000"), UpdateOutcome::Ok, true},
        {"boots in 3.5 s", QStringLiteral("3500"), QStringLiteral("10000"), UpdateOutcome::Ok, true},
        {"never comes back", QStringLiteral("600000"), QStringLiteral("2000"), UpdateOutcome::Aborted, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ready({QStringLiteral("--update-boot-ms"), c.bootMs},
              {{QStringLiteral("CHK_IFB_TIME"), c.chkIfbTime}});
        QElapsedTimer t;
        t.start();
        h->app->writeCommand();
        EXPECT_LT(t.elapsed(), 20000);
        EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{c.outcome});
        EXPECT_EQ(h->op.log.lines.contains(QStringLiteral("IFB-ROMVer : 1022IFB00")), c.versionRead)
            << h->op.log.lines.join('\n').toStdString();
        if (c.versionRead) {
            EXPECT_EQ(OutcomeLog(h->op.log.lines).last(), kOkLine);
            // The close sequence finds the board up after the update's own restart: its restore is
            // answered, so a restart follows it.
            h->app->closeSequence();
            const QStringList r = sim->requests();
            EXPECT_EQ(r.mid(r.size() - 2),
                      (QStringList{QStringLiteral("SetIFBMode"), QStringLiteral("ESP32_RestartCmd")}));
            EXPECT_EQ(sim->lastMode(), 3);
        }
        h->app->closeSequence();
    }
}
