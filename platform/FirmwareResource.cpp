#include "FirmwareResource.h"

#include <QFile>

namespace ifb {

QByteArray LoadFirmware(const QString& firmwareId, bool* ok) {
    QByteArray bytes;
    bool found = false;
    if (!firmwareId.isEmpty() && !firmwareId.contains(QLatin1Char('/'))) {
        QFile file(QStringLiteral(":/firmware/") + firmwareId);
        if (file.open(QIODevice::ReadOnly)) {
            bytes = file.readAll();
            found = true;
        }
    }
    if (ok) *ok = found;
    return bytes;
}

}  // namespace ifb
