#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QUdpSocket>
#include <memory>
#include <optional>
#include <vector>

#include "EspotaCommandLine.h"
#include "EspotaLog.h"
#include "OtaAuth.h"

class QTcpSocket;

namespace ifb::espota {

// One upload the espota way: listen, invite the board over UDP (10 tries of
// -t seconds, re-sent within a try at growing intervals), log in when asked
// (MD5 or PBKDF2 by nonce length, PBKDF2 retried with the MD5 secret), wait for
// the board to connect, then send the image (see Transfer). A board that does
// not connect back or a transfer that breaks off is tried again from the
// invitation, --retries times. Only an "OK" from the board is success.
class Uploader {
  public:
    Uploader(EspotaOptions options, EspotaLog& log);
    // The process exit code: 0 when the board answered "OK", 1 otherwise.
    int run();

  private:
    enum class Login { Ok, Refused, NoAnswer, Odd };
    struct Attempt {
        int exitCode = 1;
        bool networkFailure = false;
        QString error;  // logged when no try is left
        QString what;   // logged when another try follows
    };

    bool readImage();
    bool listen();
    bool resolveBoard();
    std::optional<QByteArray> invite();
    bool waitDatagram(QUdpSocket& socket, int timeoutMs, QByteArray* datagram);
    bool logIn(QByteArray answer);
    Login logInOnce(const QByteArray& nonce, ota::SecretKind secret, QByteArray* oddAnswer);
    Attempt attempt();
    Attempt transfer();
    std::optional<QByteArray> takeAnswer();

    EspotaOptions options_;
    EspotaLog& log_;
    QByteArray image_;
    QByteArray imageMd5_;
    QHostAddress board_;
    QTcpServer server_;
    quint16 hostPort_ = 0;
    // One socket (so one source port) per invitation sent; only the newest one's
    // login challenge is still valid, since a later invitation resets the board's login.
    std::vector<std::unique_ptr<QUdpSocket>> invitations_;
    QUdpSocket* udp_ = nullptr;  // the socket of the answered invitation
};

}  // namespace ifb::espota
