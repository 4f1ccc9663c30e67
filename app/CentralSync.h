#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <functional>

#include "UpdateRecord.h"

namespace ifb {

class RecordStore;

// Where the central database is and how to log in.
struct CentralConfig {
    QString host;  // a name, an address, or a folder holding a Unix socket
    int port = 5432;
    QString database;
    QString user;
    QString password;
};

// Copies records to the central PostgreSQL database on its own thread, so a
// slow or dead server never holds up the window. Inserting a record twice
// leaves one row (the uuid is the key).
class CentralWorker : public QObject {
    Q_OBJECT
  public:
    explicit CentralWorker(CentralConfig config);
    ~CentralWorker() override;

    void push(const QList<ifb::UpdateRecord>& records);

  signals:
    void pushed(const QStringList& uuids);
    void failed(const QString& why, bool loginRefused);

  private:
    bool connectServer(QString& why, bool& loginRefused);

    CentralConfig config_;
    QString connection_;
};

// The local side of the copy: sends what waits in the records file, marks
// what arrived (synced_at), and retries with a growing pause after a failure.
// The operator is told once when the copy starts failing, and once when it
// works again.
class CentralSync : public QObject {
    Q_OBJECT
  public:
    CentralSync(RecordStore& store, CentralConfig config, std::function<void(const QString&)> notice);
    ~CentralSync() override;

    // Sends what waits, unless a send runs or a retry pause lasts.
    void kick();
    // The pause after the first failure and the longest one.
    void setRetryPauses(int firstMs, int longestMs);
    bool busy() const { return busy_; }

  signals:
    void waitingChanged(int count);
    void sendRequested(const QList<ifb::UpdateRecord>& records);

  private:
    void onPushed(const QStringList& uuids);
    void onFailed(const QString& why, bool loginRefused);

    RecordStore& store_;
    std::function<void(const QString&)> notice_;
    QThread thread_;
    CentralWorker* worker_;
    QTimer retry_;
    int firstPauseMs_ = 1000;
    int longestPauseMs_ = 60000;
    int pauseMs_ = 0;
    bool busy_ = false;
    bool failing_ = false;
};

}  // namespace ifb
