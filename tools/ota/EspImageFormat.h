#pragma once

#include <QtGlobal>

// Layout constants of an ESP32 application image (header, segments, checksum,
// appended SHA-256, and the app descriptor at the start of the first segment).
namespace ifb::espimage {

constexpr quint8 kMagic = 0xE9;
constexpr int kHeaderSize = 24;
constexpr int kSegmentHeaderSize = 8;
constexpr int kMaxSegments = 16;
constexpr quint8 kMaxSpiMode = 5;
constexpr quint8 kMaxFlashSizeCode = 7;
constexpr quint8 kChecksumSeed = 0xEF;
constexpr int kHashSize = 32;
constexpr quint32 kMaxSegmentLength = 16u * 1024u * 1024u;
constexpr quint16 kChipEsp32 = 0x0000;

// Header field offsets.
constexpr int kOffSegmentCount = 1;
constexpr int kOffSpiMode = 2;
constexpr int kOffSpiSpeedSize = 3;
constexpr int kOffEntry = 4;
constexpr int kOffWpPin = 8;
constexpr int kOffChipId = 12;
constexpr int kOffMinRevFull = 15;
constexpr int kOffMaxRevFull = 17;
constexpr int kOffHashAppended = 23;

// App descriptor (esp_app_desc_t) at file offset 0x20: the data of segment 0.
constexpr quint32 kAppDescMagic = 0xABCD5432;
constexpr int kAppDescOffset = 0x20;
constexpr int kAppDescSize = 256;
constexpr int kAppDescVersion = 16;  // char[32]
constexpr int kAppDescProject = 48;  // char[32]
constexpr int kAppDescTime = 80;     // char[16]
constexpr int kAppDescDate = 96;     // char[16]
constexpr int kAppDescIdfVer = 112;  // char[32]
constexpr int kAppDescElfSha = 144;  // u8[32]
constexpr int kAppDescTextSize = 32;
constexpr int kAppDescShortTextSize = 16;

}  // namespace ifb::espimage
