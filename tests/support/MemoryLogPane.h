#pragma once

#include <QStringList>

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
        lines.append(normalized.split(QLatin1Char('\n')));
    }

    QStringList lines;
};

}  // namespace ifb::test
