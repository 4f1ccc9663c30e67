// The records file, its CSV export and the session log on real files: the
// schema scripts rely on, migrations, filters and totals, a process killed
// right after a commit, a clock set back and a full disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <csignal>

#include "QtPrinters.h"
#include "RecordCsv.h"
#include "RecordKeeper.h"
#include "RecordStore.h"
#include "ScriptedOperator.h"
#include "SessionLog.h"
#include "TestFiles.h"

using namespace ifb;
using namespace ifb::test;

namespace {

UpdateRecord Sample(const QString& uuid, const QString& started, const QString& outcome, const QString& model,
                    const QString& ngCode = {}) {
    UpdateRecord r;
    r.uuid = uuid;
    r.startedAt = ParseRecordTime(started);
    r.finishedAt = r.startedAt.addMSecs(1500);
    r.station = QStringLiteral("line-1");
    r.operatorName = QStringLiteral("op");
    r.firmwareId = QStringLiteral("1022IFB00");
    r.imageSize = 42;
    r.model = model;
    r.targetId = QStringLiteral("1234");
    r.romBefore = QStringLiteral("1021IFB00");
    r.outcome = outcome;
    if (outcome != QLatin1String("refused")) r.outcomeCode = outcome == QLatin1String("ok") ? 0 : 1;
    r.ngCode = ngCode;
    r.durationMs = 1500;
    r.stages = QStringLiteral("{}");
    return r;
}

RecordFilter Filter(QDate from, QDate to, const char* result, const char* model, const char* targetId,
                    const char* station) {
    RecordFilter f;
    f.from = from;
    f.to = to;
    f.result = QString::fromLatin1(result);
    f.model = QString::fromLatin1(model);
    f.targetId = QString::fromLatin1(targetId);
    f.station = QString::fromLatin1(station);
    return f;
}

// What a query on its own connection answers, one row, values as text.
// An update that ended OK, starting now.
UpdateFacts OkFacts() {
    UpdateFacts facts;
    facts.startedAt = QDateTime::currentDateTimeUtc();
    facts.outcome = QStringLiteral("ok");
    return facts;
}

QStringList Query(const QString& path, const QString& sql) {
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("probe"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql))
                while (q.next()) out << q.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("probe"));
    return out;
}

// RFC 4180 reader for the export's own check.
QList<QStringList> ParseCsv(const QString& text) {
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << field;
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row << field;
            rows << row;
            row.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return rows;
}

TEST(RecordStore, FileHasTheDocumentedTableInWalModeAtTheSchemaVersion) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("records.sqlite"));
    RecordStore store(path);
    ASSERT_TRUE(store.open()) << store.error().toStdString();
    ASSERT_TRUE(store.insert(Sample(QStringLiteral("u1"), QStringLiteral("2026-01-02T03:04:05.678Z"),
                                    QStringLiteral("ok"), QStringLiteral("PL-RZ41"))));
    QStringList expected{QStringLiteral("id")};
    expected += RecordColumns();
    EXPECT_EQ(Query(path, QStringLiteral("SELECT name FROM pragma_table_info('updates')")), expected);
    EXPECT_EQ(Query(path, QStringLiteral("PRAGMA journal_mode")), QStringList{QStringLiteral("wal")});
    EXPECT_EQ(Query(path, QStringLiteral("PRAGMA user_version")),
              QStringList{QString::number(RecordStore::kSchemaVersion)});
    EXPECT_EQ(Query(path, QStringLiteral("SELECT started_at || '|' || finished_at FROM updates")),
              QStringList{QStringLiteral("2026-01-02T03:04:05.678Z|2026-01-02T03:04:07.178Z")});
    // The uuid is unique: the same record twice stays one row.
    EXPECT_TRUE(store.insert(Sample(QStringLiteral("u1"), QStringLiteral("2026-01-02T03:04:05.678Z"),
                                    QStringLiteral("ok"), QStringLiteral("PL-RZ41"))));
    EXPECT_EQ(store.count({}), 1);
}

