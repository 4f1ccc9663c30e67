#include "ImageChecker.h"

#include <QCryptographicHash>

namespace ifb::espimage {
namespace {

quint32 le32(const QByteArray& bytes, qint64 at) {
    quint32 value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<quint8>(bytes[at + i]);
    return value;
}

quint16 le16(const QByteArray& bytes, qint64 at) {
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) | (static_cast<quint8>(bytes[at + 1]) << 8));
}

QString text(const QByteArray& bytes, qint64 at, int field) {
    QByteArray raw = bytes.mid(at, field);
    const qsizetype nul = raw.indexOf('\0');
    if (nul >= 0) raw.truncate(nul);
    return QString::fromLatin1(raw);
}

QString hex(char byte, int digits) {
    return QString::number(static_cast<quint8>(byte), 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}
QString hex(quint16 value, int digits) {
    return QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}
QString hex(quint8 value, int digits) {
    return hex(static_cast<quint16>(value), digits);
}

ImageReport fail(ImageReport report, const QString& error) {
    report.ok = false;
    report.error = error;
    return report;
}

}  // namespace

ImageReport CheckImage(const QByteArray& image, quint16 expectedChip) {
    ImageReport report;
    if (image.size() < kHeaderSize) return fail(report, QStringLiteral("shorter than the image header"));
    if (static_cast<quint8>(image[0]) != kMagic)
        return fail(report, QStringLiteral("bad magic byte 0x%1 (expected 0xE9)").arg(hex(image[0], 2)));
    const int count = static_cast<quint8>(image[kOffSegmentCount]);
    if (count < 1 || count > kMaxSegments)
        return fail(report, QStringLiteral("bad segment count %1").arg(count));
    if (static_cast<quint8>(image[kOffSpiMode]) > kMaxSpiMode)
        return fail(report, QStringLiteral("bad SPI mode %1").arg(static_cast<quint8>(image[kOffSpiMode])));
    if ((static_cast<quint8>(image[kOffSpiSpeedSize]) >> 4) > kMaxFlashSizeCode)
        return fail(
            report,
            QStringLiteral("bad flash size code %1").arg(static_cast<quint8>(image[kOffSpiSpeedSize]) >> 4));
    const quint16 chip = le16(image, kOffChipId);
    if (chip != expectedChip)
        return fail(
            report,
            QStringLiteral("chip id 0x%1 does not match 0x%2").arg(hex(chip, 4), hex(expectedChip, 4)));
    report.segmentCount = count;

    quint8 checksum = kChecksumSeed;
    qint64 at = kHeaderSize;
    for (int i = 0; i < count; ++i) {
        if (at + kSegmentHeaderSize > image.size())
            return fail(report, QStringLiteral("segment %1 header runs past the end of the file").arg(i));
        const quint32 length = le32(image, at + 4);
        if (length % 4 != 0 || length >= kMaxSegmentLength)
            return fail(report, QStringLiteral("segment %1 has an invalid length %2").arg(i).arg(length));
        at += kSegmentHeaderSize;
        if (at + length > image.size())
            return fail(report, QStringLiteral("segment %1 data runs past the end of the file").arg(i));
        const char* data = image.constData() + at;
        for (quint32 k = 0; k < length; ++k) checksum ^= static_cast<quint8>(data[k]);
        at += length;
    }
    while (at % 16 != 15) ++at;
    if (at >= image.size()) return fail(report, QStringLiteral("checksum byte missing"));
    if (static_cast<quint8>(image[at]) != checksum)
        return fail(report, QStringLiteral("checksum mismatch (file 0x%1, computed 0x%2)")
                                .arg(hex(image[at], 2), hex(checksum, 2)));
    ++at;
    if (image[kOffHashAppended] == 1) {
        if (at + kHashSize > image.size()) return fail(report, QStringLiteral("appended SHA-256 missing"));
        const QByteArray digest = QCryptographicHash::hash(image.left(at), QCryptographicHash::Sha256);
        if (image.mid(at, kHashSize) != digest)
            return fail(report, QStringLiteral("appended SHA-256 mismatch"));
        at += kHashSize;
    }
    if (at != image.size())
        return fail(report, QStringLiteral("%1 unexpected bytes after the image").arg(image.size() - at));

    if (image.size() >= kAppDescOffset + kAppDescSize && le32(image, kAppDescOffset) == kAppDescMagic) {
        report.hasAppDescriptor = true;
        report.version = text(image, kAppDescOffset + kAppDescVersion, kAppDescTextSize);
        report.projectName = text(image, kAppDescOffset + kAppDescProject, kAppDescTextSize);
    }
    report.ok = true;
    return report;
}

}  // namespace ifb::espimage
