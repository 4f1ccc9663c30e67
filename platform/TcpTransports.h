#pragma once

#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "Transport.h"

namespace ifb {

// The link as TCP client of the board. Creation does not connect; open starts
// connecting and the connection is reported by its events. After a socket
// error the client tries again, paced, until it is closed.
class TcpClientTransport final : public Transport {
  public:
    // A failed connection is retried after this pause, not in a tight loop.
    static constexpr int kReconnectDelayMs = 250;
    static constexpr int kReadChunk = 1024;

    TcpClientTransport(const QString& host, quint16 port);
    ~TcpClientTransport() override;

    void open() override;
    void close() override;
    bool isOpen() const override { return connected_; }
    void write(const QByteArray& bytes) override;
    qint64 bytesAvailable() const override { return socket_.bytesAvailable(); }
    int read(char* buffer, int max) override;
    bool settlesLater() const override { return true; }

  private:
    void onConnected();
    void onDisconnected();
    void onError();

    QString host_;
    quint16 port_;
    QTcpSocket socket_;
    QTimer reconnect_;
    bool connected_ = false;
};

// The link as TCP server: the board connects to it. Frames go to the newest
// connection; the link stays open while any connection is left.
class TcpServerTransport final : public Transport {
  public:
    static constexpr int kReadChunk = 256;

    explicit TcpServerTransport(quint16 port);
    ~TcpServerTransport() override;

    void open() override;
    void close() override;
    bool isOpen() const override { return !connections_.isEmpty(); }
    void write(const QByteArray& bytes) override;
    qint64 bytesAvailable() const override;
    int read(char* buffer, int max) override;
    bool settlesLater() const override { return true; }

  private:
    void onNewConnection();
    void onClientGone(QTcpSocket* socket);

    quint16 port_;
    QTcpServer server_;
    QList<QTcpSocket*> connections_;
};

}  // namespace ifb
