#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

namespace ifb {

// One unit's trace: an update that passed the join dialog, or a board refused
// at start-up. The fields are the columns of the table "updates"; scripts and
// reports rely on those names.
struct UpdateRecord {
    QString uuid;
    QDateTime startedAt;   // UTC
    QDateTime finishedAt;  // UTC
    QString station;
    QString operatorName;  // column "operator"
    QString programVersion;
    QString firmwareId;
    QString imageSha256;
    qint64 imageSize = 0;
    QString port;
    QString model;
    QString targetId;
    QString romBefore;
    QString romAfter;
    QString outcome;  // ok, aborted, timeout, tool_failed, cancelled, refused
    std::optional<int> outcomeCode;
    QString ngCode;  // empty: NULL
    qint64 durationMs = 0;
    QString stages;  // JSON object: stage name -> milliseconds
    QString uploader;
    QString uploaderSha256;
    std::optional<qint64> bytesSent;
    QString logFile;  // the session's log file, relative to the records folder
    std::optional<QDateTime> syncedAt;
    std::optional<int> unit;  // the station's unit number in station mode
};

// The columns in the order of the CSV export and of every insert.
inline const QStringList& RecordColumns() {
    static const QStringList columns{
        QStringLiteral("uuid"),         QStringLiteral("started_at"),   QStringLiteral("finished_at"),
        QStringLiteral("station"),      QStringLiteral("operator"),     QStringLiteral("program_version"),
        QStringLiteral("firmware_id"),  QStringLiteral("image_sha256"), QStringLiteral("image_size"),
        QStringLiteral("port"),         QStringLiteral("model"),        QStringLiteral("target_id"),
        QStringLiteral("rom_before"),   QStringLiteral("rom_after"),    QStringLiteral("outcome"),
        QStringLiteral("outcome_code"), QStringLiteral("ng_code"),      QStringLiteral("duration_ms"),
        QStringLiteral("stages"),       QStringLiteral("uploader"),     QStringLiteral("uploader_sha256"),
        QStringLiteral("bytes_sent"),   QStringLiteral("log_file"),     QStringLiteral("synced_at"),
        QStringLiteral("unit")};
    return columns;
}

// A record's values in the order of RecordColumns(), as a database takes them:
// NULL where a value is absent (no NG code, no outcome code, not synced, ...).
QVariantList RecordValues(const UpdateRecord& r);
// The same values as texts, an absent one as an empty text.
QStringList RecordTexts(const UpdateRecord& r);

// Timestamps as the records hold them: ISO 8601, UTC, milliseconds.
inline QString RecordTime(const QDateTime& t) {
    return t.isValid() ? t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")) : QString();
}
inline QDateTime ParseRecordTime(const QString& text) {
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : t;
}

}  // namespace ifb
