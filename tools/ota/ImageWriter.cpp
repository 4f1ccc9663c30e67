#include "ImageWriter.h"

#include <QCryptographicHash>
#include <algorithm>

#include "EspImageFormat.h"

namespace ifb::espimage {
namespace {

void putLe16(QByteArray& out, int at, quint16 value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>(value >> 8);
}

void putLe32(QByteArray& out, int at, quint32 value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void appendLe32(QByteArray& out, quint32 value) {
    for (int i = 0; i < 4; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void putText(QByteArray& out, int at, const QByteArray& text, int field) {
    const QByteArray cut = text.left(field - 1);  // keep a terminating NUL
    for (int i = 0; i < cut.size(); ++i) out[at + i] = cut[i];
}

constexpr int kFixedOverhead = kHeaderSize + 1 + kHashSize;  // header, checksum, hash
constexpr qint64 kFillerSegment = 0x20000;
constexpr quint32 kDramAddress = 0x3FFB0000;

int segmentCountFor(qint64 size) {
    const qint64 data = size - kFixedOverhead;
    const qint64 count =
        (data + kFillerSegment + kSegmentHeaderSize - 1) / (kFillerSegment + kSegmentHeaderSize);
    return static_cast<int>(std::clamp<qint64>(count, 1, kMaxSegments));
}

// xorshift32: cheap, deterministic filler that does not compress away.
class Filler {
  public:
    explicit Filler(const QByteArray& seedText) {
        const QByteArray digest = QCryptographicHash::hash(seedText, QCryptographicHash::Sha256);
        for (int i = 0; i < 4; ++i) state_ = (state_ << 8) | static_cast<quint8>(digest[i]);
        if (state_ == 0) state_ = 0x9E3779B9u;
    }
    void fill(char* out, qint64 count) {
        for (qint64 i = 0; i < count; ++i) {
            state_ ^= state_ << 13;
            state_ ^= state_ >> 17;
            state_ ^= state_ << 5;
            out[i] = static_cast<char>(state_ & 0xFF);
        }
    }

  private:
    quint32 state_ = 0;
};

}  // namespace

QByteArray WriteImage(const ImageHeader& header, const std::vector<Segment>& segments) {
    QByteArray out(kHeaderSize, '\0');
    out[0] = static_cast<char>(kMagic);
    out[kOffSegmentCount] = static_cast<char>(segments.size());
    out[kOffSpiMode] = static_cast<char>(header.spiMode);
    out[kOffSpiSpeedSize] = static_cast<char>(header.spiSpeedSize);
    putLe32(out, kOffEntry, header.entryAddress);
    out[kOffWpPin] = static_cast<char>(0xEE);  // write-protect pin disabled
    putLe16(out, kOffChipId, header.chipId);
    putLe16(out, kOffMinRevFull, header.minRevFull);
    putLe16(out, kOffMaxRevFull, header.maxRevFull);
    out[kOffHashAppended] = header.hashAppended ? 1 : 0;

    quint8 checksum = kChecksumSeed;
    for (const Segment& segment : segments) {
        appendLe32(out, segment.loadAddress);
        appendLe32(out, static_cast<quint32>(segment.data.size()));
        out.append(segment.data);
        for (char byte : segment.data) checksum ^= static_cast<quint8>(byte);
    }
    while (out.size() % 16 != 15) out.append('\0');
    out.append(static_cast<char>(checksum));
    if (header.hashAppended) out.append(QCryptographicHash::hash(out, QCryptographicHash::Sha256));
    return out;
}

QByteArray AppDescriptor(const AppDescription& description) {
    QByteArray out(kAppDescSize, '\0');
    putLe32(out, 0, kAppDescMagic);
    putText(out, kAppDescVersion, description.version, kAppDescTextSize);
    putText(out, kAppDescProject, description.projectName, kAppDescTextSize);
    putText(out, kAppDescTime, description.time, kAppDescShortTextSize);
    putText(out, kAppDescDate, description.date, kAppDescShortTextSize);
    putText(out, kAppDescIdfVer, description.idfVersion, kAppDescTextSize);
    // Stands in for the ELF hash: the same id always gives the same bytes.
    const QByteArray elfSha = QCryptographicHash::hash(description.version, QCryptographicHash::Sha256);
    for (int i = 0; i < kHashSize; ++i) out[kAppDescElfSha + i] = elfSha[i];
    return out;
}

qint64 MinimumFirmwareSize() {
    return FirmwareSizeFor(kFixedOverhead + kSegmentHeaderSize + kAppDescSize);
}

qint64 FirmwareSizeFor(qint64 requested) {
    return (requested + 15) / 16 * 16;
}

QByteArray MakeFirmwareImage(const QString& firmwareId, qint64 size, QString* error) {
    const QByteArray id = firmwareId.toLatin1();
    if (id.isEmpty() || id.size() >= kAppDescTextSize) {
        if (error)
            *error = QStringLiteral("firmware id must be 1 to %1 characters").arg(kAppDescTextSize - 1);
        return {};
    }
    const qint64 total = FirmwareSizeFor(size);
    if (total < MinimumFirmwareSize()) {
        if (error) *error = QStringLiteral("size must be at least %1 bytes").arg(MinimumFirmwareSize());
        return {};
    }
    if (total > 64 * 1024 * 1024) {
        if (error) *error = QStringLiteral("size must be at most 64 MiB");
        return {};
    }
    // total = header + count segment headers + data + pad + checksum + hash, with
    // pad < 4 chosen so that the checksum lands on a 16-byte boundary's last byte.
    const int count = segmentCountFor(total);
    const qint64 dataAndPad = total - kFixedOverhead - qint64{count} * kSegmentHeaderSize;
    const qint64 data = dataAndPad & ~qint64{3};

    ImageHeader header;
    std::vector<Segment> segments(static_cast<size_t>(count));
    Filler filler(id);
    const qint64 share = (data / count) & ~qint64{3};
    qint64 left = data;
    for (int i = 0; i < count; ++i) {
        const qint64 length = i + 1 == count ? left : share;
        left -= length;
        Segment& segment = segments[static_cast<size_t>(i)];
        segment.loadAddress = kDramAddress;
        segment.data.resize(length);
        filler.fill(segment.data.data(), length);
    }
    const QByteArray desc = AppDescriptor({id, kFirmwareProject, "00:00:00", "Jan  1 2026", "mkfwimage"});
    segments[0].data.replace(0, desc.size(), desc);
    QByteArray image = WriteImage(header, segments);
    Q_ASSERT(image.size() == total);
    return image;
}

}  // namespace ifb::espimage
