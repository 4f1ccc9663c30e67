#include "BatchMode.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <cstdio>

#include "ConsoleFrontEnd.h"
#include "EventWait.h"
#include "UpdaterApp.h"

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace ifb {
namespace {

bool StderrIsTerminal() {
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(fileno(stderr)) != 0;
#endif
}

#ifndef Q_OS_WIN
int g_wakePipe[2] = {-1, -1};
volatile sig_atomic_t g_interrupts = 0;

void onSigint(int) {
    if (++g_interrupts > 1) _exit(kExitInterrupted);  // a second Ctrl+C leaves at once
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_wakePipe[1], &byte, 1);
    errno = saved;
}

// Ctrl+C asks the run to stop: the current step ends early, and the board
// still gets its mode back before the program exits.
class InterruptHandler {
  public:
    InterruptHandler() {
        g_interrupts = 0;
        if (pipe(g_wakePipe) != 0) return;
        for (int fd : g_wakePipe) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        struct sigaction action {};
        action.sa_handler = onSigint;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        installed_ = sigaction(SIGINT, &action, &previous_) == 0;
    }
    ~InterruptHandler() {
        if (installed_) sigaction(SIGINT, &previous_, nullptr);
        for (int& fd : g_wakePipe) {
            if (fd >= 0) close(fd);
            fd = -1;
        }
    }
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

    int wakeFd() const { return g_wakePipe[0]; }
    static bool interrupted() { return g_interrupts > 0; }
    // Empties the wake pipe once the event loop has seen it.
    static void drain() {
        char bytes[16];
        while (read(g_wakePipe[0], bytes, sizeof bytes) > 0) {
        }
    }

  private:
    struct sigaction previous_ {};
    bool installed_ = false;
};
#else
class InterruptHandler {
  public:
    int wakeFd() const { return -1; }
    static bool interrupted() { return false; }
    static void drain() {}
};
#endif

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

// One unit of a station run: its board's start-up part, then its update
// unless it is skipped as current. Returns its exit code and its name.
std::pair<int, const char*> RunUnit(UpdaterApp& app, ConsoleOperator& op, StartupResult started,
                                    const BatchOptions& options) {
    if (started != StartupResult::Ready) return {ExitCodeOf(started), "refused"};
    if (app.station().boardCurrent() && options.skipCurrent) return {0, "current"};
    op.clearOutcome();
    app.writeCommand();
    const int code = static_cast<int>(op.lastOutcome().value_or(UpdateOutcome::Aborted));
    return {code, code == 0 ? "OK" : "NG"};
}

// Waits for the station's next board: its port gone and back, or nextAfterMs.
// False when interrupted meanwhile.
bool AwaitNextBoard(UpdaterApp& app, const BatchOptions& options, StartupResult& started) {
    Station& station = app.station();
    std::fputs("Waiting for the next board...\n", stderr);
    bool taken = false;
    const QMetaObject::Connection arrived =
        QObject::connect(&station, &Station::boardArrived, &app, [&taken] { taken = true; });
    QElapsedTimer waited;
    waited.start();
    while (!InterruptHandler::interrupted() && !taken &&
           (options.nextAfterMs == 0 || waited.elapsed() < options.nextAfterMs))
        PauseWithEvents(50);
    QObject::disconnect(arrived);
    if (InterruptHandler::interrupted()) return false;
    started = station.takeBoard();
    return true;
}

// Unit after unit until --repeat's count or Ctrl+C between units.
int RunStation(UpdaterApp& app, ConsoleOperator& op, const BatchOptions& options) {
    Session& s = app.session();
    const bool savedSwitch = s.station.Enabled;
    app.setStationMode(true);
    StartupResult started = app.startUp();
    int lastFailure = 0;
    for (int unit = 1;; ++unit) {
        const auto [code, what] = RunUnit(app, op, started, options);
        if (code != 0) lastFailure = code;
        std::fprintf(stderr, "unit %d: %s (%d) ROM %s, target ID %s\n", unit, what, code,
                     qPrintable(s.RomVersion), qPrintable(s.TargetId));
        // Nothing another board could mend: no board at all, the program's path, no upload tool.
        if (started == StartupResult::BoardNotFound || started == StartupResult::PathCheckFailed ||
            started == StartupResult::EspotaNotChosen || InterruptHandler::interrupted())
            break;
        // The start-up's own refusal leaves the board as the window would close on it.
        if (started != StartupResult::Ready && !app.station().waitingForBoard()) app.station().refused();
        if (options.repeat.value_or(1) > 0 && unit >= *options.repeat) break;
        if (!AwaitNextBoard(app, options, started)) break;
    }
    const StationCounters& n = app.station().counters();
    std::fprintf(stderr, "units %d: OK %d, NG %d, current %d\n", n.units, n.ok, n.ng, n.current);
    // The switch of the window is not the batch run's to change.
    s.station.Enabled = savedSwitch;
    return lastFailure;
}

}  // namespace

void EnsureStandardStreams() {
#ifndef Q_OS_WIN
    // A descriptor 0..2 left closed by the caller would be handed to the next
    // file we open (the serial port, say): questions would then read from the
    // board and log lines go to it.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
#endif
}

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
#ifndef Q_OS_WIN
    // A reader that went away (a closed pipe) must not end the run before the
    // board is put back.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    InterruptHandler interrupt;
    ConsoleAnswers answers(options.assumeYes, fileno(stdin), stderr);
    answers.setInterrupt(interrupt.wakeFd(), &InterruptHandler::interrupted);
    ConsoleMessageBoxes boxes(answers, stderr);
    setMessageBoxes(&boxes);
    ConsoleOperator op({QString(), options.speed ? SpeedItemForRate(options.speed) : -1, StderrIsTerminal(),
                        options.autoJoin},
                       answers, stdout, stderr);
    UpdaterApp app(op, exePath, firmwareId);
    // --port stands for the port dialog's choice, and like that choice it is
    // what the settings keep afterwards.
    const QString configuredPort = app.session().option.ComPort;
    if (!options.port.isEmpty()) app.session().option.ComPort = options.port;
    op.setPort(app.session().option.ComPort);

    std::unique_ptr<QSocketNotifier> notifier;
    if (interrupt.wakeFd() >= 0) {
        notifier = std::make_unique<QSocketNotifier>(interrupt.wakeFd(), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &app, [&] {
            InterruptHandler::drain();
            std::fputs("Interrupted: stopping and restoring the board...\n", stderr);
            app.requestAbort();
        });
    }

    int code = 0;
    if (options.repeat) {
        code = RunStation(app, op, options);
    } else {
        const StartupResult started = app.startUp();
        code = ExitCodeOf(started);
        if (started == StartupResult::Ready && !InterruptHandler::interrupted()) {
            app.writeCommand();
            // No result at all: the join was not confirmed or the board's access
            // point could not be read.
            code = static_cast<int>(op.lastOutcome().value_or(UpdateOutcome::Aborted));
        }
    }
    // The window keeps the old port when none was opened.
    if (op.portMissing()) app.session().option.ComPort = configuredPort;
    app.closeSequence();
    notifier.reset();
    setMessageBoxes(nullptr);
    return InterruptHandler::interrupted() ? kExitInterrupted : code;
}

}  // namespace ifb
