#include "Uploader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QThread>
#include <cerrno>
#include <cstring>

#include "OtaMessages.h"
#include "Transfer.h"

namespace ifb::espota {
namespace {

constexpr int kInvitationTries = 10;
constexpr qint64 kFirstResendMs = 250;  // a board a moment late costs a moment
constexpr qint64 kAnswerPollMs = 50;
constexpr int kAcceptTimeoutMs = 10000;
constexpr int kRandomPortTries = 20;

QString errnoText(int code) {
    return QStringLiteral("[Errno %1] %2").arg(code).arg(QString::fromLocal8Bit(std::strerror(code)));
}

QString listenError(const QTcpServer& server) {
    switch (server.serverError()) {
        case QAbstractSocket::AddressInUseError:
            return errnoText(EADDRINUSE);
        case QAbstractSocket::SocketAddressNotAvailableError:
            return errnoText(EADDRNOTAVAIL);
        case QAbstractSocket::SocketAccessError:
            return errnoText(EACCES);
        default:
            return server.errorString();
    }
}

}  // namespace

Uploader::Uploader(EspotaOptions options, EspotaLog& log) : options_(std::move(options)), log_(log) {}

int Uploader::run() {
    if (!readImage() || !listen()) return 1;
    log_.info(QStringLiteral("Starting on %1:%2").arg(options_.hostIp).arg(server_.serverPort()));
    log_.info(QStringLiteral("Upload size: %1").arg(image_.size()));
    const int tries = options_.retries + 1;
    for (int done = 1;; ++done) {
        const Attempt result = attempt();
        if (!result.networkFailure) {
            if (!result.error.isEmpty()) log_.error(result.error);
            return result.exitCode;
        }
        if (done == tries) {
            log_.error(result.error);
            return 1;
        }
        // No "Error" in this line: a caller that reads the output for errors must not fail a try that
        // follows.
        log_.warning(
            QStringLiteral("%1; inviting again (try %2 of %3)").arg(result.what).arg(done + 1).arg(tries));
    }
}

Uploader::Attempt Uploader::attempt() {
    if (!server_.isListening() && !listen()) return {};
    const auto answer = invite();
    if (!answer || !logIn(*answer)) return {};
    return transfer();
}

bool Uploader::readImage() {
    QFile file(options_.image);
    if (!file.open(QIODevice::ReadOnly)) {
        log_.error(QStringLiteral("Cannot read image file %1: %2").arg(options_.image, file.errorString()));
        return false;
    }
    image_ = file.readAll();
    imageMd5_ = ota::Md5Hex(image_);
    return true;
}

bool Uploader::listen() {
    const QHostAddress address(options_.hostIp);
    if (address.isNull()) {
        log_.error(QStringLiteral("Listen Failed: invalid host address '%1'").arg(options_.hostIp));
        return false;
    }
    server_.setMaxPendingConnections(1);
    if (hostPort_ != 0 || options_.hostPort >= 0) {
        // A try after the first listens where the first did.
        const quint16 port = hostPort_ != 0 ? hostPort_ : static_cast<quint16>(options_.hostPort);
        if (server_.listen(address, port)) {
            hostPort_ = server_.serverPort();
            return true;
        }
    } else {
        // A random port may be taken; try another rather than give up.
        for (int i = 0; i < kRandomPortTries; ++i) {
            const auto port = static_cast<quint16>(QRandomGenerator::global()->bounded(10000, 60001));
            if (server_.listen(address, port)) {
                hostPort_ = port;
                return true;
            }
            if (server_.serverError() != QAbstractSocket::AddressInUseError) break;
        }
    }
    log_.error(QStringLiteral("Listen Failed: %1").arg(listenError(server_)));
    return false;
}

bool Uploader::resolveBoard() {
    board_ = QHostAddress(options_.espIp);
    if (!board_.isNull()) return true;
    const QHostInfo info = QHostInfo::fromName(options_.espIp);
    for (const QHostAddress& address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            board_ = address;
            return true;
        }
    }
    return false;
}

