#include "CentralSync.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "RecordStore.h"
#include "RecordsMessages.h"

namespace ifb {
namespace {

constexpr int kBatchSize = 200;

const char kCreateTable[] =
    "CREATE TABLE IF NOT EXISTS updates ("
    " uuid text PRIMARY KEY, started_at timestamptz NOT NULL, finished_at timestamptz NOT NULL,"
    " station text, operator text, program_version text, firmware_id text,"
    " image_sha256 text, image_size bigint, port text, model text, target_id text,"
    " rom_before text, rom_after text, outcome text NOT NULL, outcome_code integer, ng_code text,"
    " duration_ms bigint, stages jsonb, uploader text, uploader_sha256 text, bytes_sent bigint,"
    " log_file text, received_at timestamptz NOT NULL DEFAULT now(), unit integer)";
// A table made before units were numbered.
const char kAddUnit[] = "ALTER TABLE updates ADD COLUMN IF NOT EXISTS unit integer";

// Every column but synced_at, which only the station's own file keeps.
QString InsertStatement() {
    QStringList columns;
    QStringList marks;
    for (const QString& column : RecordColumns()) {
        if (column == QLatin1String("synced_at")) continue;
        columns << column;
        if (column.endsWith(QLatin1String("_at")))
            marks << QStringLiteral("?::timestamptz");
        else if (column == QLatin1String("stages"))
            marks << QStringLiteral("?::jsonb");
        else
            marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO updates (%1) VALUES (%2) ON CONFLICT (uuid) DO NOTHING")
        .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

// What the server says when the user or the password is wrong.
bool IsLoginRefused(const QString& text) {
    return text.contains(QLatin1String("password authentication failed")) ||
           text.contains(QLatin1String("no password supplied")) ||
           text.contains(QLatin1String("authentication failed"));
}

}  // namespace

CentralWorker::CentralWorker(CentralConfig config)
    : config_(std::move(config)), connection_(QStringLiteral("ifb-central-%1").arg(quintptr(this), 0, 16)) {}

CentralWorker::~CentralWorker() {
    if (!QSqlDatabase::contains(connection_)) return;
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

bool CentralWorker::connectServer(QString& why, bool& loginRefused) {
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
    if (db.isOpen()) return true;
    db.setHostName(config_.host);
    db.setPort(config_.port);
    db.setDatabaseName(config_.database);
    db.setUserName(config_.user);
    db.setPassword(config_.password);
    // A server that does not answer must not keep the thread (and the exit) waiting long.
    db.setConnectOptions(QStringLiteral("connect_timeout=5;options='-c statement_timeout=10000'"));
    if (!db.open()) {
        why = db.lastError().text();
        loginRefused = IsLoginRefused(why);
        return false;
    }
    QSqlQuery q(db);
    q.exec(QStringLiteral("SET client_min_messages TO warning"));
    if (!q.exec(QString::fromLatin1(kCreateTable)) || !q.exec(QString::fromLatin1(kAddUnit))) {
        why = q.lastError().text();
        db.close();
        return false;
    }
    return true;
}

void CentralWorker::push(const QList<UpdateRecord>& records) {
    QString why;
    bool loginRefused = false;
    if (!connectServer(why, loginRefused)) return emit failed(why, loginRefused);
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    bool ok = db.transaction() && q.prepare(InsertStatement());
    QStringList uuids;
    for (const UpdateRecord& r : records) {
        if (!ok) break;
        QVariantList values = RecordValues(r);
        values.removeAt(RecordColumns().indexOf(QLatin1String("synced_at")));
        for (int i = 0; i < values.size(); ++i) q.bindValue(i, values[i]);
        ok = q.exec();
        uuids << r.uuid;
    }
    if (ok && db.commit()) return emit pushed(uuids);
    why = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
    if (db.isOpen()) db.rollback();
    // A broken connection is made again on the next try.
    db.close();
    emit failed(why, IsLoginRefused(why));
}

CentralSync::CentralSync(RecordStore& store, CentralConfig config, std::function<void(const QString&)> notice)
    : store_(store), notice_(std::move(notice)), worker_(new CentralWorker(std::move(config))) {
    qRegisterMetaType<QList<ifb::UpdateRecord>>();
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(this, &CentralSync::sendRequested, worker_, &CentralWorker::push);
    connect(worker_, &CentralWorker::pushed, this, &CentralSync::onPushed);
    connect(worker_, &CentralWorker::failed, this, &CentralSync::onFailed);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &CentralSync::kick);
    thread_.setObjectName(QStringLiteral("ifb-central"));
    thread_.start();
}

CentralSync::~CentralSync() {
    thread_.quit();
    thread_.wait();
}

void CentralSync::setRetryPauses(int firstMs, int longestMs) {
    firstPauseMs_ = firstMs;
    longestPauseMs_ = longestMs;
}

void CentralSync::kick() {
    if (busy_ || retry_.isActive()) return;
    const QList<UpdateRecord> waiting = store_.unsynced(kBatchSize);
    if (waiting.isEmpty()) return;
    busy_ = true;
    emit sendRequested(waiting);
}

void CentralSync::onPushed(const QStringList& uuids) {
    busy_ = false;
    pauseMs_ = 0;
    store_.markSynced(uuids, QDateTime::currentDateTimeUtc());
    if (failing_) {
        failing_ = false;
        notice_(RecordsMessages::centralRecovered());
    }
    emit waitingChanged(store_.unsyncedCount());
    kick();
}

void CentralSync::onFailed(const QString& why, bool loginRefused) {
    busy_ = false;
    if (!failing_) {
        failing_ = true;
        notice_(loginRefused ? RecordsMessages::centralLoginRefused(why.simplified())
                             : RecordsMessages::centralFailed(why.simplified()));
    }
    pauseMs_ = pauseMs_ == 0 ? firstPauseMs_ : qMin(pauseMs_ * 2, longestPauseMs_);
    retry_.start(pauseMs_);
    emit waitingChanged(store_.unsyncedCount());
}

}  // namespace ifb
