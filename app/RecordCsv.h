#pragma once

#include <QString>

#include "RecordStore.h"

class QIODevice;

namespace ifb {

// One CSV field: quoted when it holds a comma, a quote, a line break or
// another control character, quotes doubled. A text that a spreadsheet would
// take for a formula (=, +, -, @ first) gets a leading apostrophe.
QString CsvField(const QString& text);

// The records the filter takes, newest first, as CSV: UTF-8 with a byte-order
// mark (so a spreadsheet reads the Japanese texts right), one header line with
// the column names, CRLF line ends.
bool WriteRecordsCsv(RecordStore& store, const RecordFilter& filter, QIODevice& out, int& count);

// The same into a file, which is replaced only when it was written entirely.
bool ExportRecordsCsv(RecordStore& store, const RecordFilter& filter, const QString& path, int& count,
                      QString& why);

// The records file of a program installed at exePath.
QString RecordsPathFor(const QString& exePath);

}  // namespace ifb
