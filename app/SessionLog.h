#pragma once

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <functional>

namespace ifb {

// What kind of line reached the log pane.
enum class LineClass { Always, Verbose, Trace, Tool };

// Every line of the log pane, also in logs/YYYY-MM-DD.log beside the records:
// appended and flushed line by line, with its time and class, the OTA password
// masked. Files older than the kept days are removed.
class SessionLog {
  public:
    SessionLog(QString recordsFolder, int keepDays);

    void write(LineClass lineClass, const QString& text);
    // Text that never reaches a file.
    void setSecret(const QString& secret) { secret_ = secret; }
    // The local time of each line (tests set it back and forth).
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
    // Told once when writing starts to fail, and again only after it worked.
    void setFailureNotice(std::function<void(const QString&)> notice) { notice_ = std::move(notice); }

    // The file of the day, relative to the records folder ("logs/2026-12-11.log").
    QString fileOf(const QDate& day) const;
    QString currentFile() const { return fileOf(clock_().date()); }
    QString folder() const { return recordsFolder_ + QStringLiteral("/logs"); }
    void removeOldFiles();

  private:
    bool openFor(const QDate& day);
    void failed(const QString& why);

    QString recordsFolder_;
    int keepDays_;
    QString secret_;
    std::function<QDateTime()> clock_;
    std::function<void(const QString&)> notice_;
    QFile file_;
    QDate day_;
    bool failing_ = false;
};

}  // namespace ifb
