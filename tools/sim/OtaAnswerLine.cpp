#include "OtaAnswerLine.h"

#include <QTcpSocket>

namespace ifb::sim {

OtaAnswerLine::OtaAnswerLine(QTcpSocket* socket, int delayMs, QObject* parent)
    : QObject(parent), socket_(socket), delayMs_(delayMs) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &OtaAnswerLine::writeDue);
}

void OtaAnswerLine::send(const QByteArray& bytes) {
    if (!socket_) return;
    if (delayMs_ <= 0 && queue_.empty()) {
        socket_->write(bytes);
        return;
    }
    queue_.push_back({clock_.elapsed() + delayMs_, bytes});
    if (!timer_.isActive())
        timer_.start(static_cast<int>(std::max<qint64>(0, queue_.front().at - clock_.elapsed())));
}

void OtaAnswerLine::writeDue() {
    if (!socket_) {
        queue_.clear();
        finishIfDone();
        return;
    }
    // Answers due at the same moment leave in one write, as a board's do.
    QByteArray out;
    while (!queue_.empty() && queue_.front().at <= clock_.elapsed()) {
        out += queue_.front().bytes;
        queue_.pop_front();
    }
    if (!out.isEmpty()) socket_->write(out);
    if (!queue_.empty())
        timer_.start(static_cast<int>(std::max<qint64>(0, queue_.front().at - clock_.elapsed())));
    finishIfDone();
}

void OtaAnswerLine::closeWhenSent() {
    closing_ = true;
    finishIfDone();
}

void OtaAnswerLine::finishIfDone() {
    if (!closing_ || !queue_.empty()) return;
    QTcpSocket* socket = socket_;
    if (socket) {
        // Written text still goes out before the close; the socket then deletes itself.
        socket->disconnect();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
    }
    deleteLater();
}

}  // namespace ifb::sim
