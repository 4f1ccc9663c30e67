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

namespace ifb::espota {
namespace {

constexpr int kInvitationTries = 10;
constexpr qint64 kChunkSize = 1024;
constexpr int kChunkTimeoutMs = 10000;
constexpr int kAcceptTimeoutMs = 10000;
constexpr int kResultTimeoutMs = 30000;
constexpr int kErrorTextGraceMs = 2000;
constexpr int kBarWidth = 60;
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

// What the board has said on the data connection so far.
struct BoardReply {
    bool ok = false;    // "OK" seen
    QString errorText;  // anything but byte counts and "OK"
};

BoardReply classify(const QByteArray& received) {
    BoardReply reply;
    if (received.contains("OK")) {
        reply.ok = true;
        return reply;
    }
    qsizetype first = 0;
    while (first < received.size() && received[first] >= '0' && received[first] <= '9') ++first;
    QByteArray rest = received.mid(first);
    // Counts are plain digits; a lone 'O' may be the first half of "OK".
    while (!rest.isEmpty() && rest != "O") {
        reply.errorText = QString::fromLatin1(rest).trimmed();
        if (reply.errorText.isEmpty()) rest.clear();
        break;
    }
    return reply;
}

}  // namespace

Uploader::Uploader(EspotaOptions options, EspotaLog& log) : options_(std::move(options)), log_(log) {}

int Uploader::run() {
    if (!readImage() || !listen()) return 1;
    log_.info(QStringLiteral("Starting on %1:%2").arg(options_.hostIp).arg(server_.serverPort()));
    log_.info(QStringLiteral("Upload size: %1").arg(image_.size()));
    const auto answer = invite();
    if (!answer || !logIn(*answer)) return 1;
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
    if (options_.hostPort >= 0) {
        if (server_.listen(address, static_cast<quint16>(options_.hostPort))) return true;
    } else {
        // A random port may be taken; try another rather than give up.
        for (int i = 0; i < kRandomPortTries; ++i) {
            const auto port = static_cast<quint16>(QRandomGenerator::global()->bounded(10000, 60001));
            if (server_.listen(address, port)) return true;
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

std::optional<QByteArray> Uploader::invite() {
    const int command = options_.spiffs ? ota::kCommandFilesystem : ota::kCommandFlash;
    const QByteArray message =
        ota::FormatInvitation({command, server_.serverPort(), image_.size(), imageMd5_});
    log_.progress(QStringLiteral("Sending invitation to %1 ").arg(options_.espIp));
    if (board_.isNull() && !resolveBoard()) {
        log_.progress(QStringLiteral("failed\n"));
        log_.error(QStringLiteral("Host %1 Not Found").arg(options_.espIp));
        return std::nullopt;
    }
    const int timeoutMs = static_cast<int>(options_.timeoutSeconds * 1000);
    for (int attempt = 0; attempt < kInvitationTries; ++attempt) {
        // A new socket, and so a new source port, for every try.
        udp_ = std::make_unique<QUdpSocket>();
        if (udp_->writeDatagram(message, board_, static_cast<quint16>(options_.espPort)) < 0) {
            log_.progress(QStringLiteral("failed\n"));
            log_.error(QStringLiteral("Host %1 Not Found").arg(options_.espIp));
            return std::nullopt;
        }
        QByteArray answer;
        if (waitDatagram(*udp_, timeoutMs, &answer)) {
            log_.progress(QStringLiteral("\n"));
            log_.debug(QStringLiteral("Invitation answer: '%1'").arg(QString::fromLatin1(answer)));
            return answer;
        }
        log_.progress(QStringLiteral("."));
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

void Uploader::showProgress(qint64 sent) {
    if (!options_.progress) {
        log_.progress(QStringLiteral("."));
        return;
    }
    const int percent = image_.isEmpty() ? 100 : static_cast<int>(sent * 100 / image_.size());
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    const int filled = image_.isEmpty() ? kBarWidth : static_cast<int>(sent * kBarWidth / image_.size());
    const QString bar = QString(filled, QLatin1Char('=')) + QString(kBarWidth - filled, QLatin1Char(' '));
    if (percent >= 100)
        log_.progress(QStringLiteral("\rUploading: [%1] 100% Done...\r\n").arg(bar));
    else
        log_.progress(QStringLiteral("\rUploading: [%1] %2% ").arg(bar).arg(percent));
}

int Uploader::transfer() {
    log_.info(QStringLiteral("Waiting for device..."));
    if (!server_.waitForNewConnection(kAcceptTimeoutMs)) {
        log_.error(QStringLiteral("No response from device"));
        return 1;
    }
    std::unique_ptr<QTcpSocket> socket(server_.nextPendingConnection());
    server_.close();
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    QByteArray received;
    const auto rejected = [&](const QString& text) {
        // The board names its reason before it closes; let the whole text arrive.
        QElapsedTimer grace;
        grace.start();
        while (socket->state() == QAbstractSocket::ConnectedState && grace.elapsed() < kErrorTextGraceMs &&
               socket->waitForReadyRead(static_cast<int>(kErrorTextGraceMs - grace.elapsed())))
            received += socket->readAll();
        const QString full = classify(received).errorText;
        log_.warning(
            QStringLiteral("Unexpected response from device: '%1'").arg(full.isEmpty() ? text : full));
        log_.error(QStringLiteral("Error response from device"));
        return 1;
    };

    if (options_.progress)
        showProgress(0);
    else
        log_.progress(QStringLiteral("Uploading"));
    qint64 offset = 0;
    while (offset < image_.size()) {
        const QByteArray chunk = image_.mid(offset, kChunkSize);
        QElapsedTimer clock;
        clock.start();
        const auto timeLeft = [&] {
            return static_cast<int>(std::max<qint64>(0, kChunkTimeoutMs - clock.elapsed()));
        };
        const auto uploadError = [&](const QString& reason) {
            log_.error(QStringLiteral("Error Uploading: %1").arg(reason));
            return 1;
        };
        if (socket->write(chunk) != chunk.size()) return uploadError(socket->errorString());
        while (socket->bytesToWrite() > 0) {
            if (!socket->waitForBytesWritten(timeLeft())) {
                if (socket->state() != QAbstractSocket::ConnectedState)
                    return uploadError(socket->errorString());
                return uploadError(QStringLiteral("timed out"));
            }
        }
        offset += chunk.size();
        showProgress(offset);
        if (!socket->bytesAvailable() && !socket->waitForReadyRead(timeLeft())) {
            const BoardReply sofar = classify(received);
            if (!sofar.errorText.isEmpty()) return rejected(sofar.errorText);
            if (socket->state() != QAbstractSocket::ConnectedState) return uploadError(socket->errorString());
            return uploadError(QStringLiteral("timed out"));
        }
        const QByteArray data = socket->readAll();
        log_.debug(QStringLiteral("Chunk response: '%1'").arg(QString::fromLatin1(data)));
        received += data;
        const BoardReply reply = classify(received);
        if (reply.ok) break;
        if (!reply.errorText.isEmpty()) return rejected(reply.errorText);
    }

    BoardReply reply = classify(received);
    if (!reply.ok) {
        log_.endLine();
        log_.info(QStringLiteral("Waiting for result..."));
        QElapsedTimer clock;
        clock.start();
        while (!reply.ok && clock.elapsed() < kResultTimeoutMs) {
            if (!socket->bytesAvailable() &&
                !socket->waitForReadyRead(static_cast<int>(kResultTimeoutMs - clock.elapsed()))) {
                if (socket->state() != QAbstractSocket::ConnectedState) break;
                continue;
            }
            const QByteArray data = socket->readAll();
            log_.info(QStringLiteral("Result: '%1'").arg(QString::fromLatin1(data)));
            received += data;
            reply = classify(received);
        }
        if (!reply.ok) {
            if (!reply.errorText.isEmpty() || socket->state() != QAbstractSocket::ConnectedState)
                return rejected(reply.errorText);
            log_.error(QStringLiteral("No response from device after upload completion"));
            return 1;
        }
    }
    log_.info(QStringLiteral("Success"));
    socket->close();
    return 0;
}

}  // namespace ifb::espota
