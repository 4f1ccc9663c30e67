#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

#include "SimConfig.h"

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;
class QTimer;

namespace ifb::sim {

// The board's end of the serial link: a pty (what a USB serial adapter looks
// like to the PC) or a TCP connection carrying the same bytes.
class SimTransport : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    // Opens the transport; the text for the first line on stdout goes to *where.
    virtual bool open(QString* where, QString* error) = 0;
    virtual void write(const QByteArray& bytes) = 0;
    // Like pulling the cable: the PC's side sees the port go away.
    virtual void hangUp() = 0;

  signals:
    void received(const QByteArray& bytes);
};

std::unique_ptr<SimTransport> MakeTransport(const SimConfig& config);

class PtyTransport final : public SimTransport {
    Q_OBJECT
  public:
    explicit PtyTransport(QString linkPath);
    ~PtyTransport() override;
    bool open(QString* where, QString* error) override;
    void write(const QByteArray& bytes) override;
    void hangUp() override;

  private:
    void readMaster();
    void flushPending();
    void closeAll();

    QString linkPath_;
    bool linkMade_ = false;
    int master_ = -1;
    int slave_ = -1;  // held open so the master never sees a hang-up when the PC closes the port
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray pending_;
};

class TcpListenTransport final : public SimTransport {
    Q_OBJECT
  public:
    explicit TcpListenTransport(quint16 port);
    bool open(QString* where, QString* error) override;
    void write(const QByteArray& bytes) override;
    void hangUp() override;

  private:
    void accept();

    quint16 port_;
    QTcpServer* server_ = nullptr;
    QTcpSocket* client_ = nullptr;
};

class TcpConnectTransport final : public SimTransport {
    Q_OBJECT
  public:
    TcpConnectTransport(QString host, quint16 port);
    bool open(QString* where, QString* error) override;
    void write(const QByteArray& bytes) override;
    void hangUp() override;

  private:
    void connectNow();

    QString host_;
    quint16 port_;
    QTcpSocket* socket_ = nullptr;
    QTimer* retry_ = nullptr;
    bool hungUp_ = false;
};

}  // namespace ifb::sim
