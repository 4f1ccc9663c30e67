#include "SimTransport.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstring>

namespace ifb::sim {
namespace {
constexpr qint64 kDrainLimitMs = 1000;
constexpr qint64 kDrainSettleMs = 50;
}  // namespace

std::unique_ptr<SimTransport> MakeTransport(const SimConfig& config) {
    switch (config.transport) {
        case TransportKind::TcpListen:
            return std::make_unique<TcpListenTransport>(config.tcpPort);
        case TransportKind::TcpConnect:
            return std::make_unique<TcpConnectTransport>(config.tcpHost, config.tcpPort);
        case TransportKind::Pty:
            break;
    }
    return std::make_unique<PtyTransport>(config.linkPath);
}

// ---- pty ----

PtyTransport::PtyTransport(QString linkPath) : linkPath_(std::move(linkPath)) {}

PtyTransport::~PtyTransport() {
    closeAll();
}

bool PtyTransport::open(QString* where, QString* error) {
    const auto fail = [&](const char* what) {
        *error =
            QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
        closeAll();
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return fail("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) return fail("grantpt/unlockpt");
    const char* name = ptsname(master_);
    if (!name) return fail("ptsname");
    const QString slavePath = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) return fail("open pty");
    // Raw until the PC sets its own line settings: no echo, no CR/LF mangling.
    termios tio{};
    if (tcgetattr(slave_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave_, TCSANOW, &tio);
    }
    const int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);

    if (!linkPath_.isEmpty()) {
        const QFileInfo existing(linkPath_);
        if (existing.isSymLink()) QFile::remove(linkPath_);
        if (!QFile::link(slavePath, linkPath_)) {
            *error = QStringLiteral("cannot make the link %1").arg(linkPath_);
            closeAll();
            return false;
        }
        linkMade_ = true;
    }
    readNotifier_ = new QSocketNotifier(static_cast<qintptr>(master_), QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyTransport::readMaster);
    writeNotifier_ = new QSocketNotifier(static_cast<qintptr>(master_), QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyTransport::flushPending);
    *where = slavePath;
    return true;
}

void PtyTransport::readMaster() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            emit received(QByteArray(buffer, static_cast<qsizetype>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // EIO cannot happen while we hold the slave; anything else ends reading.
            if (readNotifier_) readNotifier_->setEnabled(false);
        }
        return;
    }
}

void PtyTransport::write(const QByteArray& bytes) {
    if (master_ < 0) return;
    pending_.append(bytes);
    flushPending();
}

void PtyTransport::flushPending() {
    while (!pending_.isEmpty() && master_ >= 0) {
        const ssize_t n = ::write(master_, pending_.constData(), static_cast<size_t>(pending_.size()));
        if (n > 0) {
            pending_.remove(0, static_cast<qsizetype>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;  // the PC is not reading: wait
        pending_.clear();
    }
    if (writeNotifier_) writeNotifier_->setEnabled(!pending_.isEmpty());
}

void PtyTransport::hangUp() {
    // The last reply leaves the board before the cable goes: wait (bounded) until the
    // PC has read what is queued, as closing the master discards unread bytes.
    QElapsedTimer clock;
    clock.start();
    // The pty moves written bytes to the PC's side a moment later, so an empty queue
    // counts only after a short settling time.
    while (master_ >= 0 && clock.elapsed() < kDrainLimitMs) {
        flushPending();
        QThread::msleep(5);
        int queued = 0;
        const bool empty = ::ioctl(slave_, FIONREAD, &queued) != 0 || queued == 0;
        if (pending_.isEmpty() && empty && clock.elapsed() >= kDrainSettleMs) break;
    }
    closeAll();
}

void PtyTransport::closeAll() {
    delete readNotifier_;
    readNotifier_ = nullptr;
    delete writeNotifier_;
    writeNotifier_ = nullptr;
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
    pending_.clear();
    if (linkMade_) QFile::remove(linkPath_);
    linkMade_ = false;
}

// ---- TCP, board listens ----

TcpListenTransport::TcpListenTransport(quint16 port) : port_(port) {}

bool TcpListenTransport::open(QString* where, QString* error) {
    server_ = new QTcpServer(this);
    if (!server_->listen(QHostAddress::LocalHost, port_)) {
        *error = QStringLiteral("listen on 127.0.0.1:%1: %2").arg(port_).arg(server_->errorString());
        return false;
    }
    connect(server_, &QTcpServer::newConnection, this, &TcpListenTransport::accept);
    *where = QStringLiteral("127.0.0.1:%1").arg(server_->serverPort());
    return true;
}

void TcpListenTransport::accept() {
    while (QTcpSocket* next = server_->nextPendingConnection()) {
        // One PC at a time: a new connection replaces the old one.
        if (client_) {
            client_->abort();
            client_->deleteLater();
        }
        client_ = next;
        client_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(client_, &QTcpSocket::readyRead, this, [this, socket = client_] {
            if (socket == client_) emit received(socket->readAll());
        });
        connect(client_, &QTcpSocket::disconnected, this, [this, socket = client_] {
            if (socket == client_) client_ = nullptr;
            socket->deleteLater();
        });
    }
}

void TcpListenTransport::write(const QByteArray& bytes) {
    if (client_) client_->write(bytes);
}

void TcpListenTransport::hangUp() {
    if (client_) {
        client_->disconnectFromHost();  // what is written still goes out, then FIN
        if (client_->state() != QAbstractSocket::UnconnectedState)
            client_->waitForDisconnected(kDrainLimitMs);
    }
    client_ = nullptr;
    if (server_) server_->close();
}

// ---- TCP, board connects ----

TcpConnectTransport::TcpConnectTransport(QString host, quint16 port) : host_(std::move(host)), port_(port) {}

bool TcpConnectTransport::open(QString* where, QString*) {
    socket_ = new QTcpSocket(this);
    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    retry_->setInterval(500);
    connect(retry_, &QTimer::timeout, this, &TcpConnectTransport::connectNow);
    connect(socket_, &QTcpSocket::readyRead, this, [this] { emit received(socket_->readAll()); });
    connect(socket_, &QTcpSocket::connected, this,
            [this] { socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
    // Keep trying while the PC's server is not there (yet, or again).
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        if (!hungUp_) retry_->start();
    });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (!hungUp_ && socket_->state() == QAbstractSocket::UnconnectedState) retry_->start();
    });
    connectNow();
    *where = QStringLiteral("%1:%2").arg(host_).arg(port_);
    return true;
}

void TcpConnectTransport::connectNow() {
    if (hungUp_ || socket_->state() != QAbstractSocket::UnconnectedState) return;
    socket_->connectToHost(host_, port_);
}

void TcpConnectTransport::write(const QByteArray& bytes) {
    if (socket_->state() == QAbstractSocket::ConnectedState) socket_->write(bytes);
}

void TcpConnectTransport::hangUp() {
    hungUp_ = true;
    retry_->stop();
    socket_->disconnectFromHost();
    if (socket_->state() != QAbstractSocket::UnconnectedState) socket_->waitForDisconnected(kDrainLimitMs);
}

}  // namespace ifb::sim
