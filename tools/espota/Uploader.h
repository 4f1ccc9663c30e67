#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QUdpSocket>
#include <memory>
#include <optional>

#include "EspotaCommandLine.h"
#include "EspotaLog.h"
#include "OtaAuth.h"

class QTcpSocket;

namespace ifb::espota {

// One upload the espota way: listen, invite the board over UDP (10 tries),
// log in when asked (MD5 or PBKDF2 by nonce length, PBKDF2 retried with the
// MD5 secret), wait for the board to connect, then send 1024-byte chunks,
// each answered by the board. Only an "OK" from the board is success.
class Uploader {
  public:
    Uploader(EspotaOptions options, EspotaLog& log);
    // The process exit code: 0 when the board answered "OK", 1 otherwise.
    int run();

  private:
    enum class Login { Ok, Refused, NoAnswer, Odd };

    bool readImage();
    bool listen();
    bool resolveBoard();
    std::optional<QByteArray> invite();
    bool waitDatagram(QUdpSocket& socket, int timeoutMs, QByteArray* datagram);
    bool logIn(QByteArray answer);
    Login logInOnce(const QByteArray& nonce, ota::SecretKind secret, QByteArray* oddAnswer);
    int transfer();
    void showProgress(qint64 sent);

    EspotaOptions options_;
    EspotaLog& log_;
    QByteArray image_;
    QByteArray imageMd5_;
    QHostAddress board_;
    QTcpServer server_;
    std::unique_ptr<QUdpSocket> udp_;  // the socket of the answered invitation
    int lastPercent_ = -1;
};

}  // namespace ifb::espota
