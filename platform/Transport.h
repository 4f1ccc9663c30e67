#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace ifb {

// One byte stream to the board: a serial port or a TCP connection. The link
// owns one and sees only this. Every signal arrives on the owner's thread.
class Transport : public QObject {
    Q_OBJECT
  public:
    explicit Transport(QObject* parent = nullptr) : QObject(parent) {}
    ~Transport() override = default;

    // Opens the port, or starts connecting or listening (sockets report the
    // connection later through stateChanged). What was open is dropped first.
    virtual void open() = 0;
    // Never fails; closing a closed transport does nothing.
    virtual void close() = 0;
    // Serial: the port is open; sockets: a peer is connected.
    virtual bool isOpen() const = 0;
    // Hands the bytes to the peer at once; nothing is sent while closed.
    virtual void write(const QByteArray& bytes) = 0;
    // Received bytes not read yet.
    virtual qint64 bytesAvailable() const = 0;
    // Copies up to max received bytes; returns how many.
    virtual int read(char* buffer, int max) = 0;

    // The port opened from now on, for a transport that opens one by name;
    // false (and nothing changes) for the others.
    virtual bool setPortName(const QString&) { return false; }
    // Opening and closing complete later, through events (sockets): whoever
    // needs the outcome waits for the state.
    virtual bool settlesLater() const { return false; }
    // What arrived may be decoded while closed (what a peer sent before it
    // left). A closed serial port keeps it for when the port opens again.
    virtual bool decodesWhileClosed() const { return true; }

  signals:
    // Bytes are waiting to be read.
    void bytesArrived();
    // A connection that is gone still held these: take them now or lose them.
    void bytesLeftBehind(const QByteArray& bytes);
    // A connection began or ended: bytes from before belong to another stream.
    void streamRestarted();
    void stateChanged(bool open);
    // A failure, as a line for the trace.
    void errorOccurred(const QString& text);
    // An event worth a trace line.
    void traced(const QString& text);
    // The port did not open; message is what the operator is shown.
    void openFailed(const QString& message);
    // The port did not open because this user may not use the device (it
    // comes before openFailed).
    void accessDenied();
};

}  // namespace ifb
