#include "EspotaLog.h"

#include <QTime>
#include <cstdio>

namespace ifb::espota {
namespace {

const char* levelName(Level level) {
    switch (level) {
        case Level::Debug:
            return "DEBUG";
        case Level::Info:
            return "INFO";
        case Level::Warning:
            return "WARNING";
        case Level::Error:
            return "ERROR";
        case Level::Critical:
            break;
    }
    return "CRITICAL";
}

}  // namespace

void EspotaLog::log(Level level, const QString& message) {
    if (level < threshold_) return;
    endLine();  // a log line never continues a line of dots
    const QString line = QStringLiteral("%1 [%2]: %3\n")
                             .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
                                  QLatin1String(levelName(level)), message);
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void EspotaLog::progress(const QString& text) {
    if (text.isEmpty()) return;
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    lineOpen_ = !text.endsWith(QLatin1Char('\n'));
}

void EspotaLog::endLine() {
    if (!lineOpen_) return;
    std::fputs("\n", stderr);
    std::fflush(stderr);
    lineOpen_ = false;
}

}  // namespace ifb::espota
