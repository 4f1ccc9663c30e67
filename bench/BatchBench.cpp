// The batch run as a technician starts it: `ifb-updater --batch --yes` against
// ifb-sim on a pty, timed from the outside. Start-up time (launch to ready)
// against its fixed waits, the whole update against the upload alone, and the
// updater's CPU time over the whole run.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include "BenchSupport.h"
#include "FirmwareResource.h"

extern char** environ;

using namespace ifb;
using namespace ifb::bench;

namespace {

constexpr int kRuns = 3;
// CheckBoard's two pauses: after the restart, and before the network read.
constexpr double kStartupFixedWaitsMs = 2000;

struct Line {
    double ms;  // since the launch
    bool err;
    QString text;
};

struct Child {
    int exitCode = -1;
    double wallMs = 0;
    double totalCpuMs = 0;     // wait4: the process and the children it reaped
    double childrenCpuMs = 0;  // of that, its reaped children (clock ticks)
    std::vector<Line> lines;
};

double CpuMs(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// cutime + cstime of a process that has ended but is not reaped yet.
double ReapedChildrenCpuMs(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 15) return 0;
    const double ticks = static_cast<double>(fields[13].toLongLong() + fields[14].toLongLong());
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Runs the program with its output on pipes, each line stamped when it arrives.
Child RunChild(const QStringList& arguments) {
    Child c;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return c;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<QByteArray> words;
    for (const QString& a : arguments) words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    const qint64 start = MonotonicNs();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
        close(out[0]);
        close(err[0]);
        return c;
    }

    QByteArray pending[2];
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            const double ms = Ms(MonotonicNs() - start);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            pending[i].append(buffer, n);
            qsizetype eol;
            while ((eol = pending[i].indexOf('\n')) >= 0) {
                c.lines.push_back({ms, i == 1, QString::fromLocal8Bit(pending[i].left(eol))});
                pending[i].remove(0, eol + 1);
            }
        }
    }
    siginfo_t info{};
    waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    c.wallMs = Ms(MonotonicNs() - start);
    c.childrenCpuMs = ReapedChildrenCpuMs(pid);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    c.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    c.totalCpuMs = CpuMs(usage);
    return c;
}

// When the first line starting with prefix arrived; -1 if none did.
double LineAt(const Child& c, const QString& prefix) {
    for (const Line& l : c.lines) {
        if (l.text.startsWith(prefix)) return l.ms;
    }
    return -1;
}

struct Run {
    double readyMs = 0;   // launch .. the start-up's last line
    double portMs = 0;    // launch .. the port choice (process and Qt start, settings, port list)
    double checkMs = 0;   // launch .. the board check begins (link open)
    double updateMs = 0;  // ready .. the outcome line
    double wallMs = 0;    // the whole batch run
    // The write as the board saw it (simulator's clock).
    int polls = 0;                  // connection polls
    double joinMs = 0;              // GetApInfo .. the poll that found the PC joined
    double toUploadMs = 0;          // .. the invitation (firmware file, espota start-up)
    double simUploadMs = 0;         // the board's side of the upload (invitation .. verdict)
    double verdictToVersionMs = 0;  // .. GetRomVersion (restart, model name)
    double closingMs = 0;           // the rest up to the outcome line (closing steps)
    double cpuMs = 0;               // the updater process itself
    double toolCpuMs = 0;           // sh and espota
};

