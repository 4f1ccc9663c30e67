#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <stdexcept>

#include "SerialTypes.h"

namespace ifb {

// Raised by TComPort::Open when the port cannot be opened with its settings.
class ComPortError : public std::runtime_error {
  public:
    explicit ComPortError(const QString& message, bool accessDenied = false)
        : std::runtime_error(message.toStdString()), accessDenied_(accessDenied) {}
    // The device exists but this user may not open it (not a port in use).
    bool accessDenied() const { return accessDenied_; }

  private:
    bool accessDenied_;
};

// Error set reported by TComPort::OnError.
enum ComError : quint32 {
    ceRead = 1u << 0,
    ceWrite = 1u << 1,
    ceDeviceLost = 1u << 2,
    ceUnsupported = 1u << 3,
    ceTimeout = 1u << 4,
    ceOther = 1u << 5,
};
using ComErrors = quint32;

// Text for the trace, e.g. "read error, device lost".
QString ComErrorsToStr(ComErrors errors);

// The serial port as the link uses it. Properties are set before Open; both
// events arrive on the thread that owns the object (the UI thread).
//
// Port names: a name without '/' is the system's name ("COM3", "ttyUSB0");
// a path (a pty, or a symlink to one) is resolved before it is opened.
class TComPort : public QObject {
    Q_OBJECT
  public:
    explicit TComPort(QObject* parent = nullptr);
    ~TComPort() override;

    const SerialLine& Line() const { return line_; }
    void SetLine(const SerialLine& line) { line_ = line; }
    const QString& Port() const { return line_.port; }
    void SetPort(const QString& port) { line_.port = port; }
    void SetBaudRate(ifb::BaudRate rate) { line_.baudRate = rate; }

    // Opens with the current properties (closing first if open); DTR and RTS
    // are dropped. Throws ComPortError on failure.
    void Open();
    // Never fails; closing a closed port does nothing.
    void Close();
    // True from a successful Open until Close.
    bool Connected() const { return connected_; }

    // Hands the bytes to the port and pushes them out without waiting.
    void Write(const char* bytes, int count);
    // Copies up to count received bytes; returns how many were copied.
    int Read(char* buffer, int count);
    // Bytes received and not yet read.
    int BytesAvailable() const;

  signals:
    // Bytes have arrived; count is the number now readable.
    void OnRxChar(int count);
    // Errors of the open port (read/write failures, device removed). After a
    // read failure the device counts as lost: reported once, then left alone.
    void OnError(ifb::ComErrors errors);

  private:
    void handleReadyRead();
    void handleError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    SerialLine line_;
    bool connected_ = false;
    bool opening_ = false;  // errors while setting up the lines are not line errors
    bool lost_ = false;     // the device failed; reads and writes stop until Close
};

}  // namespace ifb
