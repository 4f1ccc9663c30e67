#include "NetworkAdapters.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>

namespace ifb {

QString AdapterFriendlyName(const QString& interfaceName, const QString& systemName,
                            const QString& sysClassNet) {
#ifdef Q_OS_LINUX
    const QString dir = sysClassNet + QLatin1Char('/') + interfaceName;
    if (!interfaceName.isEmpty() && (QFileInfo::exists(dir + QStringLiteral("/wireless")) ||
                                     QFileInfo::exists(dir + QStringLiteral("/phy80211"))))
        return QStringLiteral("Wi-Fi (%1)").arg(interfaceName);
#else
    Q_UNUSED(interfaceName);
    Q_UNUSED(sysClassNet);
#endif
    return systemName;
}

QList<NetworkAdapter> ListNetworkAdapters() {
    QList<NetworkAdapter> adapters;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        NetworkAdapter adapter;
        adapter.friendlyName = AdapterFriendlyName(iface.name(), iface.humanReadableName());
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries) {
            const QHostAddress ip = entry.ip();
            AdapterAddress address;
            switch (ip.protocol()) {
                case QAbstractSocket::IPv4Protocol:
                    address.family = AddressFamily::IPv4;
                    break;
                case QAbstractSocket::IPv6Protocol:
                    address.family = AddressFamily::IPv6;
                    break;
                default:
                    break;
            }
            address.text = ip.toString();
            address.prefixLength = entry.prefixLength();
            adapter.addresses.append(address);
        }
        adapters.append(adapter);
    }
    return adapters;
}

}  // namespace ifb