TEST(RecordStore, OlderFilesAreMigratedAndNewerOnesLeftAlone) {
    struct Case {
        const char* name;
        int userVersion;
        bool opens;
    } cases[] = {{"empty file of no version", 0, true},
                 {"file of version 1 with a record", 1, true},
                 {"file of a newer program", 99, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("records.sqlite"));
        if (c.userVersion == 1) {
            // Version 1 is today's file without the digests and the unit.
            RecordStore current(path);
            ASSERT_TRUE(current.open());
            ASSERT_TRUE(
                current.insert(Sample(QStringLiteral("u1"), QStringLiteral("2026-01-02T03:04:05.678Z"),
                                      QStringLiteral("ok"), QStringLiteral("PL-RZ41"))));
            current.close();
            Query(path, QStringLiteral("DROP TABLE file_digests"));
            Query(path, QStringLiteral("ALTER TABLE updates DROP COLUMN unit"));
        }
        Query(path, QStringLiteral("PRAGMA user_version=%1").arg(c.userVersion));
        Query(path, QStringLiteral("CREATE TABLE other (x)"));
        RecordStore store(path);
        EXPECT_EQ(store.open(), c.opens) << store.error().toStdString();
        EXPECT_EQ(Query(path, QStringLiteral("PRAGMA user_version")),
                  QStringList{QString::number(c.opens ? RecordStore::kSchemaVersion : c.userVersion)});
        // What was there stays.
        EXPECT_EQ(Query(path, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'other'")),
                  QStringList{QStringLiteral("1")});
        if (c.userVersion == 1) {
            EXPECT_EQ(store.count({}), 1);
            EXPECT_EQ(Query(path, QStringLiteral("SELECT count(*) FROM file_digests")),
                      QStringList{QStringLiteral("0")});
        }
    }
}

TEST(RecordStore, FiltersTotalsAndNewestFirst) {
    QTemporaryDir dir;
    RecordStore store(dir.filePath(QStringLiteral("records.sqlite")));
    ASSERT_TRUE(store.open());
    const UpdateRecord rows[] = {
        Sample(QStringLiteral("a"), QStringLiteral("2026-03-01T10:00:00.000Z"), QStringLiteral("ok"),
               QStringLiteral("PL-RZ41-IFB")),
        Sample(QStringLiteral("b"), QStringLiteral("2026-03-02T10:00:00.000Z"), QStringLiteral("aborted"),
               QStringLiteral("PL-RZ41-IFB"), QStringLiteral("NG-12")),
        Sample(QStringLiteral("c"), QStringLiteral("2026-03-03T10:00:00.000Z"), QStringLiteral("timeout"),
               QStringLiteral("PL-RZ42-IFB"), QStringLiteral("NG-12")),
        Sample(QStringLiteral("d"), QStringLiteral("2026-03-04T10:00:00.000Z"), QStringLiteral("refused"),
               QStringLiteral("PL-RZ42-IFB"), QStringLiteral("NG-03")),
    };
    for (const UpdateRecord& r : rows) ASSERT_TRUE(store.insert(r));
    auto uuids = [&](const RecordFilter& f) {
        QStringList out;
        for (const UpdateRecord& r : store.page(f, 0, 100)) out << r.uuid;
        return out;
    };
    const QDate day2 = ParseRecordTime(QStringLiteral("2026-03-02T10:00:00.000Z")).toLocalTime().date();
    struct Case {
        const char* name;
        RecordFilter filter;
        QStringList expected;
        int ok, ng;
    } cases[] = {
        {"all, newest first", Filter({}, {}, "", "", "", ""), {"d", "c", "b", "a"}, 1, 3},
        {"ok", Filter({}, {}, "ok", "", "", ""), {"a"}, 1, 0},
        {"ng", Filter({}, {}, "ng", "", "", ""), {"d", "c", "b"}, 0, 3},
        {"one outcome", Filter({}, {}, "refused", "", "", ""), {"d"}, 0, 1},
        {"model", Filter({}, {}, "", "RZ42", "", ""), {"d", "c"}, 0, 2},
        {"from day 2", Filter(day2, {}, "", "", "", ""), {"d", "c", "b"}, 0, 3},
        {"day 2 only", Filter(day2, day2, "", "", "", ""), {"b"}, 0, 1},
        {"station not there", Filter({}, {}, "", "", "", "line-2"), {}, 0, 0},
        {"target id", Filter({}, {}, "", "", "123", ""), {"d", "c", "b", "a"}, 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(uuids(c.filter), c.expected);
        EXPECT_EQ(store.count(c.filter), c.expected.size());
        const RecordTotals t = store.totals(c.filter);
        EXPECT_EQ(t.ok, c.ok);
        EXPECT_EQ(t.ng, c.ng);
    }
    const RecordTotals all = store.totals({});
    EXPECT_EQ(all.ngCodes,
              (QList<QPair<QString, int>>{{QStringLiteral("NG-12"), 2}, {QStringLiteral("NG-03"), 1}}));
    EXPECT_EQ(store.page({}, 1, 2).size(), 2);
    EXPECT_EQ(store.page({}, 1, 2).first().uuid, QStringLiteral("c"));
}

TEST(RecordCsv, FieldsAreQuotedOnlyWhereTheyMustBe) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\rlf", "\"cr\rlf\""},
        {"bell\x07", "\"bell\x07\""},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"+1", "'+1"},
        {"-1", "'-1"},
        {"@x", "'@x"},
        {"ボード", "ボード"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CsvField(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST(RecordCsv, ExportReadsBackAsTheRecords) {
    QTemporaryDir dir;
    RecordStore store(dir.filePath(QStringLiteral("records.sqlite")));
    ASSERT_TRUE(store.open());
    UpdateRecord odd = Sample(QStringLiteral("u-odd"), QStringLiteral("2026-03-02T10:00:00.000Z"),
                              QStringLiteral("aborted"), QStringLiteral("PL,\"RZ\"\r\n41\x01\x7Fé型"));
    odd.stages = QStringLiteral("{\"join\":120,\"upload\":3400}");
    odd.bytesSent = 4096;
    const UpdateRecord plain = Sample(QStringLiteral("u-plain"), QStringLiteral("2026-03-01T10:00:00.000Z"),
                                      QStringLiteral("ok"), QStringLiteral("PL-RZ41"));
    ASSERT_TRUE(store.insert(plain));
    ASSERT_TRUE(store.insert(odd));
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    int count = 0;
    QString why;
    ASSERT_TRUE(ExportRecordsCsv(store, {}, path, count, why)) << why.toStdString();
    EXPECT_EQ(count, 2);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    const QList<QStringList> rows = ParseCsv(QString::fromUtf8(bytes.mid(3)));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], RecordColumns());
    for (const QStringList& row : rows) EXPECT_EQ(row.size(), RecordColumns().size());
    const QStringList& first = rows[1];
    auto field = [&](const QStringList& row, const char* column) {
        return row[RecordColumns().indexOf(QLatin1String(column))];
    };
    EXPECT_EQ(field(first, "uuid"), QStringLiteral("u-odd"));
    EXPECT_EQ(field(first, "model"), odd.model);
    EXPECT_EQ(field(first, "stages"), odd.stages);
    EXPECT_EQ(field(first, "bytes_sent"), QStringLiteral("4096"));
    EXPECT_EQ(field(first, "outcome_code"), QStringLiteral("1"));
    EXPECT_EQ(field(first, "started_at"), QStringLiteral("2026-03-02T10:00:00.000Z"));
    EXPECT_EQ(field(rows[2], "uuid"), QStringLiteral("u-plain"));
    EXPECT_EQ(field(rows[2], "bytes_sent"), QString());
    // A file that cannot be written is reported and not left half-written.
    EXPECT_FALSE(
        ExportRecordsCsv(store, {}, dir.filePath(QStringLiteral("no/such/dir/out.csv")), count, why));
    EXPECT_FALSE(why.isEmpty());
}

