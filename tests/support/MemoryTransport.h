#pragma once

#include <QByteArray>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "FrameCutter.h"
#include "LinkTransport.h"

// An in-memory transport for link tests. It lives here rather than in
// platform/ because the product never selects it: no settings kind maps to it,
// and tests put it under a link through the transport factory.

namespace ifb::test {

class MemoryTransport;

// The board's end of an in-memory line; the link's end is the MemoryTransport
// that factory() makes. Bytes cross on the event loop, as on a socket. The
// link's end behaves like a TCP client: open while the board is there, and
// connected again by itself once the board is back. Outlives the link.
class MemoryLine {
  public:
    using Script = std::function<QByteArray(const QByteArray& request)>;

    inline TransportFactory factory();
    void setScript(Script script) { script_ = std::move(script); }
    // Bytes from the board to the link.
    inline void send(const QByteArray& bytes);
    // The board goes away: the link's end closes.
    inline void hangUp();
    // The board is there again: the link's end connects if it was open.
    inline void comeBack();
    bool present() const { return present_; }

    // Every frame the link sent, in order, and how often it connected.
    std::vector<QByteArray> requests;
    int connections = 0;

  private:
    friend class MemoryTransport;
    inline void fromLink(const QByteArray& bytes);

    MemoryTransport* end_ = nullptr;
    bool present_ = true;
    Script script_;
    FrameCutter cutter_;
};

class MemoryTransport final : public Transport {
  public:
    explicit MemoryTransport(MemoryLine& line) : line_(line) { line_.end_ = this; }
    ~MemoryTransport() override {
        if (line_.end_ == this) line_.end_ = nullptr;
    }

    void open() override {
        drop();
        wanted_ = true;
        connectLater();
    }
    void close() override {
        wanted_ = false;
        drop();
    }
    bool isOpen() const override { return open_; }
    void write(const QByteArray& bytes) override {
        if (!open_) return;
        QTimer::singleShot(0, this, [this, bytes] { line_.fromLink(bytes); });
    }
    qint64 bytesAvailable() const override { return inbox_.size(); }
    int read(char* buffer, int max) override {
        const int n = static_cast<int>(qMin<qsizetype>(max, inbox_.size()));
        if (n <= 0) return 0;
        std::copy(inbox_.constData(), inbox_.constData() + n, buffer);
        inbox_.remove(0, n);
        return n;
    }
    bool settlesLater() const override { return true; }

    void connectLater() {
        QTimer::singleShot(0, this, [this] {
            if (!wanted_ || open_ || !line_.present_) return;
            open_ = true;
            ++line_.connections;
            emit streamRestarted();
            emit stateChanged(true);
        });
    }
    void drop() {
        if (!open_) return;
        open_ = false;
        inbox_.clear();
        emit streamRestarted();
        emit stateChanged(false);
    }
    void deliver(const QByteArray& bytes) {
        if (!open_) return;
        inbox_ += bytes;
        emit bytesArrived();
    }

  private:
    MemoryLine& line_;
    QByteArray inbox_;
    bool wanted_ = false;
    bool open_ = false;
};

TransportFactory MemoryLine::factory() {
    return [this](const TransportSetup&) -> std::unique_ptr<Transport> {
        return std::make_unique<MemoryTransport>(*this);
    };
}

void MemoryLine::send(const QByteArray& bytes) {
    if (!end_) return;
    MemoryTransport* end = end_;
    QTimer::singleShot(0, end, [end, bytes] { end->deliver(bytes); });
}

void MemoryLine::hangUp() {
    present_ = false;
    if (end_) end_->drop();
}

void MemoryLine::comeBack() {
    present_ = true;
    if (end_) end_->connectLater();
}

void MemoryLine::fromLink(const QByteArray& bytes) {
    if (!present_) return;
    for (const QByteArray& frame : cutter_.add(bytes)) {
        requests.push_back(frame);
        if (script_) {
            const QByteArray answer = script_(frame);
            if (!answer.isEmpty()) send(answer);
        }
    }
}

// Puts a factory under every link created while it lives.
class ScopedTransportFactory {
  public:
    explicit ScopedTransportFactory(TransportFactory factory) { SetTransportFactory(std::move(factory)); }
    ~ScopedTransportFactory() { SetTransportFactory({}); }
    ScopedTransportFactory(const ScopedTransportFactory&) = delete;
    ScopedTransportFactory& operator=(const ScopedTransportFactory&) = delete;
};

}  // namespace ifb::test
