#pragma once

#include <QStringList>

namespace ifb::test {

// An update's log up to its outcome lines: without the NG code line and the
// stage timings that follow them.
inline QStringList OutcomeLog(QStringList log) {
    while (!log.isEmpty() && log.last().startsWith(QStringLiteral("工程 "))) log.removeLast();
    if (!log.isEmpty() && log.last().startsWith(QStringLiteral("NG-"))) log.removeLast();
    return log;
}

}  // namespace ifb::test
