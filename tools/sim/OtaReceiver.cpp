#include "OtaReceiver.h"

#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QUdpSocket>

#include "ImageChecker.h"
#include "OtaAuth.h"
#include "SimLog.h"

namespace ifb::sim {
namespace {

constexpr qint64 kReadLimit = 1460;   // the board reads at most one TCP segment at a time
constexpr qint64 kSectorSize = 4096;  // the first byte is checked when the first sector is flushed
constexpr int kMaxProds = 3;
constexpr int kConnectTimeoutMs = 5000;
constexpr qint64 kProgressStep = 64 * 1024;
// A board holds about four segments before its TCP window closes.
constexpr qint64 kFlashReadBuffer = 4 * kReadLimit;

QByteArray randomHex(int length) {
    QByteArray bytes(length / 2, '\0');
    for (auto& byte : bytes) byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return bytes.toHex();
}

QString authName(OtaAuth auth) {
    switch (auth) {
        case OtaAuth::Md5:
            return QStringLiteral("md5");
        case OtaAuth::Pbkdf2:
            return QStringLiteral("pbkdf2");
        case OtaAuth::Pbkdf2Md5:
            return QStringLiteral("pbkdf2-md5");
        case OtaAuth::None:
            break;
    }
    return QStringLiteral("none");
}

}  // namespace

OtaReceiver::OtaReceiver(Settings settings, SimLog& log, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), log_(log) {
    stallTimer_.setSingleShot(true);
    stallTimer_.setInterval(settings_.idleTimeoutMs);
    connect(&stallTimer_, &QTimer::timeout, this, &OtaReceiver::onStall);
    connectTimer_.setSingleShot(true);
    connectTimer_.setInterval(kConnectTimeoutMs);
    flashTimer_.setSingleShot(true);
    flashTimer_.setTimerType(Qt::PreciseTimer);
    connect(&flashTimer_, &QTimer::timeout, this, &OtaReceiver::onData);
    connect(&connectTimer_, &QTimer::timeout, this, [this] {
        log_.write(QStringLiteral("connect"),
                   {{QStringLiteral("ok"), false}, {QStringLiteral("error"), "timed out"}});
        resetToIdle();
    });
}

OtaReceiver::~OtaReceiver() {
    stop();
}

bool OtaReceiver::start(QString* error) {
    if (udp_) return true;
    udp_ = new QUdpSocket(this);
    if (!udp_->bind(settings_.host, settings_.port)) {
        *error = QStringLiteral("OTA port %1:%2: %3")
                     .arg(settings_.host.toString())
                     .arg(settings_.port)
                     .arg(udp_->errorString());
        delete udp_;
        udp_ = nullptr;
        return false;
    }
    connect(udp_, &QUdpSocket::readyRead, this, &OtaReceiver::readDatagrams);
    state_ = State::Idle;
    return true;
}

void OtaReceiver::stop() {
    resetToIdle();
    delete udp_;
    udp_ = nullptr;
}

void OtaReceiver::resetToIdle() {
    stallTimer_.stop();
    connectTimer_.stop();
    flashTimer_.stop();
    delete answers_;
    if (tcp_) {
        tcp_->disconnect(this);
        tcp_->abort();
        tcp_->deleteLater();
    }
    tcp_ = nullptr;
    image_.clear();
    nonce_.clear();
    state_ = State::Idle;
}

void OtaReceiver::readDatagrams() {
    while (udp_ && udp_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = udp_->receiveDatagram(2048);
        if (!datagram.isValid()) continue;
        switch (state_) {
            case State::Idle:
                onInvitation(datagram.data(), datagram.senderAddress(),
                             static_cast<quint16>(datagram.senderPort()));
                break;
            case State::WaitAuth:
                onAuth(datagram.data(), datagram.senderAddress(),
                       static_cast<quint16>(datagram.senderPort()));
                break;
            case State::Connecting:
            case State::Receiving:
                break;  // busy with an update: the board does not look at UDP meanwhile
        }
    }
}

void OtaReceiver::answer(const QByteArray& text, const QHostAddress& to, quint16 toPort) {
    if (settings_.answerDelayMs <= 0) {
        udp_->writeDatagram(text, to, toPort);
        return;
    }
    QTimer::singleShot(settings_.answerDelayMs, this, [this, text, to, toPort] {
        if (udp_) udp_->writeDatagram(text, to, toPort);
    });
}

void OtaReceiver::onInvitation(const QByteArray& datagram, const QHostAddress& from, quint16 fromPort) {
    const auto invitation = ota::ParseInvitation(datagram);
    if (!invitation) {
        log_.write(QStringLiteral("invitation"),
                   {{QStringLiteral("valid"), false},
                    {QStringLiteral("text"), QString::fromLatin1(datagram.left(80))}});
        return;
    }
    invitation_ = *invitation;
    log_.write(QStringLiteral("invitation"), {{QStringLiteral("valid"), true},
                                              {QStringLiteral("command"), invitation->command},
                                              {QStringLiteral("port"), invitation->hostPort},
                                              {QStringLiteral("size"), invitation->size},
                                              {QStringLiteral("md5"), QString::fromLatin1(invitation->md5)},
                                              {QStringLiteral("from"), from.toString()}});
    if (settings_.ignoreInvitations) return;
    if (settings_.auth == OtaAuth::None) {
        answer(ota::kAnswerOk, from, fromPort);
        beginUpdate(from);
        return;
    }
    nonce_ = randomHex(settings_.auth == OtaAuth::Md5 ? ota::kLegacyNonceLength : ota::kPbkdf2NonceLength);
    state_ = State::WaitAuth;
    answer(QByteArray(ota::kAnswerAuth) + ' ' + nonce_, from, fromPort);
}

QByteArray OtaReceiver::expectedResponse(const QByteArray& cnonce) const {
    const auto kind = settings_.auth == OtaAuth::Pbkdf2 ? ota::SecretKind::Sha256 : ota::SecretKind::Md5;
    const QByteArray secret = ota::PasswordSecret(settings_.password, kind);
    return settings_.auth == OtaAuth::Md5 ? ota::LegacyResponse(secret, nonce_, cnonce)
                                          : ota::Pbkdf2Response(secret, nonce_, cnonce);
}

void OtaReceiver::onAuth(const QByteArray& datagram, const QHostAddress& from, quint16 fromPort) {
    const auto message = ota::ParseAuthMessage(datagram);
    const int length = static_cast<int>(nonce_.size());
    if (!message || message->cnonce.size() != length || message->response.size() != length) {
        // Like the board: a malformed login is dropped silently and the exchange starts over.
        log_.write(QStringLiteral("login"), {{QStringLiteral("method"), authName(settings_.auth)},
                                             {QStringLiteral("ok"), false},
                                             {QStringLiteral("reason"), "malformed"}});
        resetToIdle();
        return;
    }
    const bool ok = message->response == expectedResponse(message->cnonce);
    log_.write(QStringLiteral("login"),
               {{QStringLiteral("method"), authName(settings_.auth)}, {QStringLiteral("ok"), ok}});
    if (!ok) {
        answer(ota::kAnswerAuthFailed, from, fromPort);
        resetToIdle();
        return;
    }
    answer(ota::kAnswerOk, from, fromPort);
    beginUpdate(from);
}

void OtaReceiver::beginUpdate(const QHostAddress& pc) {
    if (invitation_.size <= 0 || invitation_.size > settings_.partitionSize) {
        // Refused before connecting: the PC waits for a connection that never comes.
        log_.write(QStringLiteral("verdict"), {{QStringLiteral("ok"), false},
                                               {QStringLiteral("result"), ota::kErrorBadSize},
                                               {QStringLiteral("size"), invitation_.size}});
        resetToIdle();
        return;
    }
    if (settings_.noConnectBack) {
        // As if the PC's firewall refused the board's connection.
        log_.write(QStringLiteral("connect"),
                   {{QStringLiteral("ok"), false}, {QStringLiteral("error"), "not connecting back"}});
        resetToIdle();
        return;
    }
    state_ = State::Connecting;
    image_.clear();
    image_.reserve(invitation_.size);
    magicChecked_ = invitation_.command != ota::kCommandFlash;
    lastCount_.clear();
    prods_ = 0;
    nextProgressLog_ = kProgressStep;
    tcp_ = new QTcpSocket(this);
    // With a flash limit, unread data stays in the kernel, so TCP's window closes as on the board.
    if (settings_.flashBytesPerMs > 0) tcp_->setReadBufferSize(kFlashReadBuffer);
    connect(tcp_, &QTcpSocket::connected, this, &OtaReceiver::onConnected);
    connect(tcp_, &QTcpSocket::readyRead, this, &OtaReceiver::onData);
    connect(tcp_, &QTcpSocket::disconnected, this, &OtaReceiver::onPcGone);
    connect(tcp_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (state_ == State::Connecting) {
            log_.write(QStringLiteral("connect"),
                       {{QStringLiteral("ok"), false}, {QStringLiteral("error"), tcp_->errorString()}});
            resetToIdle();
        }
    });
    connectTimer_.start();
    tcp_->connectToHost(pc, static_cast<quint16>(invitation_.hostPort));
}

