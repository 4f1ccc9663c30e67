#pragma once

#include <functional>
#include <memory>

#include "LinkSettings.h"
#include "SerialTypes.h"
#include "Transport.h"

namespace ifb {

// What a link's transport is made from: its kind ("UseUSB") and the values
// the link was created with.
struct TransportSetup {
    int kind = kTransportSerial;
    SerialLine line;
    LinkSettings settings;
};

// The line a link reports and opens: for the serial kind the line read from
// the settings with the caller's port, speed code and parity code; the
// defaults for the other kinds, which do not use it.
SerialLine CreationLine(int kind, const SerialLine& read, const QString& port, int speedCode, int parityCode);

// The product's transports: serial for kind 0, the TCP server or client for
// kind 2 (by the server mode), none for kind 1 and for unknown kinds.
std::unique_ptr<Transport> MakeLinkTransport(const TransportSetup& setup);

using TransportFactory = std::function<std::unique_ptr<Transport>(const TransportSetup&)>;
// The factory every link created from now on uses; an empty one restores
// MakeLinkTransport. Tests put their own transports under the link with it.
void SetTransportFactory(TransportFactory factory);
std::unique_ptr<Transport> CreateLinkTransport(const TransportSetup& setup);

}  // namespace ifb
