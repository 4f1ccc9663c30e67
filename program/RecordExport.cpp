#include "RecordExport.h"

#include <QFileInfo>
#include <cstdio>

#include "RecordCsv.h"

namespace ifb {

int ExportRecords(const QString& exePath, const QString& csvPath, const QDate& since) {
    const QString recordsPath = RecordsPathFor(exePath);
    // Exporting never creates an empty records file.
    if (!QFileInfo::exists(recordsPath)) {
        std::fprintf(stderr, "No records file: %s\n", qPrintable(recordsPath));
        return 1;
    }
    RecordStore store(recordsPath);
    if (!store.open()) {
        std::fprintf(stderr, "Cannot open %s: %s\n", qPrintable(recordsPath), qPrintable(store.error()));
        return 1;
    }
    RecordFilter filter;
    filter.from = since;
    int count = 0;
    QString why;
    if (!ExportRecordsCsv(store, filter, csvPath, count, why)) {
        std::fprintf(stderr, "Cannot write %s: %s\n", qPrintable(csvPath), qPrintable(why));
        return 1;
    }
    std::fprintf(stderr, "%d records written to %s\n", count, qPrintable(csvPath));
    return 0;
}

}  // namespace ifb