bool Uploader::waitDatagram(QUdpSocket& socket, int timeoutMs, QByteArray* datagram) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (socket.hasPendingDatagrams()) {
            *datagram = socket.receiveDatagram(2048).data();
            return true;
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) return false;
        if (!socket.waitForReadyRead(static_cast<int>(left)) && !socket.hasPendingDatagrams() &&
            socket.error() != QAbstractSocket::SocketTimeoutError) {
            // An ICMP error (nobody on that port yet) ends the wait early: sit out the rest
            // of the try, so every try lasts as long as asked.
            QThread::msleep(static_cast<unsigned long>(std::max<qint64>(0, timeoutMs - clock.elapsed())));
            return false;
        }
    }
}

std::optional<QByteArray> Uploader::takeAnswer() {
    for (auto& socket : invitations_) {
        while (socket->hasPendingDatagrams()) {
            const QByteArray answer = socket->receiveDatagram(2048).data();
            // A challenge to an older invitation is stale: the newer one reset the board's login.
            if (socket != invitations_.back() && answer.startsWith(ota::kAnswerAuth)) {
                log_.debug(QStringLiteral("Stale answer: '%1'").arg(QString::fromLatin1(answer)));
                continue;
            }
            udp_ = socket.get();
            return answer;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> Uploader::invite() {
    const int command = options_.spiffs ? ota::kCommandFilesystem : ota::kCommandFlash;
    const QByteArray message =
        ota::FormatInvitation({command, server_.serverPort(), image_.size(), imageMd5_});
    log_.progress(QStringLiteral("Sending invitation to %1 ").arg(options_.espIp));
    const auto notFound = [&] {
        log_.progress(QStringLiteral("failed\n"));
        log_.error(QStringLiteral("Host %1 Not Found").arg(options_.espIp));
        return std::nullopt;
    };
    if (board_.isNull() && !resolveBoard()) return notFound();
    // Ten tries of -t seconds, one "." for each that passes unanswered; within them
    // the invitation is sent again after 0.25 s, 0.5 s, ... up to -t apart.
    const qint64 tryMs = static_cast<qint64>(options_.timeoutSeconds * 1000);
    const qint64 budgetMs = kInvitationTries * tryMs;
    invitations_.clear();
    udp_ = nullptr;
    QElapsedTimer clock;
    clock.start();
    qint64 nextSend = 0;
    qint64 interval = std::min(kFirstResendMs, tryMs);
    int dots = 0;
    for (;;) {
        const qint64 now = clock.elapsed();
        if (now >= nextSend && now < budgetMs) {
            // A new socket, and so a new source port, for every invitation.
            invitations_.push_back(std::make_unique<QUdpSocket>());
            if (invitations_.back()->writeDatagram(message, board_, static_cast<quint16>(options_.espPort)) <
                0)
                return notFound();
            nextSend = now + interval;
            interval = std::min(interval * 2, tryMs);
        }
        if (auto answer = takeAnswer()) {
            log_.progress(QStringLiteral("\n"));
            log_.debug(QStringLiteral("Invitation answer: '%1'").arg(QString::fromLatin1(*answer)));
            return answer;
        }
        for (; dots < kInvitationTries && (dots + 1) * tryMs <= now; ++dots)
            log_.progress(QStringLiteral("."));
        if (now >= budgetMs) break;
        const qint64 wake = std::min({nextSend, (dots + 1) * tryMs, budgetMs, now + kAnswerPollMs});
        QUdpSocket& newest = *invitations_.back();
        if (!newest.waitForReadyRead(static_cast<int>(std::max<qint64>(1, wake - now))) &&
            newest.error() != QAbstractSocket::SocketTimeoutError) {
            // An ICMP error (nobody on that port yet) ends the wait early: sit out the rest.
            QThread::msleep(static_cast<unsigned long>(std::max<qint64>(0, wake - clock.elapsed())));
        }
    }
    log_.progress(QStringLiteral("\n"));
    log_.error(QStringLiteral("No response from the ESP"));
    return std::nullopt;
}

Uploader::Login Uploader::logInOnce(const QByteArray& nonce, ota::SecretKind secret, QByteArray* oddAnswer) {
    const QByteArray password = options_.auth.toUtf8();
    const QByteArray cnonce = ota::ClientNonce(options_.image.toUtf8(), image_.size(), imageMd5_,
                                               options_.espIp.toUtf8(), static_cast<int>(nonce.size()));
    const QByteArray response = ota::ResponseFor(ota::PasswordSecret(password, secret), nonce, cnonce);
    udp_->writeDatagram(ota::FormatAuthMessage({cnonce, response}), board_,
                        static_cast<quint16>(options_.espPort));
    QByteArray answer;
    if (!waitDatagram(*udp_, static_cast<int>(options_.timeoutSeconds * 1000), &answer))
        return Login::NoAnswer;
    if (answer == ota::kAnswerOk) return Login::Ok;
    if (answer == ota::kAnswerAuthFailed) return Login::Refused;
    *oddAnswer = answer;
    return Login::Odd;
}

bool Uploader::logIn(QByteArray answer) {
    if (answer == ota::kAnswerOk) return true;
    const auto badAnswer = [&](const QByteArray& text) {
        log_.error(QStringLiteral("Bad Answer: %1").arg(QString::fromLatin1(text)));
        return false;
    };
    if (!answer.startsWith(ota::kAnswerAuth)) return badAnswer(answer);

    // The PBKDF2 login is tried with SHA256(password) first; a board that stores
    // MD5(password) gets a second invitation and the MD5 secret.
    bool md5SecretTried = false;
    for (;;) {
        const QByteArray nonce = answer.mid(4).trimmed();
        if (nonce.size() != ota::kLegacyNonceLength && nonce.size() != ota::kPbkdf2NonceLength) {
            log_.error(QStringLiteral("Invalid nonce length: %1 (expected 32 or 64)").arg(nonce.size()));
            return false;
        }
        const bool legacy = nonce.size() == ota::kLegacyNonceLength;
        const bool md5Secret = legacy || options_.md5Target || md5SecretTried;
        if (legacy)
            log_.progress(QStringLiteral("Authenticating (MD5 protocol)..."));
        else if (md5Secret)
            log_.progress(QStringLiteral("Authenticating (SHA256 protocol with MD5 password)..."));
        else
            log_.progress(QStringLiteral("Authenticating..."));

        QByteArray odd;
        const Login login =
            logInOnce(nonce, md5Secret ? ota::SecretKind::Md5 : ota::SecretKind::Sha256, &odd);
        if (login == Login::Ok) {
            log_.progress(QStringLiteral("OK\n"));
            if (legacy)
                log_.warning(
                    QStringLiteral("The device uses the legacy MD5 login; newer firmware uses PBKDF2."));
            return true;
        }
        if (!md5Secret) {
            md5SecretTried = true;
            log_.progress(QStringLiteral("Retrying with MD5 password..."));
            const auto again = invite();
            if (!again) return false;
            answer = *again;
            if (answer == ota::kAnswerOk) return true;
            if (!answer.startsWith(ota::kAnswerAuth)) return badAnswer(answer);
            continue;
        }
        log_.progress(QStringLiteral("FAIL\n"));
        if (login == Login::Refused)
            log_.error(QStringLiteral("Authentication Failed"));
        else if (login == Login::NoAnswer)
            log_.error(QStringLiteral("No Answer to our Authentication"));
        else
            badAnswer(odd);
        return false;
    }
}

Uploader::Attempt Uploader::transfer() {
    log_.info(QStringLiteral("Waiting for device..."));
    Attempt result;
    if (!server_.waitForNewConnection(kAcceptTimeoutMs)) {
        result.networkFailure = true;
        result.error = QStringLiteral("No response from device");
        result.what = QStringLiteral("The device did not connect back");
        return result;
    }
    std::unique_ptr<QTcpSocket> socket(server_.nextPendingConnection());
    server_.close();
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const TransferResult sent =
        Transfer(*socket, image_, {options_.stopAndWait, options_.progress}, log_).run();
    result.exitCode = sent.exitCode;
    result.networkFailure = sent.networkFailure;
    result.error = sent.error;
    result.what =
        QStringLiteral("The transfer broke off after %1 of %2 bytes").arg(sent.sent).arg(image_.size());
    if (sent.exitCode == 0) socket->close();
    return result;
}

}  // namespace ifb::espota
