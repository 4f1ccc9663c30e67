#pragma once

#include <QByteArray>
#include <QString>

#include "EspImageFormat.h"

namespace ifb::espimage {

struct ImageReport {
    bool ok = false;
    QString error;  // first failed check, empty when ok
    int segmentCount = 0;
    bool hasAppDescriptor = false;
    QString version;  // app descriptor version, when present
    QString projectName;
};

// Structure checks of an app image: header fields, segment walk, checksum,
// appended hash, no stray trailing bytes; reads the app descriptor if present.
ImageReport CheckImage(const QByteArray& image, quint16 expectedChip = kChipEsp32);

}  // namespace ifb::espimage
