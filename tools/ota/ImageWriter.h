#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace ifb::espimage {

struct ImageHeader {
    quint8 spiMode = 2;          // DIO
    quint8 spiSpeedSize = 0x20;  // 4 MB flash, 40 MHz
    quint32 entryAddress = 0x40080000;
    quint16 chipId = 0;  // ESP32
    quint16 minRevFull = 0;
    quint16 maxRevFull = 399;
    bool hashAppended = true;
};

struct Segment {
    quint32 loadAddress = 0;
    QByteArray data;  // length must be a multiple of 4
};

// Header, segments, zero padding up to the checksum byte, checksum and (when
// asked for) the SHA-256 of everything before it.
QByteArray WriteImage(const ImageHeader& header, const std::vector<Segment>& segments);

struct AppDescription {
    QByteArray version;
    QByteArray projectName;
    QByteArray time;
    QByteArray date;
    QByteArray idfVersion;
};

// The 256-byte app descriptor; texts longer than their field are cut.
QByteArray AppDescriptor(const AppDescription& description);

constexpr qint64 kDefaultFirmwareSize = 1600000;
constexpr char kFirmwareProject[] = "ifb-firmware";

// The smallest firmware image MakeFirmwareImage can write.
qint64 MinimumFirmwareSize();
// The size MakeFirmwareImage writes for a request: rounded up to 16 bytes.
qint64 FirmwareSizeFor(qint64 requested);

// A deterministic, structurally valid (but not runnable) app image of
// FirmwareSizeFor(size) bytes: RAM-loaded segments of pseudo-random bytes,
// the first beginning with an app descriptor whose version is firmwareId.
// Returns an empty array and sets *error when the request cannot be met.
QByteArray MakeFirmwareImage(const QString& firmwareId, qint64 size, QString* error);

}  // namespace ifb::espimage
