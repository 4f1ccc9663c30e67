#include "LinkTransport.h"

#include "SerialTransport.h"
#include "TcpTransports.h"

namespace ifb {
namespace {

TransportFactory& factorySlot() {
    static TransportFactory factory;
    return factory;
}

}  // namespace

SerialLine CreationLine(int kind, const SerialLine& read, const QString& port, int speedCode,
                        int parityCode) {
    if (kind != kTransportSerial) return SerialLine{};
    SerialLine line = read;
    line.port = port;
    line.baudRate = BaudRateFromSpeedCode(speedCode);
    line.parity = ParityFromCode(parityCode);
    return line;
}

std::unique_ptr<Transport> MakeLinkTransport(const TransportSetup& setup) {
    switch (setup.kind) {
        case kTransportSerial:
            return std::make_unique<SerialTransport>(setup.line);
        case kTransportTcp:
            if (setup.settings.tcpServerMode != 0)
                return std::make_unique<TcpServerTransport>(
                    static_cast<quint16>(setup.settings.tcpListenPort));
            return std::make_unique<TcpClientTransport>(setup.settings.tcpClientAddr,
                                                        static_cast<quint16>(setup.settings.tcpClientPort));
        default:
            // Kind 1 has no transport; any other value sends as serial over a
            // port that is never opened, which comes to the same.
            return nullptr;
    }
}

void SetTransportFactory(TransportFactory factory) {
    factorySlot() = std::move(factory);
}

std::unique_ptr<Transport> CreateLinkTransport(const TransportSetup& setup) {
    const TransportFactory& factory = factorySlot();
    return factory ? factory(setup) : MakeLinkTransport(setup);
}

}  // namespace ifb
