#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "LogPane.h"
#include "RecordStore.h"
#include "RecordsSettings.h"
#include "SessionLog.h"
#include "UpdateRecord.h"

namespace ifb {

class CentralSync;
class Operator;

// What an update (or a refused board) found out, as the workflow collects it.
struct UpdateFacts {
    QDateTime startedAt;  // UTC
    qint64 durationMs = 0;
    QString port;
    QString model;
    QString targetId;
    QString romBefore;
    QString romAfter;
    QString outcome;
    std::optional<int> outcomeCode;
    QString ngCode;      // empty until the diagnosis names one
    QJsonObject stages;  // stage name -> milliseconds
    QString uploader;
    std::optional<qint64> bytesSent;
    std::optional<int> unit;
};

// What is the same for every record of this program on this PC.
struct StationFacts {
    QString station;
    QString operatorName;
    QString programVersion;
    QString firmwareId;
    QString imageSha256;
    qint64 imageSize = 0;

    static StationFacts OfThisPc(const QString& firmwareId);
};

// The record of facts: a new uuid, finished_at as started_at plus the measured
// duration (a clock set back meanwhile cannot make it run backwards).
UpdateRecord BuildRecord(const UpdateFacts& facts, const StationFacts& station, const QString& logFile,
                         const QString& uploaderSha256);

// The records of this program: the records file, the session log files and
// the copy to the central database. A failure of any of them is told once in
// the log and never changes an update; records that could not be written wait
// in memory for the next commit.
class RecordKeeper : public QObject {
    Q_OBJECT
  public:
    RecordKeeper(Operator& op, const QString& firmwareId);
    ~RecordKeeper() override;

    // Opens everything beside the settings file, with section "Records".
    void open(const QString& settingsPath);
    // The records of one update or one refused board; written before anything
    // else happens.
    void commit(const UpdateFacts& facts);

    // The log pane as a source of one class of lines sees it: each line also
    // goes to the session log.
    LogPane& pane(LineClass lineClass);
    // A line for the pane and the file.
    void writeLine(LineClass lineClass, const QString& text);
    void setSecret(const QString& secret);

    QString folder() const { return folder_; }
    RecordStore& store() { return *store_; }
    SessionLog& sessionLog() { return *log_; }
    CentralSync* central() { return central_.get(); }
    StationFacts& station() { return station_; }
    // Records not yet in the records file.
    int pendingCount() const { return static_cast<int>(pending_.size()); }

  signals:
    // Records waiting for the central database.
    void waitingChanged(int count);

  private:
    class Pane;

    void flushPending();
    // The uploader's SHA-256, taken again only when its path, size or time
    // changed since this or an earlier run took it.
    QString uploaderSha256(const QString& path);
    void tell(const QString& text);
    void startCentral(const RecordsSettings& settings);

    Operator& op_;
    StationFacts station_;
    QString folder_;
    QString secret_;
    std::unique_ptr<RecordStore> store_;
    std::unique_ptr<SessionLog> log_;
    std::unique_ptr<CentralSync> central_;
    std::vector<std::unique_ptr<Pane>> panes_;
    QList<UpdateRecord> pending_;
    FileStamp hashed_;  // the file uploaderSha256_ was taken of
    QString uploaderSha256_;
    bool storeFailing_ = false;
};

}  // namespace ifb
