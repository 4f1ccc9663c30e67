#include "NetworkPreflight.h"

#include <QHostAddress>
#include <QTcpServer>

#include "WriteMessages.h"

namespace ifb {

namespace {

bool SameNetwork(quint32 a, quint32 b, int prefixLength) {
    if (prefixLength <= 0) return prefixLength == 0;
    const quint32 mask = prefixLength >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefixLength);
    return (a & mask) == (b & mask);
}

}  // namespace

bool ProbeListen(const QString& address, QString* error) {
    QTcpServer server;
    if (server.listen(QHostAddress(address), 0)) return true;
    if (error) *error = server.errorString();
    return false;
}

PreflightResult RunNetworkPreflight(quint32 boardAddress, const QList<NetworkAdapter>& adapters,
                                    const ListenProbe& probe) {
    PreflightResult result;
    for (const NetworkAdapter& adapter : adapters) {
        for (const AdapterAddress& address : adapter.addresses) {
            if (address.family != AddressFamily::IPv4 || address.prefixLength < 0) continue;
            bool parsed = false;
            const quint32 ip = QHostAddress(address.text).toIPv4Address(&parsed);
            if (!parsed) continue;
            result.checked = true;
            if (!SameNetwork(ip, boardAddress, address.prefixLength)) continue;
            if (!result.inNetwork) {
                result.inNetwork = true;
                result.pcAddress = address.text;
                result.prefixLength = address.prefixLength;
                result.adapterName = adapter.friendlyName;
            } else if (adapter.friendlyName != result.adapterName) {
                result.otherAdapters.append({adapter.friendlyName, address.text});
            }
            break;  // one address per adapter is enough
        }
    }
    if (result.inNetwork) result.canListen = probe(result.pcAddress, &result.listenError);
    return result;
}

QStringList PreflightLogLines(const PreflightResult& result, const QString& boardAddress) {
    namespace m = write_messages;
    if (!result.checked) return {m::PreflightNoAdapterList()};
    if (!result.inNetwork) return {m::PreflightNotInNetwork(boardAddress)};
    QStringList lines{m::PreflightPcAddress(result.pcAddress, result.prefixLength, result.adapterName)};
    for (const AdapterHit& other : result.otherAdapters)
        lines.append(m::PreflightSecondAdapter(other.adapter, other.address));
    if (!result.canListen) lines.append(m::PreflightCannotListen(result.pcAddress, result.listenError));
    return lines;
}

}  // namespace ifb
