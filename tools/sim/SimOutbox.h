#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>
#include <deque>
#include <functional>

namespace ifb::sim {

class SimTransport;

// Delivers the board's frames in order, with the delivery faults applied:
// a delay before each reply, garbage bytes before it, byte-by-byte sending.
class SimOutbox : public QObject {
    Q_OBJECT
  public:
    struct Faults {
        int replyDelayMs = 0;
        bool noise = false;
        bool split = false;
    };

    SimOutbox(SimTransport& transport, Faults faults, QObject* parent = nullptr);

    // A reply to a request: delayed and noised as configured.
    void sendReply(const QByteArray& frame);
    // An unsolicited notice: queued behind what is pending, never delayed by itself.
    void sendNotice(const QByteArray& frame);
    // Runs once everything queued so far has gone out.
    void whenDrained(std::function<void()> action);

  private:
    struct Item {
        QByteArray bytes;
        qint64 notBefore = 0;
        std::function<void()> action;
    };
    void pump();
    void pumpUnlessWaiting();

    SimTransport& transport_;
    Faults faults_;
    std::deque<Item> queue_;
    qsizetype sentOfHead_ = 0;
    QTimer timer_;
    QElapsedTimer clock_;
    QRandomGenerator random_{20260101};
};

}  // namespace ifb::sim
