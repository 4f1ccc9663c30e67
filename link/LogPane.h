#pragma once

#include <QString>

namespace ifb {

// The main window's log pane as the link and the workflow see it. The link's
// trace and the main window's log write into the same pane.
class LogPane {
  public:
    virtual ~LogPane() = default;
    virtual int lineCount() const = 0;
    virtual void clear() = 0;
    // Appends text as it stands; line breaks inside it make further lines.
    virtual void appendLine(const QString& text) = 0;
};

// The pane never grows past 2000 lines: the line that would pass it starts a new pane.
constexpr int kLogPaneLineLimit = 2000;

inline void AppendLogLine(LogPane& pane, const QString& text) {
    if (pane.lineCount() >= kLogPaneLineLimit) pane.clear();
    pane.appendLine(text);
}

}  // namespace ifb
