#include "SessionLog.h"

#include <QDir>
#include <QStringList>
#include <cstdio>

#include "RecordsMessages.h"

namespace ifb {
namespace {

const char* ClassName(LineClass c) {
    switch (c) {
        case LineClass::Always:
            return "always ";
        case LineClass::Verbose:
            return "verbose";
        case LineClass::Trace:
            return "trace  ";
        case LineClass::Tool:
            return "tool   ";
    }
    return "";
}

const QString kMask = QStringLiteral("********");

// ISO 8601 local time with milliseconds and the offset from UTC, written out
// by hand: formatting through QDateTime cost more than the write itself.
QByteArray Stamp(const QDateTime& t) {
    const QDate d = t.date();
    const QTime h = t.time();
    const int offset = t.offsetFromUtc() / 60;
    const int a = offset < 0 ? -offset : offset;
    char text[40];
    const int n = offset == 0
                      ? std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", d.year(),
                                      d.month(), d.day(), h.hour(), h.minute(), h.second(), h.msec())
                      : std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                                      d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second(),
                                      h.msec(), offset < 0 ? '-' : '+', a / 60, a % 60);
    return QByteArray(text, qBound(0, n, static_cast<int>(sizeof text) - 1));
}

}  // namespace

// Local time with the offset from UTC looked up once a minute: a lookup per
// line cost more than the line's write.
QDateTime LocalNow() {
    static qint64 lookedUpAt = 0;
    static int offset = 0;
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const qint64 ms = utc.toMSecsSinceEpoch();
    if (lookedUpAt == 0 || ms - lookedUpAt > 60000 || ms < lookedUpAt) {
        offset = utc.toLocalTime().offsetFromUtc();
        lookedUpAt = ms;
    }
    return utc.toOffsetFromUtc(offset);
}

SessionLog::SessionLog(QString recordsFolder, int keepDays)
    : recordsFolder_(std::move(recordsFolder)), keepDays_(keepDays), clock_(LocalNow) {}

QString SessionLog::fileOf(const QDate& day) const {
    return QStringLiteral("logs/") + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

bool SessionLog::openFor(const QDate& day) {
    if (file_.isOpen() && day == day_) return true;
    file_.close();
    day_ = day;
    // The records folder is the settings folder; only logs/ is made here.
    if (!QDir(recordsFolder_).exists() || !QDir().mkpath(folder())) return false;
    file_.setFileName(recordsFolder_ + QLatin1Char('/') + fileOf(day));
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    removeOldFiles();
    return true;
}

void SessionLog::write(LineClass lineClass, const QString& text) {
    if (recordsFolder_.isEmpty()) return;
    const QDateTime now = clock_();
    if (!openFor(now.date())) return failed(file_.errorString());
    QString masked = text;
    if (!secret_.isEmpty()) masked.replace(secret_, kMask);
    const QByteArray prefix = Stamp(now) + ' ' + ClassName(lineClass) + ' ';
    QByteArray bytes;
    for (QStringView line : QStringView(masked).split(u'\n')) {
        if (line.endsWith(u'\r')) line.chop(1);
        bytes += prefix;
        bytes += line.toUtf8();
        bytes += '\n';
    }
    if (file_.write(bytes) != bytes.size() || !file_.flush()) {
        const QString why = file_.errorString();
        file_.close();
        return failed(why);
    }
    failing_ = false;
}

void SessionLog::failed(const QString& why) {
    if (failing_) return;
    failing_ = true;
    if (notice_) notice_(RecordsMessages::logWriteFailed(QDir::toNativeSeparators(file_.fileName()), why));
}

void SessionLog::removeOldFiles() {
    const QDate oldest = clock_().date().addDays(-keepDays_);
    const QDir dir(folder());
    for (const QString& name : dir.entryList({QStringLiteral("*.log")}, QDir::Files)) {
        const QDate day = QDate::fromString(name.left(10), QStringLiteral("yyyy-MM-dd"));
        if (name.size() == 14 && day.isValid() && day < oldest) QFile::remove(dir.filePath(name));
    }
}

}  // namespace ifb
