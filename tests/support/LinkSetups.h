#pragma once

#include "TTComXDlg.h"

namespace ifb::test {

// Link setups as the main window makes them, for each transport.
inline LinkSetup SerialSetup(const QString& port, int speedCode = 4, int parityCode = 0) {
    LinkSetup setup;
    setup.transportKind = kTransportSerial;
    setup.comPort = port;
    setup.speedCode = speedCode;
    setup.parityCode = parityCode;
    return setup;
}

inline LinkSetup TcpClientSetup(quint16 port, const QString& address = QStringLiteral("127.0.0.1")) {
    LinkSetup setup;
    setup.transportKind = kTransportTcp;
    setup.tcpClientPort = port;
    setup.tcpClientAddr = address;
    return setup;
}

inline LinkSetup TcpServerSetup(quint16 port) {
    LinkSetup setup;
    setup.transportKind = kTransportTcp;
    setup.tcpListenPort = port;
    setup.tcpServerMode = 1;
    return setup;
}

}  // namespace ifb::test
