#pragma once

#include <QString>
#include <QtGlobal>

namespace ifb {

// The link's own settings (section "ComDebug" besides the serial line) and the
// TCP values it is created with.
struct LinkSettings {
    quint8 idNo = 0;        // ID byte of every request
    int tcpListenPort = 0;  // server mode
    int tcpServerMode = 0;  // non-zero: TCP server
    int tcpClientPort = 0;
    QString tcpClientAddr;
    int maxRecNo = 200;  // kept only to be written back
    int fDispCont1 = 1;  // kept only to be written back
};

// Transports selected by the "UseUSB" setting.
enum TransportKind : int { kTransportSerial = 0, kTransportNone = 1, kTransportTcp = 2 };

}  // namespace ifb
