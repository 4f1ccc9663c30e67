#pragma once

#include <QString>
#include <QtGlobal>

namespace ifb {

// The board's network settings (parameter items 0x02, 0x03 and 0x04).
struct TCPIPPARAM {
    QString ssid;
    QString password;
    quint8 flags = 0;  // bit 6: access-point mode; bit 5: address by DHCP
    quint32 netMask = 0;
    quint16 tcpPort = 0;
    quint32 ipAddress = 0;  // first dotted octet in the top byte
    // Carried as read; the main window copies value1 and value2 into its TCP settings.
    quint16 value1 = 0;
    quint32 value2 = 0;
    quint32 value3 = 0;
    quint32 value4 = 0;
};

// The board's access point as the update uses it (parameter item 0x71).
struct WiFi_AP {
    QString ssid;
    QString password;
    quint16 port = 0;
    quint32 ipAddress = 0;  // first dotted octet in the top byte
    QString text1;
    QString text2;
};

// "192.168.4.1" for 0xC0A80401.
inline QString DottedAddress(quint32 address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFFu)
        .arg((address >> 8) & 0xFFu)
        .arg(address & 0xFFu);
}

}  // namespace ifb