// Splits the write by the board's log: GetApInfo, the connection polls
// (sub-command 00 after SetOtaMode), the upload, the version read back.
bool BoardSideOfWrite(const QList<QJsonObject>& events, Run& run) {
    qint64 apInfo = -1, lastPoll = -1, invited = -1, verdict = -1, version = -1;
    bool otaMode = false;
    for (const QJsonObject& e : events) {
        const QString name = EventName(e);
        const QString cmd = e.value(QStringLiteral("cmd")).toString();
        if (name == QLatin1String("rx") && cmd == QLatin1String("GetApInfo") && apInfo < 0)
            apInfo = EventMs(e);
        if (name == QLatin1String("rx") && cmd == QLatin1String("SetOtaMode")) otaMode = true;
        if (name == QLatin1String("rx") && cmd == QLatin1String("GetIFBMode") && otaMode && invited < 0) {
            ++run.polls;
            lastPoll = EventMs(e);
        }
        if (name == QLatin1String("invitation") && invited < 0 && e.value(QStringLiteral("valid")).toBool())
            invited = EventMs(e);
        if (name == QLatin1String("verdict") && verdict < 0) verdict = EventMs(e);
        if (name == QLatin1String("rx") && cmd == QLatin1String("GetRomVersion") && verdict >= 0 &&
            version < 0)
            version = EventMs(e);
    }
    if (apInfo < 0 || lastPoll < 0 || invited < 0 || verdict < 0 || version < 0) return false;
    run.joinMs = static_cast<double>(lastPoll - apInfo);
    run.toUploadMs = static_cast<double>(invited - lastPoll);
    run.simUploadMs = static_cast<double>(verdict - invited);
    run.verdictToVersionMs = static_cast<double>(version - verdict);
    return true;
}

bool BatchRunOnce(Run& run) {
    Installation h;
    test::SimProcess sim({QStringLiteral("--ota-host"), PrivateLoopbackAddress()});
    if (!sim.start()) {
        std::fprintf(stderr, "ifb-sim: %s\n", qPrintable(sim.error()));
        return false;
    }
    // The program reads its settings beside itself: run a copy from the test folder.
    if (!QFile::copy(test::BinPath(QStringLiteral("ifb-updater")), h.exePath)) return false;
    QFile(h.exePath).setPermissions(QFile(h.exePath).permissions() | QFileDevice::ExeOwner);
    h.writeSettings(sim);

    const Child c = RunChild({h.exePath, QStringLiteral("--batch"), QStringLiteral("--yes")});
    const double okAt = LineAt(c, QStringLiteral("OK:ファームウェア書き込みが正常に完了しました。"));
    run.readyMs = LineAt(c, QStringLiteral("ID : "));
    run.portMs = LineAt(c, QStringLiteral("Serial port: "));
    run.checkMs = LineAt(c, QStringLiteral("------- Check IFB"));
    if (c.exitCode != 0 || okAt < 0 || run.readyMs < 0 || run.portMs < 0 || run.checkMs < 0) {
        std::fprintf(stderr, "batch run failed, exit code %d:\n", c.exitCode);
        for (const Line& l : c.lines) std::fprintf(stderr, "%8.0f %s\n", l.ms, qPrintable(l.text));
        return false;
    }
    run.updateMs = okAt - run.readyMs;
    run.wallMs = c.wallMs;
    if (!BoardSideOfWrite(sim.events(), run)) {
        std::fprintf(stderr, "the board's log lacks a step of the write\n");
        return false;
    }
    run.closingMs = run.updateMs - run.joinMs - run.toUploadMs - run.simUploadMs - run.verdictToVersionMs;
    run.toolCpuMs = c.childrenCpuMs;
    run.cpuMs = c.totalCpuMs - c.childrenCpuMs;
    return true;
}

// espota by itself against a board already in OTA mode: the upload alone.
bool UploadAlone(std::vector<double>& wallMs, qint64& imageSize) {
    QTemporaryDir dir;
    bool found = false;
    const QByteArray image = LoadFirmware(QStringLiteral("1022IFB00"), &found);
    imageSize = image.size();
    const QString imagePath = dir.filePath(QStringLiteral("UOf.bin"));
    QFile file(imagePath);
    if (!found || !file.open(QIODevice::WriteOnly) || file.write(image) != image.size()) return false;
    file.close();
    const QString address = PrivateLoopbackAddress();
    test::SimProcess sim({QStringLiteral("--ota-host"), address, QStringLiteral("--ota-at-start"),
                          QStringLiteral("--ap-join-ms"), QStringLiteral("0")});
    if (!sim.start()) return false;
    for (int i = 0; i < kRuns; ++i) {
        // The board's receiver listens once the join has happened; a failed try is retried once.
        Child c;
        for (int attempt = 0; attempt < 2 && c.exitCode != 0; ++attempt) {
            if (attempt) usleep(200000);
            c = RunChild({test::BinPath(QStringLiteral("espota")), QStringLiteral("-i"), address,
                          QStringLiteral("-p"), QStringLiteral("3232"), QStringLiteral("--auth=QN5KDL4072"),
                          QStringLiteral("-f"), imagePath});
        }
        if (c.exitCode != 0) {
            for (const Line& l : c.lines) std::fprintf(stderr, "%s\n", qPrintable(l.text));
            return false;
        }
        wallMs.push_back(c.wallMs);
    }
    return true;
}

