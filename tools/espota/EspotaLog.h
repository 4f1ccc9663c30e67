#pragma once

#include <QString>

namespace ifb::espota {

enum class Level { Debug = 10, Info = 20, Warning = 30, Error = 40, Critical = 50 };

// espota's output: everything on stderr. Log lines read "HH:MM:SS [LEVEL]: message";
// progress text (the invitation line, dots, the bar) is written as it is.
class EspotaLog {
  public:
    explicit EspotaLog(Level threshold) : threshold_(threshold) {}

    void log(Level level, const QString& message);
    void debug(const QString& message) { log(Level::Debug, message); }
    void info(const QString& message) { log(Level::Info, message); }
    void warning(const QString& message) { log(Level::Warning, message); }
    void error(const QString& message) { log(Level::Error, message); }
    void critical(const QString& message) { log(Level::Critical, message); }

    // Raw progress text, flushed at once (readers of a pipe see every dot).
    void progress(const QString& text);
    // Ends a progress line that is still open.
    void endLine();

  private:
    Level threshold_;
    bool lineOpen_ = false;
};

}  // namespace ifb::espota
