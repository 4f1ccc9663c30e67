// The records of real runs against the simulated board: one row per update or
// refused board in the records file beside the settings, written before the
// result is shown; the session log file; records or log failures that never
// change the update.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>

#include "AppHarness.h"
#include "FirmwareResource.h"
#include "QtPrinters.h"
#include "RecordStore.h"
#include "TestFiles.h"

using namespace ifb;
using namespace ifb::test;

namespace {

const QString kOtaPassword = QStringLiteral("QN5KDL4072");

QString Sha256Of(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

class Records : public ::testing::Test {
  protected:
    void TearDown() override {
        if (h && h->app) h->app->closeSequence();
    }
    QString recordsPath() const { return RecordsFileBeside(h->settingsPath); }
    // Every record in the file, read by a connection of its own.
    QList<UpdateRecord> stored() const {
        RecordStore store(recordsPath());
        return store.open() ? store.page({}, 0, 1000) : QList<UpdateRecord>{};
    }
    QString logText() const { return h->op.log.lines.join('\n'); }
    QString sessionLogText() const {
        QString all;
        const QDir logs(QFileInfo(h->settingsPath).path() + QStringLiteral("/logs"));
        for (const QString& name : logs.entryList({QStringLiteral("*.log")}, QDir::Files))
            all += QString::fromUtf8(FileBytes(logs.filePath(name)));
        return all;
    }
    int linesContaining(const QString& text) const {
        return static_cast<int>(std::count_if(h->op.log.lines.begin(), h->op.log.lines.end(),
                                              [&](const QString& l) { return l.contains(text); }));
    }

    std::unique_ptr<AppHarness> h;
    std::unique_ptr<SimProcess> sim;
};

TEST_F(Records, EachUpdateLeavesOneRowWithEveryColumnRight) {
    bool found = false;
    const QByteArray image = LoadFirmware(QStringLiteral("1022IFB00"), &found);
    ASSERT_TRUE(found);
    struct Case {
        const char* name;
        QStringList simArgs;
        QString toolAfter;
        QMap<QString, QString> settings;
        const char* outcome;
        int code;
        const char* romAfter;
        const char* ngCode;
    } cases[] = {
        {"ok", {}, QString(), {}, "ok", 0, "1022IFB00", ""},
        {"version differs",
         {QStringLiteral("--rom-after-update"), QStringLiteral("1022IFB01")},
         QString(),
         {},
         "aborted",
         1,
         "1022IFB01",
         "NG-B03"},
        {"no verdict",
         {QStringLiteral("--ota-result"), QStringLiteral("none")},
         QString(),
         {{QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("2000")}},
         "timeout",
         2,
         "",
         "NG-B02"},
        {"tool failed",
         {},
         QStringLiteral("echo '[ERROR]: No response from device'"),
         {},
         "tool_failed",
         3,
         "",
         "NG-U04"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        h = std::make_unique<AppHarness>();
        sim = h->bootReady(c.simArgs, c.settings);
        ASSERT_TRUE(sim) << h->simError.toStdString();
        if (!c.toolAfter.isEmpty())
            h->app->session().option.App_ESPOta = WriteEspotaScript(
                h->dir.filePath(QStringLiteral("tool")), QStringLiteral("\"$TOOL\" \"$@\"\n") + c.toolAfter);
        // The record is in the file when the result dialog opens.
        QList<UpdateRecord> atResult;
        h->op.onWriteResult = [&](UpdateOutcome) { atResult = stored(); };
        const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
        h->app->writeCommand();
        const QDateTime after = QDateTime::currentDateTimeUtc().addMSecs(1);
        ASSERT_EQ(atResult.size(), 1) << logText().toStdString();
        const QList<UpdateRecord> rows = stored();
        ASSERT_EQ(rows.size(), 1);
        const UpdateRecord& r = rows[0];
        EXPECT_EQ(r.uuid, atResult[0].uuid);
        EXPECT_TRUE(QRegularExpression(
                        QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[0-9a-f]{4}-[0-9a-f]{12}$"))
                        .match(r.uuid)
                        .hasMatch())
            << r.uuid.toStdString();
        EXPECT_GE(r.startedAt, before);
        EXPECT_LE(r.finishedAt, after);
        EXPECT_EQ(r.finishedAt, r.startedAt.addMSecs(r.durationMs));
        EXPECT_GT(r.durationMs, 0);
        EXPECT_EQ(r.station, QSysInfo::machineHostName());
        EXPECT_EQ(r.operatorName, qEnvironmentVariable("USER", qEnvironmentVariable("LOGNAME")));
        EXPECT_FALSE(r.programVersion.isEmpty());
        EXPECT_EQ(r.firmwareId, QStringLiteral("1022IFB00"));
        EXPECT_EQ(r.imageSha256, Sha256Of(image));
        EXPECT_EQ(r.imageSize, image.size());
        EXPECT_EQ(r.port, sim->linkPath());
        EXPECT_EQ(r.model, QStringLiteral("PL-RZ41-IFB"));
        EXPECT_EQ(r.targetId, QStringLiteral("1234"));
        EXPECT_EQ(r.romBefore, QStringLiteral("1021IFB00"));
        EXPECT_EQ(r.romAfter, QString::fromLatin1(c.romAfter));
        EXPECT_EQ(r.outcome, QString::fromLatin1(c.outcome));
        EXPECT_EQ(r.outcomeCode, std::optional<int>(c.code));
        EXPECT_EQ(r.ngCode, QString::fromLatin1(c.ngCode));
        // Every stage the update went through, in whole milliseconds that add up to no more
        // than the whole (each may have been rounded up by one).
        const QJsonObject stages = QJsonDocument::fromJson(r.stages.toUtf8()).object();
        EXPECT_TRUE(stages.contains(QStringLiteral("Wi-Fi接続待ち"))) << r.stages.toStdString();
        EXPECT_TRUE(stages.contains(QStringLiteral("転送"))) << r.stages.toStdString();
        qint64 staged = 0;
        for (const QJsonValue& ms : stages) staged += ms.toInteger(-1000000);
        EXPECT_GE(staged, 0);
        EXPECT_LE(staged, r.durationMs + stages.size());
        EXPECT_EQ(r.uploader, h->app->session().option.App_ESPOta);
        EXPECT_EQ(r.uploaderSha256, Sha256Of(FileBytes(r.uploader)));
        // Known once the board has taken the whole image.
        if (c.code == 0 || c.code == 1) {
            EXPECT_EQ(r.bytesSent, std::optional<qint64>(image.size()));
        } else {
            EXPECT_FALSE(r.bytesSent.has_value());
        }
        EXPECT_FALSE(r.syncedAt.has_value());
        EXPECT_EQ(r.logFile, QStringLiteral("logs/") + QDate::currentDate().toString(Qt::ISODate) +
                                 QStringLiteral(".log"));
        EXPECT_TRUE(QFile::exists(QFileInfo(recordsPath()).path() + QLatin1Char('/') + r.logFile));
        // Without an NG the code is NULL in the file itself, not an empty text.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("probe"));
            db.setDatabaseName(recordsPath());
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(QStringLiteral("SELECT ng_code IS NULL, synced_at IS NULL FROM updates")));
            ASSERT_TRUE(q.next());
            EXPECT_EQ(q.value(0).toBool(), c.code == 0);
            EXPECT_TRUE(q.value(1).toBool());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("probe"));
        h->app->closeSequence();
        h.reset();
    }
}

TEST_F(Records, RefusedBoardIsRecordedBeforeItsBox) {
    h = std::make_unique<AppHarness>();
    sim = h->boot({QStringLiteral("--model"), QStringLiteral("PL-RZ42-IFB")});
    ASSERT_TRUE(sim) << h->simError.toStdString();
    QList<UpdateRecord> atBox;
    h->boxes.onShow = [&](const MessageBoxRequest&) { atBox = stored(); };
    EXPECT_EQ(h->app->startUp(), StartupResult::ModelRejected);
    ASSERT_EQ(atBox.size(), 1);
    const UpdateRecord& r = atBox[0];
    EXPECT_EQ(r.outcome, QStringLiteral("refused"));
    EXPECT_FALSE(r.outcomeCode.has_value());
    EXPECT_EQ(r.model, QStringLiteral("PL-RZ42-IFB"));
    EXPECT_EQ(r.romBefore, QStringLiteral("1021IFB00"));
    EXPECT_EQ(r.romAfter, QString());
    EXPECT_EQ(r.targetId, QString());
    EXPECT_EQ(r.port, sim->linkPath());
}

TEST_F(Records, BoardTextsWithControlCharactersQuotesAndHighBytesAreKeptWhole) {
    // Bytes as a board may send them: a comma, quotes, a line break, a control
    // character and bytes over 0x7F.
    const QString model = QStringLiteral("PL-RZ41,\"x\"\x01\nü");
    h = std::make_unique<AppHarness>();
    sim = h->bootReady({QStringLiteral("--model"), model});
    ASSERT_TRUE(sim) << h->simError.toStdString();
    const QString shownModel = h->app->session().ModelName;
    h->app->writeCommand();
    EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok});
    const QList<UpdateRecord> rows = stored();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].model, shownModel);
    EXPECT_TRUE(rows[0].model.contains(QStringLiteral("\"x\""))) << rows[0].model.toStdString();
}

