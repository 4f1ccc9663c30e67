#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <deque>

class QTcpSocket;

namespace ifb::sim {

// The receiver's answers on its data connection, each written delayMs after it
// was given (the round trip of a slow link); data keeps being read meanwhile.
// A close waits until every answer is out; the line then deletes itself and
// the socket.
class OtaAnswerLine : public QObject {
    Q_OBJECT
  public:
    OtaAnswerLine(QTcpSocket* socket, int delayMs, QObject* parent);

    void send(const QByteArray& bytes);
    // Lets the connection go: the rest is sent, then it is closed gracefully.
    void closeWhenSent();

  private:
    struct Due {
        qint64 at = 0;
        QByteArray bytes;
    };
    void writeDue();
    void finishIfDone();

    QPointer<QTcpSocket> socket_;
    int delayMs_;
    std::deque<Due> queue_;
    QElapsedTimer clock_;
    QTimer timer_;
    bool closing_ = false;
};

}  // namespace ifb::sim
