#include "UpdateRecord.h"

#include <QVariant>

namespace ifb {
namespace {

QVariant Text(const QString& s) {
    return s.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(s);
}

QVariant TextOrNull(const QString& s) {
    return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s);
}

template <typename T>
QVariant NumberOrNull(const std::optional<T>& v) {
    return v ? QVariant::fromValue(*v) : QVariant(QMetaType::fromType<T>());
}

}  // namespace

QVariantList RecordValues(const UpdateRecord& r) {
    return {Text(r.uuid),
            RecordTime(r.startedAt),
            RecordTime(r.finishedAt),
            Text(r.station),
            Text(r.operatorName),
            Text(r.programVersion),
            Text(r.firmwareId),
            Text(r.imageSha256),
            r.imageSize,
            Text(r.port),
            Text(r.model),
            Text(r.targetId),
            Text(r.romBefore),
            Text(r.romAfter),
            Text(r.outcome),
            NumberOrNull(r.outcomeCode),
            TextOrNull(r.ngCode),
            r.durationMs,
            r.stages.isEmpty() ? QStringLiteral("{}") : r.stages,
            Text(r.uploader),
            Text(r.uploaderSha256),
            NumberOrNull(r.bytesSent),
            Text(r.logFile),
            r.syncedAt ? QVariant(RecordTime(*r.syncedAt)) : TextOrNull(QString()),
            NumberOrNull(r.unit)};
}

QStringList RecordTexts(const UpdateRecord& r) {
    QStringList texts;
    for (const QVariant& v : RecordValues(r)) texts << (v.isNull() ? QString() : v.toString());
    return texts;
}

}  // namespace ifb
