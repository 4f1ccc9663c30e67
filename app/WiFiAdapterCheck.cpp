#include "WiFiAdapterCheck.h"

#include "LogSink.h"

namespace ifb {

bool CheckWiFiAdapter(const QList<NetworkAdapter>& adapters, LogSink& log) {
    bool inBoardNetwork = false;
    for (const NetworkAdapter& adapter : adapters) {
        if (!adapter.friendlyName.contains(QStringLiteral("Wi-Fi"))) continue;
        for (const AdapterAddress& address : adapter.addresses) {
            if (address.family != AddressFamily::IPv4) continue;
            // Plain text tests on purpose: these are what the operator sees logged.
            const QString text = QStringLiteral("IPv4:") + address.text;
            if (text.contains(QStringLiteral("192.168.0"))) {
                inBoardNetwork = true;
            } else if (text.contains(QStringLiteral("169.254."))) {
                inBoardNetwork = false;
                log.WriteLog(text, true);
            }
        }
    }
    return inBoardNetwork;
}

bool CheckWiFiAdapter(LogSink& log) {
    return CheckWiFiAdapter(ListNetworkAdapters(), log);
}

}  // namespace ifb