TEST_F(Records, SessionLogHoldsEveryPaneLineWithClassAndTimeButNeverThePassword) {
    h = std::make_unique<AppHarness>();
    sim = h->bootReady({});
    ASSERT_TRUE(sim) << h->simError.toStdString();
    h->app->enableDiagnosticMode();
    h->app->writeCommand();
    ASSERT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok});
    // The pane shows the command line with the password in diagnostic mode ...
    EXPECT_TRUE(logText().contains(QStringLiteral("--auth=") + kOtaPassword));
    const QString file = sessionLogText();
    // ... the file never.
    EXPECT_FALSE(file.contains(kOtaPassword));
    EXPECT_TRUE(file.contains(QStringLiteral("--auth=********"))) << file.toStdString();
    const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d) "
                       "(always |verbose|trace  |tool   ) .*$"));
    for (const QString& line : file.split('\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
    for (const char* expected : {" always  OK:ファームウェア書き込みが正常に完了しました。",
                                 " verbose OK: Program Update", " always  IFB-ROMVer : 1022IFB00"}) {
        EXPECT_TRUE(file.contains(QString::fromUtf8(expected))) << expected;
    }
    EXPECT_TRUE(file.contains(QStringLiteral(" trace   ")));
    EXPECT_TRUE(file.contains(QStringLiteral(" tool    ")));
    // Every pane line is in the file, in order; the pane's clearing at 2000
    // lines leaves the file alone.
    const int fileLines = static_cast<int>(file.count('\n'));
    EXPECT_GE(fileLines, static_cast<int>(h->op.log.lines.size()));
    for (int i = 0; i < 2100; ++i) h->app->log().WriteLog(QStringLiteral("filler %1").arg(i), true);
    EXPECT_LT(h->op.log.lines.size(), 2000);
    const QString after = sessionLogText();
    EXPECT_TRUE(after.startsWith(file));
    EXPECT_TRUE(after.contains(QStringLiteral(" always  filler 0\n")));
    EXPECT_TRUE(after.contains(QStringLiteral(" always  filler 2099\n")));
}

// A records file that cannot take the record: the update runs and ends as
// without records, the board gets its mode back, the log says so once.
TEST_F(Records, UnusableRecordsFileNeverChangesTheUpdate) {
    struct Case {
        const char* name;
        std::function<void(const QString& recordsPath)> spoil;
    };
    std::unique_ptr<QProcess> locker;
    const Case cases[] = {
        {"corrupt file",
         [](const QString& path) {
             QFile f(path);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(QByteArray(8192, 'x'));
         }},
        {"locked by another process",
         [&locker](const QString& path) {
             {
                 RecordStore store(path);
                 ASSERT_TRUE(store.open());
             }
             locker = std::make_unique<QProcess>();
             locker->start(QStringLiteral("sqlite3"), {path});
             ASSERT_TRUE(locker->waitForStarted()) << "sqlite3 missing";
             locker->write(
                 "BEGIN EXCLUSIVE; INSERT INTO updates (uuid, started_at, finished_at, outcome) "
                 "VALUES ('lock', '', '', 'ok'); SELECT 'held';\n");
             ASSERT_TRUE(locker->waitForReadyRead(5000));
         }},
        {"records path taken by a folder", [](const QString& path) { QDir().mkpath(path); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        h = std::make_unique<AppHarness>();
        MakeFolder(ProgramFolder(h->exePath));
        c.spoil(RecordsFileBeside(h->settingsPath));
        sim = h->bootReady({});
        ASSERT_TRUE(sim) << h->simError.toStdString();
        h->app->writeCommand();
        EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok})
            << logText().toStdString();
        EXPECT_TRUE(
            h->op.log.lines.contains(QStringLiteral("OK:ファームウェア書き込みが正常に完了しました。")));
        h->app->closeSequence();
        EXPECT_EQ(sim->lastMode(), 3) << "the board's mode is restored";
        // Counted in the session log: the pane starts empty after the start-up.
        const int told = static_cast<int>(sessionLogText().count(QStringLiteral("記録ファイル")));
        if (QString::fromLatin1(c.name) == QLatin1String("corrupt file")) {
            // Set aside, and the records go on in a new file.
            EXPECT_EQ(told, 2) << sessionLogText().toStdString();  // the message names it twice
            EXPECT_EQ(stored().size(), 1);
            QStringList aside = QDir(QFileInfo(recordsPath()).path())
                                    .entryList({QStringLiteral("records.sqlite.damaged-*")}, QDir::Files);
            ASSERT_EQ(aside.size(), 1);
            EXPECT_EQ(FileBytes(QFileInfo(recordsPath()).path() + '/' + aside[0]), QByteArray(8192, 'x'));
        } else {
            EXPECT_EQ(told, 1) << sessionLogText().toStdString();
            EXPECT_EQ(h->app->records().pendingCount(), 1);
            if (locker) {
                locker->write(".quit\n");
                locker->closeWriteChannel();
                locker->waitForFinished(5000);
                locker.reset();
                // The held record goes in with the next one.
                UpdateFacts refused;
                refused.startedAt = QDateTime::currentDateTimeUtc();
                refused.durationMs = 1;
                refused.outcome = QStringLiteral("refused");
                h->app->records().commit(refused);
                EXPECT_EQ(h->app->records().pendingCount(), 0);
                EXPECT_EQ(stored().size(), 2);
                EXPECT_EQ(linesContaining(QStringLiteral("保留していた記録 2 件を書き込みました。")), 1);
            }
        }
        h.reset();
    }
}

}  // namespace
