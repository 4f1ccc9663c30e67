#include "TTComXDlg.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include "EventWait.h"
#include "MessageBox.h"

namespace ifb {

TTComXDlg::TTComXDlg(int tcpListenPort, int tcpServerMode, int tcpClientPort, const QString& tcpClientAddr,
                     int transportKind, const QString& comPort, int speedCode, int parityCode,
                     LogPane* traceMemo, const SerialLine& line, const LinkSettings& settings,
                     QObject* parent)
    : QObject(parent),
      transportKind_(transportKind),
      settings_(settings),
      memo_(traceMemo),
      comPort_(),
      receiver_(*this, *this) {
    connect(&comPort_, &TComPort::OnRxChar, this, &TTComXDlg::CommX1RxChar);
    connect(&comPort_, &TComPort::OnError, this, &TTComXDlg::CommX1Error);
    reconnectTimer_.setSingleShot(true);
    reconnectTimer_.setInterval(kReconnectDelayMs);
    connect(&reconnectTimer_, &QTimer::timeout, this, [this] {
        if (transportKind_ == kTransportTcp && settings_.tcpServerMode == 0) activateSocket();
    });

    if (transportKind_ == kTransportSerial) {
        SerialLine opened = line;
        opened.port = comPort;
        opened.baudRate = BaudRateFromSpeedCode(speedCode);
        opened.parity = ParityFromCode(parityCode);
        comPort_.SetLine(opened);
    }
    settings_.tcpListenPort = tcpListenPort;
    settings_.tcpServerMode = tcpServerMode;
    settings_.tcpClientPort = tcpClientPort;
    settings_.tcpClientAddr = tcpClientAddr;

    if (transportKind_ == kTransportNone) return;
    if (transportKind_ == kTransportTcp) {
        activateSocket();
    } else {
        OpenLink();
    }
}

TTComXDlg::~TTComXDlg() {
    reconnectTimer_.stop();
    if (clientSocket_) {
        clientSocket_->disconnect(this);
        clientSocket_->abort();
    }
    for (QTcpSocket* s : serverConnections_) {
        s->disconnect(this);
        s->abort();
    }
    comPort_.Close();
}

void TTComXDlg::OpenLink() {
    reopen(nullptr);
}

void TTComXDlg::ReopenOnPort(const QString& port) {
    reopen(&port);
}

void TTComXDlg::reopen(const QString* port) {
    if (transportKind_ == kTransportTcp) {
        if (connected_) closeSockets();
        WaitLinkState(false);
    } else if (transportKind_ == kTransportSerial) {
        comPort_.Close();
        connected_ = false;
    }
    resetReceive();
    if (transportKind_ == kTransportTcp) {
        closeSockets();  // a connection still being set up is dropped too
        activateSocket();
        WaitLinkState(true);
    } else if (transportKind_ == kTransportSerial) {
        if (port) comPort_.SetPort(*port);
        openSerial();
    }
}

void TTComXDlg::openSerial() {
    try {
        comPort_.Open();
        connected_ = true;
    } catch (const ComPortError& e) {
        connected_ = false;
        TraceLine(QString::fromStdString(e.what()));
        showMessage(comPort_.Port() + QStringLiteral("がオープン出来ません!!\n\n") +
                        QStringLiteral("  ポート及びパラメータ設定を再確認してください。"),
                    std::nullopt, MsgIcon::Error, MsgButtons::Ok, MsgOwner::MainWindow);
    }
}

void TTComXDlg::resetReceive() {
    receiver_.Reset();
}

bool TTComXDlg::IsLinkOpen() const {
    return transportKind_ == kTransportTcp ? connected_ : comPort_.Connected();
}

bool TTComXDlg::WaitLinkState(bool wanted) {
    ProcessPendingEvents();
    LinkTimeout.start();
    for (;;) {
        ProcessPendingEvents();
        SleepWithoutEvents(kLinkStateSleepMs);
        if (connected_ == wanted) return true;
        ProcessPendingEvents();
        if (LinkTimeout.expired(kLinkStateTimeoutMs)) return false;
    }
}

// ---- sockets ----

void TTComXDlg::activateSocket() {
    if (settings_.tcpServerMode != 0) {
        if (!serverSocket_) {
            serverSocket_ = new QTcpServer(this);
            connect(serverSocket_, &QTcpServer::newConnection, this, &TTComXDlg::ServerSocket1ClientConnect);
        }
        serverSocket_->close();
        if (serverSocket_->listen(QHostAddress::Any, static_cast<quint16>(settings_.tcpListenPort))) {
            TraceLine(QStringLiteral("ServerSocket1Listen"));
        } else {
            TraceLine(QStringLiteral("ServerSocket1Error: ") + serverSocket_->errorString());
        }
        return;
    }
    if (!clientSocket_) {
        clientSocket_ = new QTcpSocket(this);
        connect(clientSocket_, &QTcpSocket::connected, this, &TTComXDlg::ClientSocket1Connect);
        connect(clientSocket_, &QTcpSocket::disconnected, this, &TTComXDlg::ClientSocket1Disconnect);
        connect(clientSocket_, &QTcpSocket::errorOccurred, this, &TTComXDlg::ClientSocket1Error);
        connect(clientSocket_, &QTcpSocket::readyRead, this, &TTComXDlg::ClientSocket1Read);
    }
    reconnectTimer_.stop();
    clientSocket_->abort();
    clientSocket_->connectToHost(settings_.tcpClientAddr, static_cast<quint16>(settings_.tcpClientPort));
}

void TTComXDlg::closeSockets() {
    reconnectTimer_.stop();
    if (clientSocket_) clientSocket_->abort();  // emits the disconnect event when it was connected
    const QList<QTcpSocket*> connections = serverConnections_;
    for (QTcpSocket* s : connections) s->abort();
    if (serverSocket_) serverSocket_->close();
}

// Takes only what the ring has room for; the socket keeps the rest for the next poll.
void TTComXDlg::deliverFrom(QTcpSocket* socket, int chunk) {
    char buffer[1024];
    const int limit = chunk < static_cast<int>(sizeof buffer) ? chunk : static_cast<int>(sizeof buffer);
    while (socket->bytesAvailable() > 0) {
        const int room = receiver_.space();
        const qint64 n = socket->read(buffer, room < limit ? room : limit);
        if (n <= 0) break;
        receiver_.Deliver(reinterpret_cast<const quint8*>(buffer), static_cast<int>(n));
    }
}

void TTComXDlg::ClientSocket1Connect() {
    resetReceive();
    TraceLine(QStringLiteral("ClientSocket1Connect00"));
    connected_ = true;
}

void TTComXDlg::ClientSocket1Disconnect() {
    resetReceive();
    // What the old connection left goes with the ring's bytes.
    if (clientSocket_->bytesAvailable() > 0) clientSocket_->readAll();
    TraceLine(QStringLiteral("ClientSocket1Disconnect00"));
    connected_ = false;
}

void TTComXDlg::ClientSocket1Error() {
    TraceLine(QStringLiteral("ClientSocket1Error"));
    // Reconnecting from inside the socket's own error event is unsafe, and an
    // instant retry against a refusing host would spin.
    if (transportKind_ == kTransportTcp && settings_.tcpServerMode == 0) reconnectTimer_.start();
}

void TTComXDlg::ClientSocket1Read() {
    deliverFrom(clientSocket_, 1024);
}

void TTComXDlg::ServerSocket1ClientConnect() {
    while (QTcpSocket* s = serverSocket_->nextPendingConnection()) {
        serverConnections_.append(s);
        connect(s, &QTcpSocket::readyRead, this, [this, s] { ServerSocket1ClientRead(s); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { ServerSocket1ClientDisconnect(s); });
        TraceLine(QStringLiteral("ServerSocket1ClientConnect"));
        TraceLine(QStringLiteral("ActiveConnections: %1").arg(serverConnections_.size()));
        connected_ = true;
    }
}

void TTComXDlg::ServerSocket1ClientDisconnect(QTcpSocket* socket) {
    TraceLine(QStringLiteral("ServerSocket1ClientDisconnect"));
    // The ring is kept, so what this connection still holds goes in as far as it fits.
    deliverFrom(socket, 256);
    if (socket->bytesAvailable() > 0) {
        const QByteArray rest = socket->readAll();
        receiver_.Deliver(reinterpret_cast<const quint8*>(rest.constData()), static_cast<int>(rest.size()));
    }
    serverConnections_.removeAll(socket);
    socket->disconnect(this);
    socket->deleteLater();
    // Another client that is still there keeps the link usable.
    connected_ = !serverConnections_.isEmpty();
}

void TTComXDlg::ServerSocket1ClientRead(QTcpSocket* socket) {
    TraceLine(QStringLiteral("ServerSocket1ClientRead"));
    deliverFrom(socket, 256);
}

// ---- serial port ----

void TTComXDlg::CommX1RxChar(int) {
    readSerial();
}

// Takes only what the ring has room for; the port keeps the rest for the next poll.
void TTComXDlg::readSerial() {
    char buffer[4096];
    for (;;) {
        const int room = receiver_.space();
        const int n = comPort_.Read(
            buffer, room < static_cast<int>(sizeof buffer) ? room : static_cast<int>(sizeof buffer));
        if (n <= 0) break;
        receiver_.Deliver(reinterpret_cast<const quint8*>(buffer), n);
    }
}

void TTComXDlg::CommX1Error(ComErrors errors) {
    TraceLine(ComErrorsToStr(errors));
}

// ---- frames and waits ----

void TTComXDlg::SendFrame(const QByteArray& frame) {
    ReplyKind = reply::kNone;
    ReplyCopied = false;
    if (transportKind_ == kTransportNone) return;
    if (transportKind_ == kTransportTcp) {
        if (!connected_) return;
        QTcpSocket* socket = nullptr;
        if (settings_.tcpServerMode != 0) {
            if (!serverConnections_.isEmpty()) socket = serverConnections_.last();
        } else {
            socket = clientSocket_;
        }
        if (socket) {
            socket->write(frame);
            socket->flush();
        }
        return;
    }
    if (comPort_.Connected()) comPort_.Write(frame.constData(), static_cast<int>(frame.size()));
}

bool TTComXDlg::judgeReply(bool nackBox) {
    // A notice ended the wait and no answer came since the send: the buffer
    // still holds the answer to an earlier request.
    if (!ReplyCopied) return false;
    switch (ReplyBuffer[2]) {
        case frame::kCmdAck:
            return true;
        case frame::kCmdNack:
            TraceLine(QStringLiteral("NACK 受信"));
            if (nackBox && ReplyBuffer[4] == 0x00) {
                showMessage(QStringLiteral("NACK : 0x00"), std::nullopt, MsgIcon::None, MsgButtons::Ok,
                            MsgOwner::MainWindow);
            }
            return false;
        default:
            return false;
    }
}

bool TTComXDlg::WaitAck() {
    LinkTimeout.start();
    if (!WaitUntil([this] { return ReplyKind != reply::kNone; }, LinkTimeout, kAckTimeoutMs)) {
        TraceLine(QStringLiteral("レスポンス待ち　タイムオーバー"));
        return false;
    }
    return judgeReply(true);
}

bool TTComXDlg::WaitReply(int kind, quint32 timeoutMs) {
    LinkTimeout.start();
    // The answer counts even when a notice right behind it has replaced ReplyKind.
    if (!WaitUntil([this, kind] { return ReplyKind == kind || AnswerKind() == kind; }, LinkTimeout,
                   timeoutMs)) {
        TraceLine(QStringLiteral("レスポンス待ち　タイムオーバー"));
        return false;
    }
    return judgeReply(false);
}

void TTComXDlg::PollReceive() {
    if (transportKind_ == kTransportSerial && !comPort_.Connected()) return;
    receiver_.PollReceive();
}

void TTComXDlg::topUp() {
    if (transportKind_ == kTransportNone) return;
    if (transportKind_ != kTransportTcp) {
        if (comPort_.Connected()) readSerial();
        return;
    }
    if (clientSocket_) deliverFrom(clientSocket_, 1024);
    for (QTcpSocket* s : serverConnections_) deliverFrom(s, 256);
}

void TTComXDlg::sumError(const QString& message) {
    showMessage(message, std::nullopt, MsgIcon::Question, MsgButtons::Yes, MsgOwner::MainWindow);
}

void TTComXDlg::TraceLine(const QString& text, bool force) {
    if ((fTrace || force) && memo_) AppendLogLine(*memo_, text);
}

}  // namespace ifb
