#pragma once

#include <QDate>
#include <QString>

namespace ifb {

// --export-records: the records of the program at exePath (from since on,
// when valid) as CSV into csvPath, without a window. 0 written, 1 failed.
int ExportRecords(const QString& exePath, const QString& csvPath, const QDate& since);

}  // namespace ifb