void OtaReceiver::onConnected() {
    connectTimer_.stop();
    state_ = State::Receiving;
    tcp_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    answers_ = new OtaAnswerLine(tcp_, settings_.answerDelayMs, this);
    ++uploads_;
    flashClock_.start();
    flashLastNs_ = 0;
    flashCredit_ = 0;
    log_.write(QStringLiteral("connect"), {{QStringLiteral("ok"), true},
                                           {QStringLiteral("to"), tcp_->peerAddress().toString()},
                                           {QStringLiteral("port"), tcp_->peerPort()}});
    stallTimer_.start();
}

void OtaReceiver::onData() {
    if (state_ != State::Receiving || !tcp_) return;
    while (tcp_ && tcp_->bytesAvailable() > 0) {
        const qint64 left = invitation_.size - image_.size();
        if (left <= 0) {
            tcp_->readAll();  // beyond the announced size: not part of the image
            return;
        }
        qint64 take = std::min({kReadLimit, left, tcp_->bytesAvailable()});
        if (settings_.flashBytesPerMs > 0) {
            take = std::min(take, flashAllowance());
            if (take <= 0) {
                flashTimer_.start(1);  // the flash is busy: read on when it has room again
                break;
            }
            flashCredit_ -= static_cast<double>(take);
        }
        if (cutting()) take = std::min(take, settings_.closeAfter - image_.size());
        const QByteArray chunk = tcp_->read(take);
        image_.append(chunk);
        if (cutting() && image_.size() >= settings_.closeAfter) {
            log_.write(QStringLiteral("cut"), {{QStringLiteral("received"), image_.size()}});
            fail(QString::fromLatin1(ota::kErrorReceive), false);
            return;
        }
        if (!magicChecked_ && (image_.size() >= kSectorSize || image_.size() == invitation_.size)) {
            magicChecked_ = true;
            if (static_cast<quint8>(image_[0]) != 0xE9) {
                fail(QString::fromLatin1(ota::kErrorMagic), true);
                return;
            }
        }
        lastCount_ = QByteArray::number(chunk.size());
        prods_ = 0;
        answers_->send(lastCount_);
        if (image_.size() >= nextProgressLog_ || image_.size() == invitation_.size) {
            log_.write(QStringLiteral("bytes"), {{QStringLiteral("received"), image_.size()},
                                                 {QStringLiteral("size"), invitation_.size}});
            nextProgressLog_ += kProgressStep;
        }
        if (image_.size() == invitation_.size) {
            complete();
            return;
        }
    }
    stallTimer_.start();
}

