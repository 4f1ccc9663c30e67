// Where the time of a whole firmware update goes. The updater's core
// (UpdaterApp) runs start-up, one write and the close sequence against ifb-sim
// on a pty, with our espota and the built-in image, and a script in place of
// the operator that confirms the Wi-Fi join at once.
//
// The waits are timed by wrapping them at link time (ld --wrap, see
// bench/app.cmake), so the code under measurement is exactly the product's:
//   board commands  TTComXDlg::WaitAck / WaitReply (send to reply, incl. the
//                   50 ms receive poll that assembles the reply)
//   fixed waits     PauseWithEvents / SleepWithoutEvents (pauses the flow sets)
//   upload          ToolRunner::RunCommand (the espota run)
//   verdict wait    the wait for the board's notice after the tool has ended
//   own overhead    everything else
#include <sys/resource.h>

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "BenchSupport.h"
#include "FirmwareResource.h"
#include "MemoryLogPane.h"
#include "TTComXDlg.h"
#include "ToolRunner.h"
#include "UpdaterApp.h"

using namespace ifb;
using namespace ifb::bench;

namespace {

constexpr int kRuns = 3;

enum Bucket { kBoard, kFixed, kUpload, kVerdict, kBucketCount };
const char* const kBucketNames[kBucketCount] = {"board commands", "fixed waits", "upload (espota run)",
                                                "board verdict wait"};

struct BoardWait {
    qint64 ns = 0;
    bool ok = false;
};

// What the wrapped waits saw since the last reset. Only the outermost wait
// counts: a command's WaitUntil inside WaitAck is part of the command.
struct Probe {
    int depth = 0;
    qint64 ns[kBucketCount] = {};
    std::vector<BoardWait> boardWaits;
};
Probe g_probe;

class Scope {
  public:
    explicit Scope(Bucket bucket) : bucket_(bucket), outer_(g_probe.depth++ == 0), start_(MonotonicNs()) {}
    ~Scope() {
        --g_probe.depth;
        if (outer_) g_probe.ns[bucket_] += MonotonicNs() - start_;
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    void boardWaitEnded(bool ok) const {
        if (outer_) g_probe.boardWaits.push_back({MonotonicNs() - start_, ok});
    }

  private:
    Bucket bucket_;
    bool outer_;
    qint64 start_;
};

}  // namespace

// The wrapped functions, by their mangled names.
extern "C" {
bool __real__ZN3ifb9TTComXDlg7WaitAckEv(TTComXDlg* self);
bool __real__ZN3ifb9TTComXDlg9WaitReplyENS_5ReplyEj(TTComXDlg* self, Reply kind, quint32 timeoutMs);
void __real__ZN3ifb15PauseWithEventsEj(quint32 limitMs);
void __real__ZN3ifb18SleepWithoutEventsEj(quint32 ms);
bool __real__ZN3ifb9WaitUntilERKSt8functionIFbvEERKNS_11TickTimeoutEj(const std::function<bool()>& done,
                                                                      const TickTimeout& timeout,
                                                                      quint32 limitMs);
bool __real__ZN3ifb10ToolRunner10RunCommandERKNS_11ToolCommandEPNS_7LogPaneER5QListI7QStringE(
    ToolRunner* self, const ToolCommand& command, LogPane* memo, QStringList& chunks);

bool __wrap__ZN3ifb9TTComXDlg7WaitAckEv(TTComXDlg* self) {
    const Scope scope(kBoard);
    const bool ok = __real__ZN3ifb9TTComXDlg7WaitAckEv(self);
    scope.boardWaitEnded(ok);
    return ok;
}
bool __wrap__ZN3ifb9TTComXDlg9WaitReplyENS_5ReplyEj(TTComXDlg* self, Reply kind, quint32 timeoutMs) {
    const Scope scope(kBoard);
    const bool ok = __real__ZN3ifb9TTComXDlg9WaitReplyENS_5ReplyEj(self, kind, timeoutMs);
    scope.boardWaitEnded(ok);
    return ok;
}
void __wrap__ZN3ifb15PauseWithEventsEj(quint32 limitMs) {
    const Scope scope(kFixed);
    __real__ZN3ifb15PauseWithEventsEj(limitMs);
}
void __wrap__ZN3ifb18SleepWithoutEventsEj(quint32 ms) {
    const Scope scope(kFixed);
    __real__ZN3ifb18SleepWithoutEventsEj(ms);
}
// Called directly by the update only for the board's verdict; the commands'
// own calls are nested in WaitAck/WaitReply and count there.
bool __wrap__ZN3ifb9WaitUntilERKSt8functionIFbvEERKNS_11TickTimeoutEj(const std::function<bool()>& done,
                                                                      const TickTimeout& timeout,
                                                                      quint32 limitMs) {
    const Scope scope(kVerdict);
    return __real__ZN3ifb9WaitUntilERKSt8functionIFbvEERKNS_11TickTimeoutEj(done, timeout, limitMs);
}
bool __wrap__ZN3ifb10ToolRunner10RunCommandERKNS_11ToolCommandEPNS_7LogPaneER5QListI7QStringE(
    ToolRunner* self, const ToolCommand& command, LogPane* memo, QStringList& chunks) {
    const Scope scope(kUpload);
    return __real__ZN3ifb10ToolRunner10RunCommandERKNS_11ToolCommandEPNS_7LogPaneER5QListI7QStringE(
        self, command, memo, chunks);
}
}

namespace {

// The operator: everything confirmed at once; notes when the firmware file is
// being written (between the connection wait and the write's progress dialog).
class BenchOperator final : public Operator {
  public:
    LogPane& logPane() override { return log; }
    void setStatusText(const QString&) override {}
    void setMainWindowEnabled(bool) override {}
    void setWriteCommandAvailable(bool) override {}
    void showEspotaPath(const QString&) override {}
    void showFirmwareVersion(const QString&) override {}
    void requestClose() override {}
    PortDialogResult runPortDialog(const PortDialogSetup& setup) override {
        PortDialogResult r;
        r.opened = true;
        r.items = setup.items;
        r.selectedIndex = setup.selectedIndex;
        r.speedItem = setup.speedItem;
        r.parityItem = setup.parityItem;
        return r;
    }
    void openProgress(const ProgressSetup& setup) override {
        open_ = setup.kind;
        if (setup.kind == ProgressKind::FirmwareWrite && connectedAtNs > 0)
            firmwareFileNs = MonotonicNs() - connectedAtNs;
        progressOpen_ = true;
    }
    void setProgressDots(const QString&) override {}
    void showProgressReport(const ProgressReport&) override {}
    bool progressOpen() const override { return progressOpen_; }
    void closeProgress() override {
        if (open_ == ProgressKind::ConnectionWait) connectedAtNs = MonotonicNs();
        progressOpen_ = false;
    }
    bool confirmJoin(const JoinInstruction&) override { return true; }
    void showWriteResult(const WriteResult& result) override { outcome = static_cast<int>(result.outcome); }
    std::optional<QString> runEspotaDialog(const QString&) override { return std::nullopt; }

