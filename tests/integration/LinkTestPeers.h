#pragma once

#include "FrameCutter.h"
#include "PtyPair.h"

// Peers for the link's integration tests: a pty pair whose master side plays
// the board, a scripted board on top of it, a loopback TCP board, and the
// link's test accessor.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "../unit/LinkTestFrames.h"
#include "TTComXDlg.h"

namespace ifb {

// Reaches the link's receive ring and transport; tests only.
struct LinkTestAccess {
    static const RxRing& ring(const TTComXDlg& link) { return link.receiver_.ring(); }
    static bool inFrame(const TTComXDlg& link) { return link.receiver_.inFrame(); }
    static Transport& transport(TTComXDlg& link) { return *link.transport_; }
};

}  // namespace ifb

namespace ifb::test {

// Handles events until done() holds or ms real milliseconds pass.
inline bool spinUntil(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

inline void spinFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The board on a pty master: records every request and writes what the
// script answers (nothing when it returns an empty array).
class PtyBoard : public QObject {
  public:
    using Script = std::function<QByteArray(const QByteArray& request)>;

    explicit PtyBoard(PtyPair& pty, Script script = {}) : pty_(pty), script_(std::move(script)) {
        notifier_ = std::make_unique<QSocketNotifier>(pty.master(), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { onReadable(); });
    }
    void setScript(Script script) { script_ = std::move(script); }
    void stop() { notifier_->setEnabled(false); }

    std::vector<QByteArray> requests;

  private:
    void onReadable() {
        const QByteArray bytes = pty_.readAvailable();
        if (bytes.isEmpty()) {
            // The slave side is closed (EIO): wait for the link to reopen it.
            notifier_->setEnabled(false);
            QTimer::singleShot(20, this, [this] { notifier_->setEnabled(true); });
            return;
        }
        for (const QByteArray& f : cutter_.add(bytes)) {
            requests.push_back(f);
            if (script_) {
                const QByteArray answer = script_(f);
                if (!answer.isEmpty()) pty_.write(answer);
            }
        }
    }

    PtyPair& pty_;
    Script script_;
    std::unique_ptr<QSocketNotifier> notifier_;
    FrameCutter cutter_;
};

// A TCP peer: as server (the link is the client) it accepts connections; as
// client it connects to the link's server. Records requests and answers from a script.
class TcpBoard : public QObject {
  public:
    using Script = PtyBoard::Script;

    explicit TcpBoard(Script script = {}) : script_(std::move(script)) {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) adopt(s);
        });
    }
    // On port 0: any free port.
    quint16 listen(quint16 port = 0) {
        server_.listen(QHostAddress::LocalHost, port);
        return server_.serverPort();
    }
    void stopListening() { server_.close(); }
    QTcpSocket* connectTo(quint16 port) {
        auto* s = new QTcpSocket(this);
        s->connectToHost(QHostAddress::LocalHost, port);
        adopt(s);
        return s;
    }
    void setScript(Script script) { script_ = std::move(script); }
    QTcpSocket* last() const { return sockets_.empty() ? nullptr : sockets_.back(); }
    int accepted() const { return static_cast<int>(sockets_.size()); }

    std::vector<QByteArray> requests;
    std::vector<QTcpSocket*> requestSockets;

  private:
    void adopt(QTcpSocket* s) {
        sockets_.push_back(s);
        auto cutter = std::make_shared<FrameCutter>();
        connect(s, &QTcpSocket::readyRead, this, [this, s, cutter] {
            for (const QByteArray& f : cutter->add(s->readAll())) {
                requests.push_back(f);
                requestSockets.push_back(s);
                if (script_) {
                    const QByteArray answer = script_(f);
                    if (!answer.isEmpty()) s->write(answer);
                }
            }
        });
    }

    QTcpServer server_;
    Script script_;
    std::vector<QTcpSocket*> sockets_;
};

// The owner's 50 ms poll, faster in tests.
class PollTimer {
  public:
    explicit PollTimer(TTComXDlg& link, int ms = 5) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [&link] { link.PollReceive(); });
        timer_.start(ms);
    }
    void stop() { timer_.stop(); }
    void start() { timer_.start(); }

  private:
    QTimer timer_;
};

}  // namespace ifb::test
