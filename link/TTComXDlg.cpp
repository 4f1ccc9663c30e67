#include "TTComXDlg.h"

#include "EventWait.h"
#include "LinkLog.h"
#include "LinkTransport.h"
#include "MessageBox.h"

namespace ifb {

TTComXDlg::TTComXDlg(const LinkSetup& setup, LogPane* traceMemo, QObject* parent)
    : QObject(parent),
      transportKind_(setup.transportKind),
      settings_(setup.settings),
      memo_(traceMemo),
      line_(CreationLine(setup.transportKind, setup.line, setup.comPort, setup.speedCode, setup.parityCode)),
      receiver_(*this, *this) {
    settings_.tcpListenPort = setup.tcpListenPort;
    settings_.tcpServerMode = setup.tcpServerMode;
    settings_.tcpClientPort = setup.tcpClientPort;
    settings_.tcpClientAddr = setup.tcpClientAddr;

    transport_ = CreateLinkTransport({transportKind_, line_, settings_});
    if (!transport_) return;
    Transport* t = transport_.get();
    connect(t, &Transport::bytesArrived, this, &TTComXDlg::takeArrived);
    connect(t, &Transport::bytesLeftBehind, this, &TTComXDlg::takeLeftBehind);
    connect(t, &Transport::streamRestarted, this, &TTComXDlg::resetReceive);
    connect(t, &Transport::traced, this, [this](const QString& text) {
        qCDebug(lcLink).noquote() << text;
        TraceLine(text);
    });
    connect(t, &Transport::errorOccurred, this, [this](const QString& text) {
        qCDebug(lcLink).noquote() << "error:" << text;
        TraceLine(text);
    });
    connect(t, &Transport::openFailed, this, &TTComXDlg::showOpenFailure);
    if (setup.accessDenied)
        connect(t, &Transport::accessDenied, this,
                [this, denied = setup.accessDenied] { denied(line_.port); });
    // Creation does not wait for a socket's connection.
    t->open();
}

TTComXDlg::~TTComXDlg() {
    if (transport_) transport_->disconnect(this);
}

void TTComXDlg::OpenLink() {
    reopen(nullptr);
}

void TTComXDlg::ReopenOnPort(const QString& port) {
    reopen(&port);
}

void TTComXDlg::reopen(const QString* port) {
    if (transport_) {
        if (transport_->isOpen()) transport_->close();
        if (transport_->settlesLater()) WaitLinkState(false);
    }
    resetReceive();
    if (!transport_) return;
    if (port && transport_->setPortName(*port)) line_.port = *port;
    transport_->open();  // a connection still being set up is dropped too
    if (transport_->settlesLater()) WaitLinkState(true);
}

void TTComXDlg::showOpenFailure(const QString& message) {
    qCDebug(lcLink).noquote() << "open failed:" << line_.port;
    showMessage(message, std::nullopt, MsgIcon::Error, MsgButtons::Ok, MsgOwner::MainWindow);
}

void TTComXDlg::resetReceive() {
    receiver_.Reset();
}

bool TTComXDlg::IsLinkOpen() const {
    return linkOpen();
}

bool TTComXDlg::WaitLinkState(bool wanted) {
    ProcessPendingEvents();
    LinkTimeout.start();
    for (;;) {
        ProcessPendingEvents();
        SleepWithoutEvents(kLinkStateSleepMs);
        if (linkOpen() == wanted) return true;
        ProcessPendingEvents();
        if (LinkTimeout.expired(kLinkStateTimeoutMs)) return false;
    }
}

// ---- received bytes ----

// Takes only what the ring has room for; the transport keeps the rest for the next poll.
void TTComXDlg::readTransport() {
    char buffer[4096];
    for (;;) {
        const int room = receiver_.space();
        const int n = transport_->read(
            buffer, room < static_cast<int>(sizeof buffer) ? room : static_cast<int>(sizeof buffer));
        if (n <= 0) break;
        qCDebug(lcWire).noquote() << "RX" << HexForm(reinterpret_cast<const quint8*>(buffer), n).trimmed();
        receiver_.Deliver(reinterpret_cast<const quint8*>(buffer), n);
    }
}

void TTComXDlg::takeArrived() {
    readTransport();
    emit BytesArrived();
}

void TTComXDlg::takeLeftBehind(const QByteArray& bytes) {
    receiver_.Deliver(reinterpret_cast<const quint8*>(bytes.constData()), static_cast<int>(bytes.size()));
    emit BytesArrived();
}

void TTComXDlg::topUp() {
    if (transport_) readTransport();
}

// ---- frames and waits ----

void TTComXDlg::SendFrame(const QByteArray& frame) {
    ReplyKind = Reply::None;
    ReplyCopied = false;
    if (!linkOpen()) {
        qCDebug(lcWire).noquote() << "not sent (link closed):" << HexForm(frame).trimmed();
        return;
    }
    qCDebug(lcWire).noquote() << "TX" << HexForm(frame).trimmed();
    transport_->write(frame);
}
bool TTComXDlg::judgeReply(bool nackBox) {
    // A notice ended the wait and no answer came since the send: the buffer
    // still holds the answer to an earlier request.
    if (!ReplyCopied) return false;
    switch (ReplyBuffer[2]) {
        case frame::kCmdAck:
            return true;
        case frame::kCmdNack:
            TraceLine(QStringLiteral("NACK 受信"));
            if (nackBox && ReplyBuffer[4] == 0x00) {
                showMessage(QStringLiteral("NACK : 0x00"), std::nullopt, MsgIcon::None, MsgButtons::Ok,
                            MsgOwner::MainWindow);
            }
            return false;
        default:
            return false;
    }
}

bool TTComXDlg::WaitAck() {
    LinkTimeout.start();
    if (!WaitUntil([this] { return ReplyKind != Reply::None; }, LinkTimeout, kAckTimeoutMs)) {
        qCDebug(lcLink) << "no reply within" << kAckTimeoutMs << "ms";
        TraceLine(QStringLiteral("レスポンス待ち　タイムオーバー"));
        return false;
    }
    return judgeReply(true);
}

bool TTComXDlg::WaitReply(Reply kind, quint32 timeoutMs) {
    LinkTimeout.start();
    // The answer counts even when a notice right behind it has replaced ReplyKind.
    if (!WaitUntil([this, kind] { return ReplyKind == kind || AnswerKind() == kind; }, LinkTimeout,
                   timeoutMs)) {
        qCDebug(lcLink) << "no reply of kind" << static_cast<int>(kind) << "within" << timeoutMs << "ms";
        TraceLine(QStringLiteral("レスポンス待ち　タイムオーバー"));
        return false;
    }
    return judgeReply(false);
}

void TTComXDlg::PollReceive() {
    if (transport_ && !transport_->decodesWhileClosed() && !transport_->isOpen()) return;
    receiver_.PollReceive();
}

void TTComXDlg::sumError(const QString& message) {
    showMessage(message, std::nullopt, MsgIcon::Question, MsgButtons::Yes, MsgOwner::MainWindow);
}

void TTComXDlg::TraceLine(const QString& text, bool force) {
    if ((fTrace || force) && memo_) AppendLogLine(*memo_, text);
}

}  // namespace ifb