double MedianOf(const std::vector<Run>& runs, const std::function<double(const Run&)>& field) {
    std::vector<double> v;
    for (const Run& r : runs) v.push_back(field(r));
    return Median(v);
}

const char* Verdict(bool met) {
    return met ? "OK" : "MISSED";
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    std::vector<Run> runs;
    for (int i = 0; i < kRuns; ++i) {
        Run run;
        if (!BatchRunOnce(run)) return 1;
        runs.push_back(run);
    }
    std::vector<double> uploadWall;
    qint64 imageSize = 0;
    if (!UploadAlone(uploadWall, imageSize)) {
        std::fprintf(stderr, "espota against ifb-sim in OTA mode failed\n");
        return 1;
    }
    const auto m = [&](const std::function<double(const Run&)>& f) { return MedianOf(runs, f); };

    std::printf(
        "Batch run `ifb-updater --batch --yes` against ifb-sim (pty, shipped settings), built-in image\n"
        "of %lld bytes, our espota; median of %d runs, milliseconds\n\n",
        static_cast<long long>(imageSize), kRuns);
    const double ready = m([](const Run& r) { return r.readyMs; });
    const double overhead = m([](const Run& r) { return r.readyMs - kStartupFixedWaitsMs; });
    std::printf("(a) start-up, launch to ready                      %7.0f\n", ready);
    std::printf("    fixed waits in it (CheckBoard's two pauses)    %7.0f\n", kStartupFixedWaitsMs);
    std::printf("    overhead                                       %7.0f   goal < 300: %s\n", overhead,
                Verdict(overhead < 300));
    std::printf("      launch to port choice (exec, Qt, settings)   %7.0f\n",
                m([](const Run& r) { return r.portMs; }));
    std::printf("      port choice to board check (link, port)      %7.0f\n",
                m([](const Run& r) { return r.checkMs - r.portMs; }));
    std::printf("      board check to ready, less the fixed waits   %7.0f\n",
                m([](const Run& r) { return r.readyMs - r.checkMs - kStartupFixedWaitsMs; }));
    const double update = m([](const Run& r) { return r.updateMs; });
    const double alone = Median(uploadWall);
    std::printf("(b) full update, ready to outcome line             %7.0f\n", update);
    QString polls;
    for (const Run& r : runs) polls += QStringLiteral(" %1").arg(r.polls);
    std::printf(
        "      to the PC joined                              %7.0f   (connection polls per run:%s,\n"
        "                                                             500 ms apart)\n",
        m([](const Run& r) { return r.joinMs; }), qPrintable(polls));
    std::printf("      to the upload's start (file, espota start-up) %7.0f\n",
                m([](const Run& r) { return r.toUploadMs; }));
    std::printf("      upload, board's side (invitation to verdict)  %7.0f\n",
                m([](const Run& r) { return r.simUploadMs; }));
    std::printf(
        "      verdict to the version read back              %7.0f   (restart; GetModelName sent\n"
        "                                                             during the restart waits out its "
        "time-out)\n",
        m([](const Run& r) { return r.verdictToVersionMs; }));
    std::printf("      closing steps and the rest                    %7.0f\n",
                m([](const Run& r) { return r.closingMs; }));
    std::printf("    upload alone (espota run by itself)            %7.0f   update / upload = %.1f\n", alone,
                update / alone);
    const double wall = m([](const Run& r) { return r.wallMs; });
    const double share = m([](const Run& r) { return 100.0 * r.cpuMs / r.wallMs; });
    std::printf("(c) whole batch run, wall                          %7.0f\n", wall);
    std::printf(
        "    updater CPU time                               %7.0f   = %.1f %% of wall, goal < 5 %%: %s\n",
        m([](const Run& r) { return r.cpuMs; }), share, Verdict(share < 5));
    std::printf("    sh + espota CPU time (not the updater's)       %7.0f\n",
                m([](const Run& r) { return r.toolCpuMs; }));
    return 0;
}
