#pragma once

#include "ComPort.h"
#include "SerialTypes.h"
#include "Transport.h"

namespace ifb {

// The serial port as a transport. Open is immediate; a port that does not open
// traces the reason and reports the operator's message through openFailed.
// An unplugged device stays "open" until closed: nothing reopens it by itself.
class SerialTransport final : public Transport {
  public:
    explicit SerialTransport(const SerialLine& line);
    ~SerialTransport() override;

    void open() override;
    void close() override;
    bool isOpen() const override { return port_.Connected(); }
    void write(const QByteArray& bytes) override;
    qint64 bytesAvailable() const override;
    int read(char* buffer, int max) override;
    bool setPortName(const QString& name) override;
    bool decodesWhileClosed() const override { return false; }

    TComPort& port() { return port_; }

  private:
    TComPort port_;
};

}  // namespace ifb
