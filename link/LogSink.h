#pragma once

#include <QString>

namespace ifb {

// Where the main window's log lines go. Lines with always false show only
// while verbose logging is on.
class LogSink {
  public:
    virtual ~LogSink() = default;
    virtual void WriteLog(const QString& text, bool always) = 0;
};

}  // namespace ifb
