#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "NetworkAdapters.h"

namespace ifb {

struct AdapterHit {
    QString adapter;
    QString address;
};

// Whether the board's connection back can reach this PC, checked before the
// upload tool runs.
struct PreflightResult {
    bool checked = false;    // false: no usable adapter list, nothing was checked
    bool inNetwork = false;  // (a) an address of this PC lies in the board's network
    QString pcAddress;       // the first such address
    int prefixLength = -1;
    QString adapterName;
    QList<AdapterHit> otherAdapters;  // (b) further adapters in the same network
    bool canListen = true;            // (c) a TCP port could be bound on pcAddress
    QString listenError;

    // Only (a) stops the update; a check that could not be made never does.
    bool blocksUpload() const { return checked && !inNetwork; }
};

// Binds a TCP port on the address and releases it; false with the reason.
using ListenProbe = std::function<bool(const QString& address, QString* error)>;

bool ProbeListen(const QString& address, QString* error);

// boardAddress: the board's IPv4 address as GetApInfo reported it (host order).
// A list without one IPv4 address of known prefix (an empty one: the list
// could not be read) leaves the check unmade.
PreflightResult RunNetworkPreflight(quint32 boardAddress, const QList<NetworkAdapter>& adapters,
                                    const ListenProbe& probe = ProbeListen);

// The result as always-class log lines.
QStringList PreflightLogLines(const PreflightResult& result, const QString& boardAddress);

}  // namespace ifb
