#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "LinkReceiver.h"
#include "LinkSettings.h"
#include "LogPane.h"
#include "ReplyDecoder.h"
#include "SerialTypes.h"
#include "TickClock.h"
#include "Transport.h"

namespace ifb {

// What a link is created with: the main window's values (the transport, the
// serial port's name with its speed and parity codes, the TCP values) and
// what was read from "ComDebug".
struct LinkSetup {
    int transportKind = kTransportSerial;
    // Serial: the port (a name: "COM3", "ttyUSB0", a path), speed code and
    // parity code replace those of line.
    QString comPort;
    int speedCode = 0;
    int parityCode = 0;
    int tcpListenPort = 0;
    int tcpServerMode = 0;
    int tcpClientPort = 0;
    QString tcpClientAddr;
    SerialLine line;
    LinkSettings settings;
    // Called with the port's name when the port refused this user, before the open-failure box.
    std::function<void(const QString&)> accessDenied;
};

// The one connection to the board: owns the transport that the transport
// factory makes for its kind (serial port, TCP client or TCP server), sends
// request frames, collects received bytes in the ring and decodes them when
// PollReceive runs (the owner's 50 ms timer, and at once on BytesArrived), and
// lets callers wait for replies while events keep running. Everything runs on
// the UI thread.
//
// The reply state (ReplyKind, ReplyBuffer, OtaResultReceived, OtaResultOk)
// comes from ReplyState and is read and written as plain fields.
class TTComXDlg : public QObject, public ReplyState, private ReceiveEvents {
    Q_OBJECT
  public:
    static constexpr quint32 kAckTimeoutMs = 2000;
    static constexpr quint32 kLinkStateTimeoutMs = 12000;
    static constexpr int kLinkStateSleepMs = 10;

    // Opens the serial port or activates the socket (without waiting for a TCP
    // connection). The serial line is used only for the serial transport.
    // traceMemo may be null.
    TTComXDlg(const LinkSetup& setup, LogPane* traceMemo, QObject* parent = nullptr);
    ~TTComXDlg() override;

    // Diagnostic flags: fTrace shows the link's trace lines, fRxTrace adds one
    // "RX:" line per poll (visible only with fTrace).
    bool fTrace = false;
    bool fRxTrace = false;

    // 0 serial, 1 none, 2 TCP; any other value sends as serial and opens nothing.
    int transportKind() const { return transportKind_; }
    // ID byte, TCP values and the values kept for writing back.
    LinkSettings& linkSettings() { return settings_; }
    const LinkSettings& linkSettings() const { return settings_; }
    // The serial line, which WriteLinkSettings saves: the one opened for the
    // serial transport, the defaults for the others.
    SerialLine serialLine() const { return line_; }

    // Closes and reopens the transport with a fresh receive state. A serial
    // port that does not open shows the open-failure box.
    void OpenLink();
    // As OpenLink, with the serial port renamed just before it opens.
    void ReopenOnPort(const QString& port);
    // TCP: connected; otherwise: the serial port is open.
    bool IsLinkOpen() const;
    // Waits up to 12000 ms (10 ms sleeps between event passes) for
    // IsLinkOpen to equal wanted.
    bool WaitLinkState(bool wanted);

    // Clears ReplyKind and hands the whole frame to the transport; nothing is
    // sent while closed or without a transport.
    void SendFrame(const QByteArray& frame);
    // Waits up to 2000 ms for any reply: true for an ACK; a NACK traces
    // "NACK 受信" (reason 0 also shows "NACK : 0x00"). A notice ends the wait
    // too, and gives true only if an ACK arrived since the send.
    bool WaitAck();
    // Waits up to timeoutMs for a reply of this kind; true for an ACK.
    bool WaitReply(Reply kind, quint32 timeoutMs);

    // Decodes what the transport delivered since the last poll. Does nothing
    // for a closed serial port. The owner's timer calls it every 50 ms.
    void PollReceive();

    // Appends a line to the trace memo when fTrace or force is set.
    void TraceLine(const QString& text, bool force = false);
    void SetTraceMemo(LogPane* memo) { memo_ = memo; }

    // Received bytes dropped because the ring was full. The transports keep
    // what does not fit for the next poll, so only a server connection that
    // leaves while the ring is full loses bytes.
    quint64 RxDroppedBytes() const { return receiver_.droppedBytes(); }

  signals:
    // The transport delivered bytes into the ring; a PollReceive now decodes
    // them without waiting for the next tick.
    void BytesArrived();

  private:
    friend struct LinkTestAccess;

    // ReceiveEvents
    bool traceOn() const override { return fTrace && memo_ != nullptr; }
    bool rxTraceOn() const override { return fRxTrace && traceOn(); }
    void trace(const QString& line) override { TraceLine(line, false); }
    void sumError(const QString& message) override;
    void topUp() override;

    void reopen(const QString* port);
    void resetReceive();
    bool linkOpen() const { return transport_ && transport_->isOpen(); }
    bool judgeReply(bool nackBox);
    // Transport events.
    void takeArrived();
    void takeLeftBehind(const QByteArray& bytes);
    void showOpenFailure(const QString& message);
    // Moves what the transport holds into the ring, as far as it has room.
    void readTransport();

    int transportKind_;
    LinkSettings settings_;
    LogPane* memo_;
    SerialLine line_;
    LinkReceiver receiver_;
    std::unique_ptr<Transport> transport_;
    TickTimeout LinkTimeout;
};

}  // namespace ifb
