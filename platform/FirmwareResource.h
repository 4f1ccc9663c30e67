#pragma once

#include <QByteArray>
#include <QString>

namespace ifb {

// The firmware image the executable carries as the resource ":/firmware/<id>"
// (linked in by the ifb_firmware library). *ok tells whether it exists; a
// missing resource gives an empty array.
QByteArray LoadFirmware(const QString& firmwareId, bool* ok);

}  // namespace ifb
