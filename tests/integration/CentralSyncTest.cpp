// The copy to the central database against a real PostgreSQL server: a
// throw-away cluster in a temporary folder, reached over its Unix socket.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "CentralSync.h"
#include "QtPrinters.h"
#include "RecordStore.h"
#include "RecordsSettings.h"

using namespace ifb;

namespace {

const QString kSuperuser = QStringLiteral("ifb");
const QString kSuperPassword = QStringLiteral("super-secret");
constexpr int kPort = 5433;

QString PostgresBinDir() {
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    while (!versions.isEmpty()) {
        const QString bin = root.filePath(versions.takeLast() + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return QString();
}

// A cluster of its own; as root it runs as the user "postgres" (the server
// refuses root).
class PgCluster {
  public:
    bool init(QString& why) {
        bin_ = PostgresBinDir();
        if (bin_.isEmpty()) {
            why = QStringLiteral("no PostgreSQL binaries under /usr/lib/postgresql");
            return false;
        }
        QFile pw(dir_.filePath(QStringLiteral("pw")));
        if (!pw.open(QIODevice::WriteOnly)) return false;
        pw.write(kSuperPassword.toUtf8());
        pw.close();
        if (geteuid() == 0 &&
            !run(QStringLiteral("chown"),
                 {QStringLiteral("-R"), QStringLiteral("postgres:postgres"), dir_.path()}, false, why))
            return false;
        return run(bin_ + QStringLiteral("/initdb"),
                   {QStringLiteral("-D"), data(), QStringLiteral("-U"), kSuperuser,
                    QStringLiteral("--auth=scram-sha-256"), QStringLiteral("--pwfile=") + pw.fileName(),
                    QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-sync")},
                   true, why);
    }
    bool start(QString& why) {
        return run(bin_ + QStringLiteral("/pg_ctl"),
                   {QStringLiteral("-D"), data(), QStringLiteral("-l"),
                    dir_.filePath(QStringLiteral("server.log")), QStringLiteral("-w"), QStringLiteral("-o"),
                    QStringLiteral("-k %1 -p %2 -c listen_addresses=''").arg(socketDir()).arg(kPort),
                    QStringLiteral("start")},
                   true, why);
    }
    bool stop(QString& why) {
        return run(bin_ + QStringLiteral("/pg_ctl"),
                   {QStringLiteral("-D"), data(), QStringLiteral("-m"), QStringLiteral("fast"),
                    QStringLiteral("-w"), QStringLiteral("stop")},
                   true, why);
    }
    ~PgCluster() {
        QString ignored;
        if (!bin_.isEmpty() && QFile::exists(data() + QStringLiteral("/postmaster.pid"))) stop(ignored);
    }
    QString socketDir() const { return dir_.path(); }

    // A superuser statement.
    bool exec(const QString& sql, QStringList* rows = nullptr) {
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pg-admin"));
            db.setHostName(socketDir());
            db.setPort(kPort);
            db.setDatabaseName(QStringLiteral("postgres"));
            db.setUserName(kSuperuser);
            db.setPassword(kSuperPassword);
            if (db.open()) {
                QSqlQuery q(db);
                ok = q.exec(sql);
                while (ok && rows && q.next()) rows->append(q.value(0).toString());
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pg-admin"));
        return ok;
    }

  private:
    QString data() const { return dir_.filePath(QStringLiteral("data")); }
    bool run(const QString& program, QStringList args, bool asPostgres, QString& why) {
        QProcess p;
        QString exe = program;
        if (asPostgres && geteuid() == 0) {
            args.prepend(program);
            args = QStringList{QStringLiteral("--reuid=postgres"), QStringLiteral("--regid=postgres"),
                               QStringLiteral("--clear-groups")} +
                   args;
            exe = QStringLiteral("setpriv");
        }
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setWorkingDirectory(dir_.path());
        p.start(exe, args);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            why = program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll());
            return false;
        }
        return true;
    }

    QTemporaryDir dir_;
    QString bin_;
};

UpdateRecord Sample(int n) {
    UpdateRecord r;
    r.uuid = QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'));
    r.startedAt = QDateTime::currentDateTimeUtc().addSecs(-60 + n);
    r.finishedAt = r.startedAt.addMSecs(1234);
    r.station = QStringLiteral("line-1");
    r.model = QStringLiteral("PL-RZ41,\"x\"\nü");
    r.outcome = n % 2 ? QStringLiteral("ok") : QStringLiteral("refused");
    if (n % 2) r.outcomeCode = 0;
    r.durationMs = 1234;
    r.stages = QStringLiteral("{\"upload\":1000}");
    return r;
}

class CentralSyncTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QString why;
        if (PostgresBinDir().isEmpty())
            GTEST_SKIP() << "PostgreSQL binaries not found (install Debian's postgresql)";
        ASSERT_TRUE(pg.init(why)) << why.toStdString();
        ASSERT_TRUE(pg.start(why)) << why.toStdString();
        ASSERT_TRUE(pg.exec(QStringLiteral("CREATE ROLE station LOGIN PASSWORD 'right'")));
        ASSERT_TRUE(pg.exec(QStringLiteral("GRANT ALL ON SCHEMA public TO station")));
        ASSERT_TRUE(store.open()) << store.error().toStdString();
    }
    std::unique_ptr<CentralSync> makeSync(const QString& password) {
        auto sync =
            std::make_unique<CentralSync>(store,
                                          CentralConfig{pg.socketDir(), kPort, QStringLiteral("postgres"),
                                                        QStringLiteral("station"), password},
                                          [this](const QString& text) { notices << text; });
        sync->setRetryPauses(100, 400);
        return sync;
    }
    void add(int from, int to) {
        for (int n = from; n < to; ++n) ASSERT_TRUE(store.insert(Sample(n)));
    }
    QStringList central() {
        QStringList rows;
        pg.exec(QStringLiteral("SELECT uuid FROM updates ORDER BY uuid"), &rows);
        return rows;
    }
    QStringList uuids(int from, int to) {
        QStringList out;
        for (int n = from; n < to; ++n) out << Sample(n).uuid;
        return out;
    }

    PgCluster pg;
    QTemporaryDir dir;
    RecordStore store{dir.filePath(QStringLiteral("records.sqlite"))};
    QStringList notices;
};

TEST_F(CentralSyncTest, SeveralRecordsArriveOnceAndAreMarkedSynced) {
    add(0, 5);
    auto sync = makeSync(QStringLiteral("right"));
    int lastWaiting = -1;
    QObject::connect(sync.get(), &CentralSync::waitingChanged, [&](int n) { lastWaiting = n; });
    sync->kick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.unsyncedCount() == 0; }, 20000))
        << notices.join('\n').toStdString();
    EXPECT_EQ(lastWaiting, 0);
    EXPECT_EQ(central(), uuids(0, 5));
    for (const UpdateRecord& r : store.page({}, 0, 10))
        EXPECT_TRUE(r.syncedAt.has_value()) << r.uuid.toStdString();
    // The texts arrive as they were, NULL stays NULL.
    QStringList model;
    pg.exec(QStringLiteral(
                "SELECT model || '|' || coalesce(outcome_code::text, 'NULL') || '|' || (stages->>'upload') "
                "FROM updates WHERE uuid = '%1'")
                .arg(Sample(0).uuid),
            &model);
    EXPECT_EQ(model, QStringList{Sample(0).model + QStringLiteral("|NULL|1000")});
    // Sent again (synced_at lost locally): still one row each.
    add(5, 6);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reset"));
        db.setDatabaseName(store.path());
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("UPDATE updates SET synced_at = NULL"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reset"));
    sync->kick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.unsyncedCount() == 0; }, 20000));
    EXPECT_EQ(central(), uuids(0, 6));
    EXPECT_EQ(notices, QStringList());
}

