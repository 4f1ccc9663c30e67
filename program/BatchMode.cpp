#include "BatchMode.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "ConsoleFrontEnd.h"
#include "UpdaterApp.h"

namespace ifb {
namespace {

int g_signalPipe[2] = {-1, -1};

void onSigint(int) {
    static volatile sig_atomic_t count = 0;
    if (++count > 1) _exit(kExitInterrupted);  // a second Ctrl+C leaves at once
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
}

int ExitCodeOf(StartupResult result) {
    switch (result) {
        case StartupResult::PathCheckFailed:
            return kExitPathCheck;
        case StartupResult::BoardNotFound:
            return kExitBoardNotFound;
        case StartupResult::RomVersionFailed:
            return kExitRomVersion;
        case StartupResult::ModelNameFailed:
            return kExitModelName;
        case StartupResult::ModelRejected:
            return kExitModelRejected;
        case StartupResult::TargetIdFailed:
            return kExitTargetId;
        case StartupResult::EspotaNotChosen:
            return kExitEspotaMissing;
        case StartupResult::Ready:
            break;
    }
    return 0;
}

}  // namespace

int SpeedItemForRate(int bitsPerSecond) {
    switch (bitsPerSecond) {
        case 9600:
            return 0;
        case 19200:
            return 1;
        case 38400:
            return 2;
        case 57600:
            return 3;
        case 115200:
            return 4;
        default:
            return -1;
    }
}

int RunBatch(const BatchOptions& options, const QString& exePath, const QString& firmwareId) {
    ConsoleAnswers answers(options.assumeYes, stdin, stderr);
    ConsoleMessageBoxes boxes(answers, stderr);
    setMessageBoxes(&boxes);
    ConsoleOperator op({options.port, options.speed ? SpeedItemForRate(options.speed) : -1}, answers, stdout,
                       stderr);
    UpdaterApp app(op, exePath, firmwareId);
    if (!options.port.isEmpty()) app.option.ComPort = options.port;

    bool interrupted = false;
    std::unique_ptr<QSocketNotifier> sigintNotifier;
    if (pipe(g_signalPipe) == 0) {
        sigintNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(sigintNotifier.get(), &QSocketNotifier::activated, [&] {
            char byte;
            [[maybe_unused]] const ssize_t n = read(g_signalPipe[0], &byte, 1);
            std::fputs("Interrupted: stopping the update and restoring the board...\n", stderr);
            interrupted = true;
            app.requestAbort();
        });
        std::signal(SIGINT, onSigint);
    }

    const StartupResult started = app.startUp();
    int code = ExitCodeOf(started);
    if (started == StartupResult::Ready && !interrupted) {
        app.writeCommand();
        code = op.lastOutcome() < 0 ? kOutcomeAborted : op.lastOutcome();
    }
    app.closeSequence();
    std::signal(SIGINT, SIG_DFL);
    setMessageBoxes(nullptr);
    return interrupted ? kExitInterrupted : code;
}

}  // namespace ifb
