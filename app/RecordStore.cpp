#include "RecordStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace ifb {
namespace {

// Each entry takes the file from the version before it to its own number.
const char* const kMigrations[] = {
    "CREATE TABLE updates ("
    " id INTEGER PRIMARY KEY,"
    " uuid TEXT NOT NULL UNIQUE,"
    " started_at TEXT NOT NULL,"
    " finished_at TEXT NOT NULL,"
    " station TEXT, operator TEXT, program_version TEXT, firmware_id TEXT,"
    " image_sha256 TEXT, image_size INTEGER, port TEXT, model TEXT, target_id TEXT,"
    " rom_before TEXT, rom_after TEXT,"
    " outcome TEXT NOT NULL, outcome_code INTEGER, ng_code TEXT, duration_ms INTEGER, stages TEXT,"
    " uploader TEXT, uploader_sha256 TEXT, bytes_sent INTEGER, log_file TEXT, synced_at TEXT);"
    "CREATE INDEX updates_started ON updates(started_at);"
    "CREATE INDEX updates_unsynced ON updates(id) WHERE synced_at IS NULL;",
    // The upload tool is hashed once per version of its file, not once per run.
    "CREATE TABLE file_digests ("
    " path TEXT PRIMARY KEY, size INTEGER NOT NULL, modified_ms INTEGER NOT NULL, sha256 TEXT NOT NULL);",
    // Station mode numbers the units of a run.
    "ALTER TABLE updates ADD COLUMN unit INTEGER;",
};
static_assert(sizeof kMigrations / sizeof kMigrations[0] == RecordStore::kSchemaVersion);

// SQLite's codes for a file that is no database or a damaged one.
bool IsDamagedFile(const QSqlError& e) {
    const QString code = e.nativeErrorCode();
    return code == QLatin1String("26") || code == QLatin1String("11");
}

QString SelectColumns() {
    return RecordColumns().join(QLatin1Char(','));
}

UpdateRecord ReadRecord(const QSqlQuery& q) {
    auto text = [&q](int i) { return q.value(i).toString(); };
    UpdateRecord r;
    r.uuid = text(0);
    r.startedAt = ParseRecordTime(text(1));
    r.finishedAt = ParseRecordTime(text(2));
    r.station = text(3);
    r.operatorName = text(4);
    r.programVersion = text(5);
    r.firmwareId = text(6);
    r.imageSha256 = text(7);
    r.imageSize = q.value(8).toLongLong();
    r.port = text(9);
    r.model = text(10);
    r.targetId = text(11);
    r.romBefore = text(12);
    r.romAfter = text(13);
    r.outcome = text(14);
    if (!q.isNull(15)) r.outcomeCode = q.value(15).toInt();
    r.ngCode = text(16);
    r.durationMs = q.value(17).toLongLong();
    r.stages = text(18);
    r.uploader = text(19);
    r.uploaderSha256 = text(20);
    if (!q.isNull(21)) r.bytesSent = q.value(21).toLongLong();
    r.logFile = text(22);
    if (!q.isNull(23)) r.syncedAt = ParseRecordTime(text(23));
    if (!q.isNull(24)) r.unit = q.value(24).toInt();
    return r;
}

// The WHERE clause for a filter and the values it binds, in order.
struct Where {
    QString sql;
    QVariantList values;
};

Where WhereOf(const RecordFilter& f) {
    QStringList terms;
    Where w;
    if (f.from.isValid()) {
        terms << QStringLiteral("started_at >= ?");
        w.values << RecordTime(f.from.startOfDay());
    }
    if (f.to.isValid()) {
        terms << QStringLiteral("started_at < ?");
        w.values << RecordTime(f.to.addDays(1).startOfDay());
    }
    if (f.result == QLatin1String("ng")) {
        terms << QStringLiteral("outcome <> 'ok'");
    } else if (!f.result.isEmpty()) {
        terms << QStringLiteral("outcome = ?");
        w.values << f.result;
    }
    const QPair<const char*, QString> contained[] = {
        {"model", f.model}, {"target_id", f.targetId}, {"station", f.station}};
    for (const auto& [column, text] : contained) {
        if (text.isEmpty()) continue;
        terms << QStringLiteral("instr(%1, ?) > 0").arg(QLatin1String(column));
        w.values << text;
    }
    if (!terms.isEmpty()) w.sql = QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
    return w;
}

bool Run(QSqlQuery& q, const QString& sql, const QVariantList& values = {}) {
    if (!q.prepare(sql)) return false;
    for (const QVariant& v : values) q.addBindValue(v);
    return q.exec();
}

}  // namespace

