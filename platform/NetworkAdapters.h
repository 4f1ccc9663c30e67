#pragma once

#include <QList>
#include <QString>

namespace ifb {

enum class AddressFamily { IPv4, IPv6, Other };

struct AdapterAddress {
    AddressFamily family = AddressFamily::Other;
    QString text;           // IPv4: dotted decimal
    int prefixLength = -1;  // the network's prefix; -1: not known
};

// One network adapter as the system names it to the user.
struct NetworkAdapter {
    QString friendlyName;
    QList<AdapterAddress> addresses;  // unicast addresses in system order
};

// The adapters of this PC with their unicast addresses.
QList<NetworkAdapter> ListNetworkAdapters();

// The name shown for an interface. Linux has no friendly names, so a wireless
// interface (one with a wireless or phy80211 entry under sysClassNet/IF) is
// called "Wi-Fi (IF)"; others keep the system's name.
QString AdapterFriendlyName(const QString& interfaceName, const QString& systemName,
                            const QString& sysClassNet = QStringLiteral("/sys/class/net"));

}  // namespace ifb