TEST_F(CentralSyncTest, ServerStoppedDuringTheRunGetsEveryRecordOnceItIsBack) {
    add(0, 2);
    auto sync = makeSync(QStringLiteral("right"));
    sync->kick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.unsyncedCount() == 0; }, 20000));
    QString why;
    ASSERT_TRUE(pg.stop(why)) << why.toStdString();
    add(2, 6);
    sync->kick();
    // Several tries fail meanwhile; the operator hears of it once.
    QTest::qWait(1500);
    EXPECT_EQ(notices.size(), 1) << notices.join('\n').toStdString();
    EXPECT_EQ(store.unsyncedCount(), 4);
    ASSERT_TRUE(pg.start(why)) << why.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.unsyncedCount() == 0; }, 20000))
        << notices.join('\n').toStdString();
    EXPECT_EQ(central(), uuids(0, 6));
    ASSERT_EQ(notices.size(), 2);
    EXPECT_TRUE(notices[0].startsWith(QStringLiteral("中央データベースに送信できません")))
        << notices[0].toStdString();
    EXPECT_EQ(notices[1], QStringLiteral("中央データベースへの送信を再開しました。"));
}

TEST_F(CentralSyncTest, WrongPasswordIsToldOnceAndRetriedLater) {
    add(0, 3);
    auto sync = makeSync(QStringLiteral("wrong"));
    sync->kick();
    QTest::qWait(1500);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith(QStringLiteral("中央データベースへのログインが拒否されました")))
        << notices[0].toStdString();
    EXPECT_EQ(store.unsyncedCount(), 3);
    // The administrator fixes the account; the next try gets through.
    ASSERT_TRUE(pg.exec(QStringLiteral("ALTER ROLE station PASSWORD 'wrong'")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.unsyncedCount() == 0; }, 20000));
    EXPECT_EQ(central(), uuids(0, 3));
    EXPECT_EQ(notices.size(), 2);
}

TEST(CentralPasswordFile, OnlyAFileOfItsOwnerAloneIsUsed) {
    QTemporaryDir dir;
    const struct {
        const char* name;
        QFile::Permissions permissions;
        bool used;
    } cases[] = {
        {"owner only", QFile::ReadOwner | QFile::WriteOwner, true},
        {"group may read", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup, false},
        {"anyone may read", QFile::ReadOwner | QFile::ReadOther, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QLatin1String(c.name));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("s3cret\r\nsecond line\n");
        f.close();
        ASSERT_TRUE(f.setPermissions(c.permissions));
        QString why;
        const std::optional<QString> password = ReadPasswordFile(path, why);
        EXPECT_EQ(password.has_value(), c.used) << why.toStdString();
        EXPECT_EQ(password.value_or(QString()), c.used ? QStringLiteral("s3cret") : QString());
    }
    QString why;
    EXPECT_FALSE(ReadPasswordFile(dir.filePath(QStringLiteral("missing")), why).has_value());
}

}  // namespace