TEST(RecordKeeper, KilledRightAfterTheCommitLeavesTheRecord) {
    // Each run is a child process that commits one record through the keeper and then
    // dies at once, without any clean-up.
    QTemporaryDir dir;
    const QString settingsPath = dir.filePath(QStringLiteral("ifb-updater.ini"));
    for (int run = 0; run < 3; ++run) {
        EXPECT_EXIT(
            {
                ScriptedOperator op;
                RecordKeeper keeper(op, QStringLiteral("1022IFB00"));
                keeper.open(settingsPath);
                UpdateFacts facts = OkFacts();
                facts.outcomeCode = 0;
                facts.model = QStringLiteral("child");
                keeper.commit(facts);
                std::raise(SIGKILL);
            },
            ::testing::KilledBySignal(SIGKILL), "");
    }
    RecordStore store(RecordsFileBeside(settingsPath));
    ASSERT_TRUE(store.open()) << store.error().toStdString();
    EXPECT_EQ(store.count({}), 3);
    EXPECT_EQ(store.page({}, 0, 1).first().model, QStringLiteral("child"));
    EXPECT_EQ(Query(store.path(), QStringLiteral("PRAGMA integrity_check")),
              QStringList{QStringLiteral("ok")});
}

TEST(RecordKeeper, TheUploaderIsHashedOncePerVersionOfItsFileAcrossRuns) {
    QTemporaryDir dir;
    const QString settingsPath = dir.filePath(QStringLiteral("ifb-updater.ini"));
    const QString tool = dir.filePath(QStringLiteral("espota"));
    auto writeTool = [&](const QByteArray& bytes, const QDateTime& modified) {
        QFile f(tool);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
    };
    auto shaOf = [](const QByteArray& bytes) {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    };
    // One run of the program: one keeper, one record.
    auto recordedDigest = [&] {
        ScriptedOperator op;
        RecordKeeper keeper(op, QStringLiteral("1022IFB00"));
        keeper.open(settingsPath);
        UpdateFacts facts = OkFacts();
        facts.uploader = tool;
        keeper.commit(facts);
        return keeper.store().page({}, 0, 1).first().uploaderSha256;
    };
    const QDateTime monday(QDate(2026, 3, 2), QTime(10, 0), Qt::UTC);
    writeTool("tool v1", monday);
    EXPECT_EQ(recordedDigest(), shaOf("tool v1"));
    // A later run takes the digest kept in the records file: shown by a digest no file has.
    const QString path = RecordsFileBeside(settingsPath);
    Query(path, QStringLiteral("UPDATE file_digests SET sha256 = 'kept'"));
    EXPECT_EQ(recordedDigest(), QStringLiteral("kept"));
    // Another size or another time is another version of the file.
    for (const auto& [bytes, modified] : {std::pair{QByteArray("tool v2 longer"), monday},
                                          std::pair{QByteArray("tool v3"), monday.addSecs(60)}}) {
        writeTool(bytes, modified);
        EXPECT_EQ(recordedDigest(), shaOf(bytes));
    }
}