void OtaReceiver::onStall() {
    if (state_ != State::Receiving || !tcp_) return;
    if (!lastCount_.isEmpty() && prods_ < kMaxProds) {
        ++prods_;  // prod a PC that may have missed the last count
        answers_->send(lastCount_);
        stallTimer_.start();
        return;
    }
    fail(QString::fromLatin1(ota::kErrorReceive), false);
}

void OtaReceiver::onPcGone() {
    if (state_ != State::Receiving) return;
    if (tcp_ && tcp_->bytesAvailable() > 0) onData();
    if (state_ == State::Receiving) fail(QString::fromLatin1(ota::kErrorReceive), false);
}

void OtaReceiver::complete() {
    stallTimer_.stop();
    if (settings_.corrupt) image_[image_.size() / 2] = static_cast<char>(image_[image_.size() / 2] ^ 0x01);
    const QByteArray md5 = QCryptographicHash::hash(image_, QCryptographicHash::Md5).toHex();
    if (md5 != invitation_.md5) {
        fail(QString::fromLatin1(ota::kErrorMd5), true);
        return;
    }
    QString version;
    if (invitation_.command == ota::kCommandFlash) {
        const espimage::ImageReport report = espimage::CheckImage(image_);
        if (!report.ok) {
            log_.write(QStringLiteral("image"),
                       {{QStringLiteral("ok"), false}, {QStringLiteral("error"), report.error}});
            fail(QString::fromLatin1(ota::kErrorActivate), true);
            return;
        }
        version = report.version;
    }
    log_.write(QStringLiteral("verdict"), {{QStringLiteral("ok"), true},
                                           {QStringLiteral("result"), "OK"},
                                           {QStringLiteral("version"), version}});
    answers_->send(ota::kAnswerOk);
    closeGracefully();
    resetToIdle();
    emit finished(true, QStringLiteral("OK"), version);
}

qint64 OtaReceiver::flashAllowance() {
    // Credit grows with time at the flash's rate, capped at what a board buffers.
    const qint64 now = flashClock_.nsecsElapsed();
    flashCredit_ =
        std::min(flashCredit_ + static_cast<double>(now - flashLastNs_) * settings_.flashBytesPerMs / 1e6,
                 static_cast<double>(kFlashReadBuffer));
    flashLastNs_ = now;
    return static_cast<qint64>(flashCredit_);
}

bool OtaReceiver::cutting() const {
    return settings_.closeAfter > 0 && (settings_.closeUploads == 0 || uploads_ <= settings_.closeUploads);
}

void OtaReceiver::closeGracefully() {
    // The answers still due go out before the close.
    tcp_->disconnect(this);
    answers_->closeWhenSent();
    answers_ = nullptr;
    tcp_ = nullptr;
}

void OtaReceiver::fail(const QString& text, bool sendText) {
    stallTimer_.stop();
    log_.write(QStringLiteral("verdict"), {{QStringLiteral("ok"), false},
                                           {QStringLiteral("result"), text},
                                           {QStringLiteral("received"), image_.size()},
                                           {QStringLiteral("size"), invitation_.size}});
    if (tcp_ && sendText && tcp_->state() == QAbstractSocket::ConnectedState) {
        answers_->send(text.toLatin1() + "\r\n");
        closeGracefully();
    }
    resetToIdle();
    emit finished(false, text, QString());
}

}  // namespace ifb::sim
