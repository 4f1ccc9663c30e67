#pragma once

#include <QDate>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

#include "UpdateRecord.h"

class QSqlError;

namespace ifb {

// Which records a query takes. Empty texts and invalid dates take all; the
// dates are the local calendar days of started_at, both included. result is
// "ok", "ng" (anything but ok) or one outcome name.
struct RecordFilter {
    QDate from;
    QDate to;
    QString result;
    QString model;     // contained in the model name
    QString targetId;  // contained in the target ID
    QString station;   // contained in the station name
};

// A file as far as telling its versions apart: a digest taken of one stamp
// holds while path, size and modification time stay.
struct FileStamp {
    QString path;
    qint64 size = 0;
    qint64 modifiedMs = 0;
};

// The records file beside the settings file.
QString RecordsFileBeside(const QString& settingsPath);

struct RecordTotals {
    int ok = 0;
    int ng = 0;
    QList<QPair<QString, int>> ngCodes;  // most frequent first
};

// The records file: SQLite through Qt SQL, WAL journal, the schema version in
// PRAGMA user_version. Used from the thread that opened it.
class RecordStore {
  public:
    // The schema this build writes; older files are migrated forward on open.
    static constexpr int kSchemaVersion = 3;

    explicit RecordStore(QString path);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens the file, creating or migrating it. A file that is not a database
    // is set aside (renamed, never deleted) and a new one started; setAside
    // then names it. False when nothing can be written; error() says why.
    bool open(QString* setAside = nullptr);
    bool isOpen() const { return open_; }
    void close();
    QString error() const { return error_; }
    QString path() const { return path_; }

    // One record in one transaction: it is in the file entirely or not at all.
    bool insert(const UpdateRecord& record);
    bool markSynced(const QStringList& uuids, const QDateTime& at);
    // A SHA-256 taken earlier of this very file, or empty.
    QString knownDigest(const FileStamp& file);
    void rememberDigest(const FileStamp& file, const QString& sha256);

    int count(const RecordFilter& filter);
    // Newest first.
    QList<UpdateRecord> page(const RecordFilter& filter, int offset, int limit);
    RecordTotals totals(const RecordFilter& filter);
    // Oldest first, so the central database gets them in order.
    QList<UpdateRecord> unsynced(int limit);
    int unsyncedCount();

  private:
    bool prepareSchema(QSqlError& why);
    bool fail(const QString& what, const QString& why);

    QString path_;
    QString connection_;
    QString error_;
    bool open_ = false;
};

}  // namespace ifb
