// ifb-sim: the interface board as the updater sees it, on a pty or TCP.
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "SimBoard.h"
#include "SimConfig.h"
#include "SimLog.h"
#include "SimTransport.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
}

// SIGINT/SIGTERM/SIGHUP end the event loop, so the pty link is removed on the way out.
void quitOnSignals(QCoreApplication& app) {
    if (::pipe(g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ifb-sim"));
    QString error;
    QString help;
    bool helpRequested = false;
    const auto config =
        ifb::sim::ParseSimCommandLine(QCoreApplication::arguments(), &error, &help, &helpRequested);
    if (helpRequested) {
        std::fputs(qPrintable(help), stdout);
        return 0;
    }
    if (!config) {
        std::fprintf(stderr, "ifb-sim: %s\n%s", qPrintable(error), qPrintable(help));
        return 2;
    }
    quitOnSignals(app);

    ifb::sim::SimLog log;
    if (!config->logPath.isEmpty() && !log.open(config->logPath, &error)) {
        std::fprintf(stderr, "ifb-sim: %s\n", qPrintable(error));
        return 1;
    }
    const auto transport = ifb::sim::MakeTransport(*config);
    QString where;
    if (!transport->open(&where, &error)) {
        std::fprintf(stderr, "ifb-sim: %s\n", qPrintable(error));
        return 1;
    }
    ifb::sim::SimBoard board(*config, *transport, log);
    // A hung-up board is gone: leave a moment for the log, then end.
    QObject::connect(&board, &ifb::sim::SimBoard::hungUp, &app,
                     [] { QTimer::singleShot(50, [] { QCoreApplication::quit(); }); });
    log.write(QStringLiteral("start"), {{QStringLiteral("where"), where},
                                        {QStringLiteral("mode"), config->mode},
                                        {QStringLiteral("rom"), QString::fromLatin1(config->rom)}});
    std::fprintf(stdout, "%s\n", qPrintable(where));
    std::fflush(stdout);
    if (config->otaAtStart) board.enterOtaMode(2, true);
    const int code = QCoreApplication::exec();
    transport->hangUp();
    log.write(QStringLiteral("exit"));
    return code;
}
