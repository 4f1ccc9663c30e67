#pragma once

#include <QList>

#include "NetworkAdapters.h"

namespace ifb {

class LogSink;

// Whether a Wi-Fi adapter of this PC holds an address in the board's network
// (192.168.0.x). The last such or link-local (169.254.x.x) IPv4 address met on
// an adapter named "Wi-Fi" decides; link-local addresses are logged.
bool CheckWiFiAdapter(const QList<NetworkAdapter>& adapters, LogSink& log);

// The same over this PC's adapters.
bool CheckWiFiAdapter(LogSink& log);

}  // namespace ifb
