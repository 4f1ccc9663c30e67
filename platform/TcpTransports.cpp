#include "TcpTransports.h"

#include <QHostAddress>

namespace ifb {

// ---- client ----

TcpClientTransport::TcpClientTransport(const QString& host, quint16 port) : host_(host), port_(port) {
    reconnect_.setSingleShot(true);
    reconnect_.setInterval(kReconnectDelayMs);
    connect(&reconnect_, &QTimer::timeout, this, &TcpClientTransport::open);
    connect(&socket_, &QTcpSocket::connected, this, &TcpClientTransport::onConnected);
    connect(&socket_, &QTcpSocket::disconnected, this, &TcpClientTransport::onDisconnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &TcpClientTransport::onError);
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { emit bytesArrived(); });
}

TcpClientTransport::~TcpClientTransport() {
    reconnect_.stop();
    socket_.disconnect(this);
    socket_.abort();
}

void TcpClientTransport::open() {
    reconnect_.stop();
    socket_.abort();  // emits the disconnect event when it was connected
    socket_.connectToHost(host_, port_);
}

void TcpClientTransport::close() {
    reconnect_.stop();
    socket_.abort();
}

void TcpClientTransport::write(const QByteArray& bytes) {
    if (!connected_) return;
    socket_.write(bytes);
    socket_.flush();
}

int TcpClientTransport::read(char* buffer, int max) {
    const qint64 n = socket_.read(buffer, max < kReadChunk ? max : kReadChunk);
    return n > 0 ? static_cast<int>(n) : 0;
}

void TcpClientTransport::onConnected() {
    emit streamRestarted();
    emit traced(QStringLiteral("ClientSocket1Connect00"));
    connected_ = true;
    emit stateChanged(true);
}

void TcpClientTransport::onDisconnected() {
    emit streamRestarted();
    // What the old connection left goes with the link's unread bytes.
    if (socket_.bytesAvailable() > 0) socket_.readAll();
    emit traced(QStringLiteral("ClientSocket1Disconnect00"));
    connected_ = false;
    emit stateChanged(false);
}

void TcpClientTransport::onError() {
    emit errorOccurred(QStringLiteral("ClientSocket1Error"));
    // Reconnecting from inside the socket's own error event is unsafe, and an
    // instant retry against a refusing host would spin.
    reconnect_.start();
}

// ---- server ----

TcpServerTransport::TcpServerTransport(quint16 port) : port_(port) {
    connect(&server_, &QTcpServer::newConnection, this, &TcpServerTransport::onNewConnection);
}

TcpServerTransport::~TcpServerTransport() {
    for (QTcpSocket* s : connections_) {
        s->disconnect(this);
        s->abort();
    }
    server_.close();
}

void TcpServerTransport::open() {
    close();
    if (server_.listen(QHostAddress::Any, port_)) {
        emit traced(QStringLiteral("ServerSocket1Listen"));
    } else {
        emit errorOccurred(QStringLiteral("ServerSocket1Error: ") + server_.errorString());
    }
}

void TcpServerTransport::close() {
    const QList<QTcpSocket*> connections = connections_;
    for (QTcpSocket* s : connections) s->abort();  // each one's disconnect event runs
    server_.close();
}

void TcpServerTransport::write(const QByteArray& bytes) {
    if (connections_.isEmpty()) return;
    QTcpSocket* newest = connections_.last();
    newest->write(bytes);
    newest->flush();
}

qint64 TcpServerTransport::bytesAvailable() const {
    qint64 n = 0;
    for (const QTcpSocket* s : connections_) n += s->bytesAvailable();
    return n;
}

int TcpServerTransport::read(char* buffer, int max) {
    for (QTcpSocket* s : connections_) {
        if (s->bytesAvailable() <= 0) continue;
        const qint64 n = s->read(buffer, max < kReadChunk ? max : kReadChunk);
        return n > 0 ? static_cast<int>(n) : 0;
    }
    return 0;
}

void TcpServerTransport::onNewConnection() {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
        connections_.append(s);
        connect(s, &QTcpSocket::readyRead, this, [this] {
            emit traced(QStringLiteral("ServerSocket1ClientRead"));
            emit bytesArrived();
        });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { onClientGone(s); });
        emit traced(QStringLiteral("ServerSocket1ClientConnect"));
        emit traced(QStringLiteral("ActiveConnections: %1").arg(connections_.size()));
        emit stateChanged(true);
    }
}

void TcpServerTransport::onClientGone(QTcpSocket* socket) {
    emit traced(QStringLiteral("ServerSocket1ClientDisconnect"));
    // The link's unread bytes are kept, so what this connection still holds follows them.
    if (socket->bytesAvailable() > 0) emit bytesLeftBehind(socket->readAll());
    connections_.removeAll(socket);
    socket->disconnect(this);
    socket->deleteLater();
    // Another client that is still there keeps the link usable.
    if (connections_.isEmpty()) emit stateChanged(false);
}

}  // namespace ifb