QString RecordsFileBeside(const QString& settingsPath) {
    return QFileInfo(settingsPath).absolutePath() + QStringLiteral("/records.sqlite");
}

RecordStore::RecordStore(QString path)
    : path_(std::move(path)), connection_(QStringLiteral("ifb-records-%1").arg(quintptr(this), 0, 16)) {}

RecordStore::~RecordStore() {
    close();
}

void RecordStore::close() {
    open_ = false;
    if (!QSqlDatabase::contains(connection_)) return;
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

bool RecordStore::fail(const QString& what, const QString& why) {
    error_ = what + QStringLiteral(": ") + why;
    close();
    return false;
}

bool RecordStore::open(QString* setAside) {
    close();
    error_.clear();
    if (!QFileInfo(path_).absoluteDir().exists())
        return fail(QStringLiteral("folder missing"), QFileInfo(path_).absolutePath());
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool opened = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
            db.setDatabaseName(path_);
            // Another process may hold the file briefly; an update never waits long for it.
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=200"));
            opened = db.open();
            if (!opened) error_ = QStringLiteral("open: ") + db.lastError().text();
        }
        if (!opened) return fail(QStringLiteral("open"), error_);
        QSqlError why;
        if (prepareSchema(why)) {
            open_ = true;
            return true;
        }
        close();
        if (attempt > 0 || !IsDamagedFile(why)) return false;
        // Kept for whoever wants to look at it; the records go to a new file.
        const QString aside = path_ + QStringLiteral(".damaged-") +
                              QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss"));
        if (!QFile::rename(path_, aside)) return fail(QStringLiteral("set aside"), aside);
        QFile::remove(path_ + QStringLiteral("-wal"));
        QFile::remove(path_ + QStringLiteral("-shm"));
        if (setAside) *setAside = aside;
    }
    return false;
}

bool RecordStore::prepareSchema(QSqlError& why) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    auto failed = [&](const char* what, const QSqlError& e) {
        why = e;
        error_ = QLatin1String(what) + QStringLiteral(": ") + e.text();
        return false;
    };
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.next())
        return failed("journal", q.lastError());
    // With WAL, NORMAL keeps every commit through a crash of the program and
    // the file sound through a power cut, without a disk flush per record.
    if (!q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))) return failed("synchronous", q.lastError());
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) return failed("version", q.lastError());
    const int version = q.value(0).toInt();
    if (version > kSchemaVersion) {
        error_ = QStringLiteral("version: the file is of a newer program (%1)").arg(version);
        return false;
    }
    for (int v = version; v < kSchemaVersion; ++v) {
        if (!db.transaction()) return failed("migrate", db.lastError());
        for (const QString& statement : QString::fromLatin1(kMigrations[v]).split(QLatin1Char(';'))) {
            if (statement.trimmed().isEmpty() || q.exec(statement)) continue;
            const QSqlError e = q.lastError();
            db.rollback();
            return failed("migrate", e);
        }
        if (!q.exec(QStringLiteral("PRAGMA user_version=%1").arg(v + 1)) || !db.commit()) {
            const QSqlError e = q.lastError().isValid() ? q.lastError() : db.lastError();
            db.rollback();
            return failed("migrate", e);
        }
    }
    // A damaged page shows only when it is read.
    if (!q.exec(QStringLiteral("SELECT count(*) FROM updates")) || !q.next())
        return failed("read", q.lastError());
    return true;
}

