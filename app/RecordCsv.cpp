#include "RecordCsv.h"

#include <QSaveFile>

#include "AppPaths.h"

namespace ifb {
namespace {

constexpr int kPageSize = 2000;

QByteArray Line(const QStringList& fields) {
    QStringList quoted;
    for (const QString& f : fields) quoted << CsvField(f);
    return quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

}  // namespace

QString CsvField(const QString& text) {
    QString t = text;
    static const QString formulaStarts = QStringLiteral("=+-@");
    if (!t.isEmpty() && formulaStarts.contains(t.front())) t.prepend(QLatin1Char('\''));
    bool quote = false;
    for (const QChar c : t) {
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c.unicode() < 0x20 || c.unicode() == 0x7F) {
            quote = true;
            break;
        }
    }
    if (!quote) return t;
    t.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

bool WriteRecordsCsv(RecordStore& store, const RecordFilter& filter, QIODevice& out, int& count) {
    count = 0;
    QByteArray bytes = "\xEF\xBB\xBF" + Line(RecordColumns());
    if (out.write(bytes) != bytes.size()) return false;
    const int total = store.count(filter);
    for (int offset = 0; offset < total; offset += kPageSize) {
        bytes.clear();
        const QList<UpdateRecord> page = store.page(filter, offset, kPageSize);
        for (const UpdateRecord& r : page) bytes += Line(RecordTexts(r));
        if (out.write(bytes) != bytes.size()) return false;
        count += static_cast<int>(page.size());
        if (page.size() < kPageSize) break;
    }
    return true;
}

bool ExportRecordsCsv(RecordStore& store, const RecordFilter& filter, const QString& path, int& count,
                      QString& why) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !WriteRecordsCsv(store, filter, file, count) || !file.commit()) {
        why = file.errorString();
        return false;
    }
    return true;
}

QString RecordsPathFor(const QString& exePath) {
    return RecordsFileBeside(MakeSettingsPath(exePath));
}

}  // namespace ifb
