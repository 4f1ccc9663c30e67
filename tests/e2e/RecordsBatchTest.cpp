// Records in batch mode, and --export-records, through the real program.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "BatchRun.h"
#include "QtPrinters.h"
#include "RecordStore.h"

using namespace ifb;
using namespace ifb::test;

namespace {

UpdateRecord Row(const char* uuid, const char* started) {
    UpdateRecord r;
    r.uuid = QLatin1String(uuid);
    r.startedAt = ParseRecordTime(QLatin1String(started));
    r.finishedAt = r.startedAt.addSecs(40);
    r.model = QStringLiteral("PL-RZ41-IFB");
    r.outcome = QStringLiteral("ok");
    r.outcomeCode = 0;
    return r;
}

TEST(RecordsBatch, AnUpdateInBatchModeLeavesItsRecord) {
    BatchRunSetup setup;
    setup.name = QStringLiteral("batch update");
    BatchRun run(setup);
    ASSERT_TRUE(RunAll({&run}, 1, 120000)) << run.error().toStdString();
    ASSERT_EQ(run.exitCode(), 0) << run.err().toStdString();
    RecordStore store(RecordsFileBeside(run.settingsPath()));
    ASSERT_TRUE(store.open()) << store.error().toStdString();
    const QList<UpdateRecord> rows = store.page({}, 0, 10);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].outcome, QStringLiteral("ok"));
    EXPECT_EQ(rows[0].romAfter, QStringLiteral("1022IFB00"));
    EXPECT_EQ(rows[0].port, run.sim().linkPath());
    EXPECT_TRUE(QFile::exists(run.programFolder() + QLatin1Char('/') + rows[0].logFile));
}

TEST(RecordsBatch, ExportRecordsWritesTheCsvWithoutAWindow) {
    const QDate day2 = ParseRecordTime(QStringLiteral("2026-03-02T12:00:00.000Z")).toLocalTime().date();
    struct Case {
        const char* name;
        QStringList args;
        bool records;
        int exitCode;
        int rows;  // data rows in the file, -1: no file
    } cases[] = {
        {"all", {QStringLiteral("--export-records"), QStringLiteral("{dir}/out.csv")}, true, 0, 3},
        {"since a day",
         {QStringLiteral("--export-records"), QStringLiteral("{dir}/out.csv"), QStringLiteral("--since"),
          day2.toString(Qt::ISODate)},
         true,
         0,
         2},
        {"no records file",
         {QStringLiteral("--export-records"), QStringLiteral("{dir}/out.csv")},
         false,
         1,
         -1},
        {"folder missing",
         {QStringLiteral("--export-records"), QStringLiteral("{dir}/no/out.csv")},
         true,
         1,
         -1},
        {"bad date",
         {QStringLiteral("--export-records"), QStringLiteral("{dir}/out.csv"), QStringLiteral("--since"),
          QStringLiteral("2026-13-01")},
         true,
         64,
         -1},
        {"since alone", {QStringLiteral("--since"), QStringLiteral("2026-03-01")}, true, 64, -1},
        {"with --batch",
         {QStringLiteral("--batch"), QStringLiteral("--export-records"), QStringLiteral("{dir}/out.csv")},
         true,
         64,
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BatchRunSetup setup;
        setup.name = QString::fromLatin1(c.name);
        setup.args = c.args;
        setup.noBoard = true;
        BatchRun run(setup);
        if (c.records) {
            QDir().mkpath(run.programFolder());
            RecordStore store(RecordsFileBeside(run.settingsPath()));
            ASSERT_TRUE(store.open());
            for (const UpdateRecord& r :
                 {Row("a", "2026-03-01T12:00:00.000Z"), Row("b", "2026-03-02T12:00:00.000Z"),
                  Row("c", "2026-03-03T12:00:00.000Z")})
                ASSERT_TRUE(store.insert(r));
        }
        ASSERT_TRUE(RunAll({&run}, 1, 60000)) << run.error().toStdString();
        EXPECT_EQ(run.exitCode(), c.exitCode) << run.err().toStdString();
        QFile csv(run.dir(QStringLiteral("out.csv")));
        if (c.rows < 0) {
            EXPECT_FALSE(csv.exists());
            continue;
        }
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
        const QByteArray bytes = csv.readAll();
        EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBFuuid,"));
        EXPECT_EQ(bytes.count("\r\n"), c.rows + 1);
        EXPECT_TRUE(bytes.contains("\r\nc,")) << "newest first";
    }
}

TEST(RecordsBatch, HelpNamesTheExport) {
    BatchRunSetup setup;
    setup.name = QStringLiteral("help");
    setup.args = {QStringLiteral("--help")};
    setup.noBoard = true;
    BatchRun run(setup);
    ASSERT_TRUE(RunAll({&run}, 1, 30000)) << run.error().toStdString();
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_TRUE(run.out().contains(QStringLiteral("--export-records <FILE>"))) << run.out().toStdString();
    EXPECT_TRUE(run.out().contains(QStringLiteral("--since <DATE>")));
}

}  // namespace