bool RecordStore::insert(const UpdateRecord& r) {
    if (!open_) return false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    QStringList marks;
    for (int i = 0; i < RecordColumns().size(); ++i) marks << QStringLiteral("?");
    const QVariantList values = RecordValues(r);
    // A single statement is its own transaction in SQLite.
    if (!Run(q,
             QStringLiteral("INSERT OR IGNORE INTO updates (%1) VALUES (%2)")
                 .arg(SelectColumns(), marks.join(QLatin1Char(','))),
             values)) {
        error_ = QStringLiteral("insert: ") + q.lastError().text();
        return false;
    }
    return true;
}

QString RecordStore::knownDigest(const FileStamp& file) {
    if (!open_) return QString();
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!Run(
            q,
            QStringLiteral("SELECT sha256 FROM file_digests WHERE path = ? AND size = ? AND modified_ms = ?"),
            {file.path, file.size, file.modifiedMs}) ||
        !q.next())
        return QString();
    return q.value(0).toString();
}

void RecordStore::rememberDigest(const FileStamp& file, const QString& sha256) {
    if (!open_) return;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    Run(q,
        QStringLiteral(
            "INSERT OR REPLACE INTO file_digests (path, size, modified_ms, sha256) VALUES (?, ?, ?, ?)"),
        {file.path, file.size, file.modifiedMs, sha256});
}

bool RecordStore::markSynced(const QStringList& uuids, const QDateTime& at) {
    if (!open_) return false;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    if (!db.transaction()) return false;
    for (const QString& uuid : uuids) {
        if (!Run(q, QStringLiteral("UPDATE updates SET synced_at = ? WHERE uuid = ?"),
                 {RecordTime(at), uuid})) {
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

int RecordStore::count(const RecordFilter& filter) {
    if (!open_) return 0;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    const Where w = WhereOf(filter);
    if (!Run(q, QStringLiteral("SELECT count(*) FROM updates") + w.sql, w.values) || !q.next()) return 0;
    return q.value(0).toInt();
}

QList<UpdateRecord> RecordStore::page(const RecordFilter& filter, int offset, int limit) {
    QList<UpdateRecord> out;
    if (!open_) return out;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    Where w = WhereOf(filter);
    w.values << limit << offset;
    if (!Run(q,
             QStringLiteral("SELECT %1 FROM updates%2 ORDER BY started_at DESC, id DESC LIMIT ? OFFSET ?")
                 .arg(SelectColumns(), w.sql),
             w.values))
        return out;
    while (q.next()) out.append(ReadRecord(q));
    return out;
}

RecordTotals RecordStore::totals(const RecordFilter& filter) {
    RecordTotals t;
    if (!open_) return t;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    const Where w = WhereOf(filter);
    if (Run(q,
            QStringLiteral("SELECT coalesce(sum(outcome = 'ok'), 0), coalesce(sum(outcome <> 'ok'), 0) "
                           "FROM updates") +
                w.sql,
            w.values) &&
        q.next()) {
        t.ok = q.value(0).toInt();
        t.ng = q.value(1).toInt();
    }
    const QString codes = w.sql.isEmpty() ? QStringLiteral(" WHERE ng_code IS NOT NULL")
                                          : w.sql + QStringLiteral(" AND ng_code IS NOT NULL");
    if (Run(q,
            QStringLiteral("SELECT ng_code, count(*) AS n FROM updates") + codes +
                QStringLiteral(" GROUP BY ng_code ORDER BY n DESC, ng_code"),
            w.values)) {
        while (q.next()) t.ngCodes.append({q.value(0).toString(), q.value(1).toInt()});
    }
    return t;
}

QList<UpdateRecord> RecordStore::unsynced(int limit) {
    QList<UpdateRecord> out;
    if (!open_) return out;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    if (!Run(q,
             QStringLiteral("SELECT %1 FROM updates WHERE synced_at IS NULL ORDER BY id LIMIT ?")
                 .arg(SelectColumns()),
             {limit}))
        return out;
    while (q.next()) out.append(ReadRecord(q));
    return out;
}

int RecordStore::unsyncedCount() {
    if (!open_) return 0;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec(QStringLiteral("SELECT count(*) FROM updates WHERE synced_at IS NULL")) || !q.next())
        return 0;
    return q.value(0).toInt();
}

}  // namespace ifb
