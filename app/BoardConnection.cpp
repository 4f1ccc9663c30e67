#include "BoardConnection.h"

#include "InstallMessages.h"
#include "TTComXDlg.h"
#include "WorkflowTimings.h"

namespace ifb {

BoardConnection::BoardConnection(Session& session, LogSink& log) : session_(session), log_(log) {
    timer1_.setInterval(kLinkPollIntervalMs);
    timer1_.setTimerType(Qt::PreciseTimer);
    connect(&timer1_, &QTimer::timeout, this, &BoardConnection::pollLink);
    rxPoll_.setSingleShot(true);
    rxPoll_.setInterval(0);
    connect(&rxPoll_, &QTimer::timeout, this, &BoardConnection::pollLink);
}

BoardConnection::~BoardConnection() = default;

void BoardConnection::open(LogPane& traceMemo) {
    const Option& option = session_.option;
    LinkSetup setup;
    setup.transportKind = option.UseUSB;
    setup.comPort = option.ComPort;
    setup.speedCode = option.ComSpeed;
    setup.parityCode = option.Parity;
    setup.tcpListenPort = option.TCPPort;
    setup.tcpServerMode = option.fTCPServer;
    setup.tcpClientPort = option.TCPServPort;
    setup.tcpClientAddr = option.TCPServAddr;
    ReadLinkSettings(session_.settingsPath, option.UseUSB, setup.line, setup.settings);
    setup.accessDenied = [this](const QString& port) {
        log_.WriteLog(install_messages::PortPermissionDenied(port), true);
    };
    link_ = std::make_unique<TTComXDlg>(setup, &traceMemo);
    // Received bytes are decoded at once (from the event loop, like a tick),
    // not only at the next tick: each command would otherwise wait most of a
    // tick for its reply.
    connect(link_.get(), &TTComXDlg::BytesArrived, this, [this] {
        if (timer1_.isActive() && !rxPoll_.isActive()) rxPoll_.start();
    });
    commands_ = std::make_unique<BoardCommands>(*link_, log_, [this] {
        link_->ReopenOnPort(session_.option.ComPort);
        timer1_.start();
    });
}

void BoardConnection::startPolling() {
    timer1_.start();
}

void BoardConnection::close() {
    timer1_.stop();
    rxPoll_.stop();
    commands_.reset();
    link_.reset();
}

void BoardConnection::pollLink() {
    if (!link_) return;
    // A serial link is polled only while its port is open; the others always.
    if (link_->transportKind() == kTransportSerial && !link_->IsLinkOpen()) return;
    link_->PollReceive();
}

}  // namespace ifb
