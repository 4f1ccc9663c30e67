#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "OtaAnswerLine.h"
#include "OtaMessages.h"
#include "SimConfig.h"

class QTcpSocket;
class QUdpSocket;

namespace ifb::sim {

class SimLog;

// The board's Arduino OTA receiver: UDP invitation and login, then it connects
// back to the PC and pulls the image, answering each read with its byte count,
// and ends with "OK" or the update error text.
class OtaReceiver : public QObject {
    Q_OBJECT
  public:
    struct Settings {
        QHostAddress host;
        quint16 port = 3232;
        QByteArray password;
        OtaAuth auth = OtaAuth::Md5;
        qint64 partitionSize = 0x1E0000;
        int idleTimeoutMs = 1000;
        bool corrupt = false;
        // link and board faults
        int answerDelayMs = 0;    // every answer leaves this long after what it answers
        int flashBytesPerMs = 0;  // 0: no limit (1 byte/ms = 1 kB/s)
        bool ignoreInvitations = false;
        bool noConnectBack = false;
        qint64 closeAfter = 0;  // bytes received before the data connection is cut; 0: never
        int closeUploads = 0;   // how many uploads are cut; 0: every one
    };

    OtaReceiver(Settings settings, SimLog& log, QObject* parent = nullptr);
    ~OtaReceiver() override;

    bool start(QString* error);
    void stop();
    bool running() const { return udp_ != nullptr; }

  signals:
    // An upload ended after the transfer had begun. ok: the image was accepted;
    // result: "OK" or the error text; version: the image's app descriptor version.
    void finished(bool ok, const QString& result, const QString& version);

  private:
    enum class State { Idle, WaitAuth, Connecting, Receiving };

    void readDatagrams();
    void onInvitation(const QByteArray& datagram, const QHostAddress& from, quint16 fromPort);
    void onAuth(const QByteArray& datagram, const QHostAddress& from, quint16 fromPort);
    void answer(const QByteArray& text, const QHostAddress& to, quint16 toPort);
    void beginUpdate(const QHostAddress& pc);
    void onConnected();
    void onData();
    qint64 flashAllowance();
    bool cutting() const;
    void onStall();
    void onPcGone();
    void complete();
    void fail(const QString& text, bool sendText);
    void resetToIdle();
    void closeGracefully();
    QByteArray expectedResponse(const QByteArray& cnonce) const;

    Settings settings_;
    SimLog& log_;
    QUdpSocket* udp_ = nullptr;
    QPointer<QTcpSocket> tcp_;
    QTimer stallTimer_;
    QTimer connectTimer_;
    QTimer flashTimer_;
    QElapsedTimer flashClock_;
    qint64 flashLastNs_ = 0;
    double flashCredit_ = 0;  // bytes the flash can take now
    QPointer<OtaAnswerLine> answers_;
    int uploads_ = 0;
    State state_ = State::Idle;
    ota::Invitation invitation_;
    QByteArray nonce_;
    QByteArray image_;
    QByteArray lastCount_;
    int prods_ = 0;
    qint64 nextProgressLog_ = 0;
    bool magicChecked_ = false;
};

}  // namespace ifb::sim