TEST(RecordKeeper, MissingOrUnwritableFolderIsToldOnceAndRecordsWait) {
    ScriptedOperator op;
    RecordKeeper keeper(op, QStringLiteral("1022IFB00"));
    // /proc takes no new files, not even from root.
    for (const char* settings : {"/nonexistent-ifb/ifb-updater.ini", "/proc/ifb-updater.ini"}) {
        SCOPED_TRACE(settings);
        op.log.lines.clear();
        keeper.open(QString::fromLatin1(settings));
        UpdateFacts facts = OkFacts();
        keeper.commit(facts);
        keeper.commit(facts);
        const QStringList told = op.log.lines.filter(QStringLiteral("記録ファイル"));
        EXPECT_EQ(told.size(), 1) << op.log.lines.join('\n').toStdString();
        EXPECT_GE(keeper.pendingCount(), 2);
    }
}

TEST(RecordKeeper, ReadOnlyRecordsFileIsToldOnceAndLeftAsItWas) {
    // File permissions do not stop root: the keeper runs in a child that is "nobody".
    QTemporaryDir dir;
    const QString settingsPath = dir.filePath(QStringLiteral("ifb-updater.ini"));
    const QString path = RecordsFileBeside(settingsPath);
    {
        RecordStore store(path);
        ASSERT_TRUE(store.open()) << store.error().toStdString();
    }
    const QByteArray before = FileBytes(path);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    EXPECT_EXIT(
        {
            if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(2);
            ScriptedOperator op;
            RecordKeeper keeper(op, QStringLiteral("1022IFB00"));
            keeper.open(settingsPath);
            UpdateFacts facts = OkFacts();
            keeper.commit(facts);
            keeper.commit(facts);
            const qsizetype told = op.log.lines.filter(QStringLiteral("記録ファイル")).size();
            std::_Exit(told == 1 && keeper.pendingCount() == 2 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(FileBytes(path), before);
}

TEST(SessionLog, ClockSetBackFullDiskAndOldFiles) {
    QTemporaryDir dir;
    QDateTime now = QDateTime(QDate(2026, 5, 10), QTime(12, 0));
    SessionLog log(dir.path(), 90);
    log.setClock([&now] { return now; });
    QStringList notices;
    log.setFailureNotice([&notices](const QString& text) { notices << text; });
    log.setSecret(QStringLiteral("QN5KDL4072"));
    auto fileText = [&](const QDate& day) {
        QFile f(dir.filePath(log.fileOf(day)));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    log.write(LineClass::Always, QStringLiteral("first\nsecond --auth=QN5KDL4072"));
    // The clock goes back a day: the line goes to that day's file, none is lost.
    now = now.addDays(-1);
    log.write(LineClass::Tool, QStringLiteral("after the clock went back"));
    now = now.addDays(1);
    log.write(LineClass::Trace, QStringLiteral("third"));
    const QString today = fileText(QDate(2026, 5, 10));
    EXPECT_TRUE(today.contains(QStringLiteral(" always  first\n")));
    EXPECT_TRUE(today.contains(QStringLiteral(" always  second --auth=********\n")));
    EXPECT_TRUE(today.contains(QStringLiteral(" trace   third\n")));
    EXPECT_FALSE(today.contains(QStringLiteral("QN5KDL4072")));
    EXPECT_TRUE(fileText(QDate(2026, 5, 9)).contains(QStringLiteral(" tool    after the clock went back\n")));

    // Files more than the kept 90 days old go; a file dated ahead of the clock stays.
    const QDir logs(log.folder());
    for (const char* name : {"2026-02-08.log", "2026-02-09.log", "2026-06-01.log", "notes.log"}) {
        QFile f(logs.filePath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    log.removeOldFiles();
    EXPECT_EQ(logs.entryList(QDir::Files), (QStringList{"2026-02-09.log", "2026-05-09.log", "2026-05-10.log",
                                                        "2026-06-01.log", "notes.log"}));

    // A full disk: told once however many lines fail, and told again only
    // after writing worked meanwhile.
    if (!QFile::exists(QStringLiteral("/dev/full"))) GTEST_SKIP() << "no /dev/full";
    now = QDateTime(QDate(2026, 5, 11), QTime(0, 0, 1));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), dir.filePath(log.fileOf(now.date()))));
    for (int i = 0; i < 50; ++i) log.write(LineClass::Always, QStringLiteral("line %1").arg(i));
    EXPECT_EQ(notices.size(), 1);
    now = now.addDays(1);
    log.write(LineClass::Always, QStringLiteral("a new day, a new disk"));
    EXPECT_EQ(notices.size(), 1);
    EXPECT_TRUE(fileText(now.date()).contains(QStringLiteral("a new day, a new disk")));
}

}  // namespace