    test::MemoryLogPane log;
    int outcome = -1;
    qint64 connectedAtNs = 0;
    qint64 firmwareFileNs = 0;

  private:
    ProgressKind open_ = ProgressKind::BoardCheck;
    bool progressOpen_ = false;
};

double CpuMs(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct Segment {
    double wallMs = 0;
    double bucketMs[kBucketCount] = {};
    double overheadMs = 0;
    double cpuMs = 0;       // the updater (this process)
    double childCpuMs = 0;  // the tools it ran and reaped (sh, espota)
    std::vector<BoardWait> boardWaits;
};

// Runs one step of the program and files its time.
template <typename Step>
Segment Measure(Step&& step) {
    g_probe = Probe{};
    rusage selfBefore{}, childBefore{}, selfAfter{}, childAfter{};
    getrusage(RUSAGE_SELF, &selfBefore);
    getrusage(RUSAGE_CHILDREN, &childBefore);
    const qint64 start = MonotonicNs();
    step();
    const qint64 wall = MonotonicNs() - start;
    getrusage(RUSAGE_SELF, &selfAfter);
    getrusage(RUSAGE_CHILDREN, &childAfter);
    Segment s;
    s.wallMs = Ms(wall);
    double waited = 0;
    for (int b = 0; b < kBucketCount; ++b) {
        s.bucketMs[b] = Ms(g_probe.ns[b]);
        waited += s.bucketMs[b];
    }
    s.overheadMs = s.wallMs - waited;
    s.cpuMs = CpuMs(selfAfter) - CpuMs(selfBefore);
    s.childCpuMs = CpuMs(childAfter) - CpuMs(childBefore);
    s.boardWaits = g_probe.boardWaits;
    return s;
}

// One board command as the board saw it: its name, whether it was answered,
// and the board's own time from request to reply (ms).
struct BoardRequest {
    QString name;
    bool answered = false;
    qint64 boardMs = 0;
};

std::vector<BoardRequest> BoardRequests(const QList<QJsonObject>& events) {
    std::vector<BoardRequest> out;
    qint64 rxAt = 0;
    for (const QJsonObject& e : events) {
        const QString name = EventName(e);
        if (name == QLatin1String("rx")) {
            BoardRequest r;
            r.name = e.value(QStringLiteral("cmd")).toString();
            if (e.contains(QStringLiteral("ignored")))
                r.name += QStringLiteral(" (ignored: ") + e.value(QStringLiteral("ignored")).toString() + ')';
            out.push_back(r);
            rxAt = EventMs(e);
        } else if (name == QLatin1String("tx") && !out.empty() && !out.back().answered) {
            out.back().answered = true;
            out.back().boardMs = EventMs(e) - rxAt;
        }
    }
    return out;
}

// The board commands of one step, by name in order of first use.
struct CommandFigures {
    QString name;
    int count = 0;
    int unanswered = 0;
    double waitedMs = 0;
    double boardMs = 0;
};

struct Run {
    Segment startUp, write, close;
    double firmwareFileMs = 0;
    double simUploadMs = -1;
    int outcome = -1;
    bool named = false;  // the board's log matched the board waits one to one
    std::vector<CommandFigures> commands[3];
};

void FileCommands(const Segment& segment, const std::vector<BoardRequest>& requests, size_t first,
                  bool inWrite, std::vector<CommandFigures>& out) {
    for (size_t i = 0; i < segment.boardWaits.size(); ++i) {
        QString name = requests[first + i].name;
        // Both send sub-command 00; in the write it is the connection poll.
        if (inWrite && name == QLatin1String("GetIFBMode")) name = QStringLiteral("PollApConnection");
        auto it =
            std::find_if(out.begin(), out.end(), [&](const CommandFigures& c) { return c.name == name; });
        if (it == out.end()) it = out.insert(out.end(), CommandFigures{name});
        ++it->count;
        it->waitedMs += Ms(segment.boardWaits[i].ns);
        it->boardMs += static_cast<double>(requests[first + i].boardMs);
        if (!segment.boardWaits[i].ok) ++it->unanswered;
    }
}

bool RunOnce(Run& run, qint64& imageSize) {
    Installation h;
    test::SimProcess sim({QStringLiteral("--ota-host"), PrivateLoopbackAddress()});
    if (!sim.start()) {
        std::fprintf(stderr, "ifb-sim: %s\n", qPrintable(sim.error()));
        return false;
    }
    h.writeSettings(sim);
    BenchOperator op;
    UpdaterApp app(op, h.exePath, QStringLiteral("1022IFB00"));
    bool found = false;
    imageSize = LoadFirmware(app.session().FirmwareId, &found).size();

    StartupResult started = StartupResult::BoardNotFound;
    run.startUp = Measure([&] { started = app.startUp(); });
    if (started != StartupResult::Ready) {
        std::fprintf(stderr, "start-up failed (%d):\n%s\n", static_cast<int>(started),
                     qPrintable(op.log.lines.join('\n')));
        return false;
    }
    run.write = Measure([&] { app.writeCommand(); });
    run.close = Measure([&] { app.closeSequence(); });
    run.outcome = op.outcome;
    run.firmwareFileMs = Ms(op.firmwareFileNs);

    const QList<QJsonObject> events = sim.events();
    run.simUploadMs = static_cast<double>(SimUploadMs(events));
    // The board's requests, one per board wait, in order.
    const std::vector<BoardRequest> requests = BoardRequests(events);
    const size_t inStartUp = run.startUp.boardWaits.size(), inWrite = run.write.boardWaits.size();
    run.named = requests.size() == inStartUp + inWrite + run.close.boardWaits.size();
    if (run.named) {
        FileCommands(run.startUp, requests, 0, false, run.commands[0]);
        FileCommands(run.write, requests, inStartUp, true, run.commands[1]);
        FileCommands(run.close, requests, inStartUp + inWrite, false, run.commands[2]);
    }
    if (run.outcome != 0) {
        std::fprintf(stderr, "update outcome %d:\n%s\n", run.outcome, qPrintable(op.log.lines.join('\n')));
        return false;
    }
    return true;
}

double MedianOf(const std::vector<Run>& runs, const std::function<double(const Run&)>& field) {
    std::vector<double> v;
    for (const Run& r : runs) v.push_back(field(r));
    return Median(v);
}

void PrintRow(const char* label, const std::vector<Run>& runs,
              const std::function<double(const Segment&)>& f) {
    const double s = MedianOf(runs, [&](const Run& r) { return f(r.startUp); });
    const double w = MedianOf(runs, [&](const Run& r) { return f(r.write); });
    const double c = MedianOf(runs, [&](const Run& r) { return f(r.close); });
    const double t = MedianOf(runs, [&](const Run& r) { return f(r.startUp) + f(r.write) + f(r.close); });
    std::printf("  %-24s %9.0f %9.0f %9.0f %9.0f\n", label, s, w, c, t);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    std::vector<Run> runs;
    qint64 imageSize = 0;
    for (int i = 0; i < kRuns; ++i) {
        Run run;
        if (!RunOnce(run, imageSize)) return 1;
        runs.push_back(run);
    }

    std::printf(
        "Full update, in process: UpdaterApp against ifb-sim (pty, 115200 bit/s, shipped settings),\n"
        "our espota, built-in image of %lld bytes; median of %d runs, milliseconds\n\n",
        static_cast<long long>(imageSize), kRuns);
    std::printf("  %-24s %9s %9s %9s %9s\n", "", "start-up", "write", "close", "total");
    PrintRow("wall time", runs, [](const Segment& s) { return s.wallMs; });
    for (int b = 0; b < kBucketCount; ++b)
        PrintRow(kBucketNames[b], runs, [b](const Segment& s) { return s.bucketMs[b]; });
    PrintRow("own overhead", runs, [](const Segment& s) { return s.overheadMs; });
    PrintRow("updater CPU time", runs, [](const Segment& s) { return s.cpuMs; });
    PrintRow("espota + sh CPU time", runs, [](const Segment& s) { return s.childCpuMs; });
    const auto share = [](const Segment& s) { return 100.0 * s.cpuMs / s.wallMs; };
    const double writeShare = MedianOf(runs, [&](const Run& r) { return share(r.write); });
    const double totalShare = MedianOf(runs, [](const Run& r) {
        return 100.0 * (r.startUp.cpuMs + r.write.cpuMs + r.close.cpuMs) /
               (r.startUp.wallMs + r.write.wallMs + r.close.wallMs);
    });
    std::printf("\nUpdater CPU time / wall time: write %.1f %%, whole run %.1f %% (goal < 5 %%) %s\n",
                writeShare, totalShare, writeShare < 5 && totalShare < 5 ? "OK" : "MISSED");
    // In process the start-up has no program launch: see bench_batch for that.
    const double startOverhead =
        MedianOf(runs, [](const Run& r) { return r.startUp.wallMs - r.startUp.bucketMs[kFixed]; });
    std::printf("Start-up beyond its fixed waits (without the program launch): %.0f ms (goal < 300 ms) %s\n",
                startOverhead, startOverhead < 300 ? "OK" : "MISSED");
    std::printf("\nIn the write:\n");
    std::printf("  firmware image to file (part of own overhead): %.0f ms\n",
                MedianOf(runs, [](const Run& r) { return r.firmwareFileMs; }));
    std::printf(
        "  board's side of the upload (sim log, invitation to verdict): %.0f ms of the %.0f ms espota run\n",
        MedianOf(runs, [](const Run& r) { return r.simUploadMs; }),
        MedianOf(runs, [](const Run& r) { return r.write.bucketMs[kUpload]; }));
    if (runs.front().named) {
        std::printf(
            "\nBoard commands, run 1 (waited: send to reply seen, including the 50 ms receive poll;\n"
            "board: the simulator's request to its reply)\n");
        std::printf("  %-9s %-34s %5s %10s %9s %9s\n", "step", "command", "count", "unanswered", "waited",
                    "board");
        const char* const steps[3] = {"start-up", "write", "close"};
        for (int step = 0; step < 3; ++step) {
            for (const CommandFigures& c : runs.front().commands[step])
                std::printf("  %-9s %-34s %5d %10d %9.0f %9.0f\n", steps[step], qPrintable(c.name), c.count,
                            c.unanswered, c.waitedMs, c.boardMs);
        }
    } else {
        std::printf("\n(the board's log did not match the board waits one to one: no per-command table)\n");
    }
    return 0;
}
