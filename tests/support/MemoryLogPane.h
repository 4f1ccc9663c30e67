#pragma once

#include <QStringList>
#include <functional>

#include "LogPane.h"

namespace ifb::test {

// The log pane as a list of lines.
class MemoryLogPane final : public LogPane {
  public:
    int lineCount() const override { return static_cast<int>(lines.size()); }
    void clear() override { lines.clear(); }
    void appendLine(const QString& text) override {
        QString normalized = text;
        normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const QStringList added = normalized.split(QLatin1Char('\n'));
        lines.append(added);
        if (onLine)
            for (const QString& line : added) onLine(line);
    }

    QStringList lines;
    // Called for every line as it is added.
    std::function<void(const QString&)> onLine;
};

}  // namespace ifb::test
