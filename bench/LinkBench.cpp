// Figures of the board link:
//  (a) CPU time that a 2000 ms WaitAck time-out costs, as a share of its wall
//      time, with the owner's 50 ms poll running on a silent serial port;
//  (b) receive throughput (ring + assembler + decoder) on a stream of mixed
//      valid and corrupt frames.

#include <time.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <random>

#include "LinkReceiver.h"
#include "MessageBox.h"
#include "PtyPair.h"
#include "TTComXDlg.h"

using namespace ifb;

namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

class SilentBoxes final : public MessageBoxes {
  public:
    MsgAnswer show(const MessageBoxRequest&) override { return MsgAnswer::Ok; }
};

class QuietEvents final : public ReceiveEvents {
  public:
    bool traceOn() const override { return false; }
    bool rxTraceOn() const override { return false; }
    void trace(const QString&) override {}
    void sumError(const QString&) override { ++rejected; }
    long rejected = 0;
};

QByteArray frameOf(quint8 cmd, const QByteArray& data) {
    return BuildFrame(0, cmd, data);
}

// About 30 % of the frames are broken: bad sum, bad ETX, missing CR or cut short.
QByteArray mixedStream(qsizetype size, long& valid) {
    std::mt19937 rng(42);
    const char commands[] = "0000111DEbblIGdiL";
    QByteArray s;
    s.reserve(size + 300);
    valid = 0;
    while (s.size() < size) {
        const int len = static_cast<int>(rng() % 4 == 0 ? rng() % 256 : rng() % 24);
        QByteArray data(len, '\0');
        for (auto& c : data) c = static_cast<char>(rng() & 0xFF);
        QByteArray f = frameOf(static_cast<quint8>(commands[rng() % (sizeof commands - 1)]), data);
        switch (rng() % 10) {
            case 0:
                f[f.size() - 2] = static_cast<char>(f[f.size() - 2] ^ 0x5A);
                break;
            case 1:
                f[f.size() - 3] = '\x04';
                break;
            case 2:
                f[f.size() - 1] = '\x0A';
                break;
            default:
                ++valid;
                break;
        }
        s.append(f);
    }
    return s;
}

void waitAckCost() {
    const ifb::test::PtyPair pty;
    if (!pty.ok()) {
        std::printf("(a) skipped: no pty\n");
        return;
    }
    LinkSetup setup;
    setup.comPort = pty.path();
    setup.speedCode = 4;
    TTComXDlg link(setup, nullptr);
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, [&link] { link.PollReceive(); });
    poll.start(50);
    double worst = 0;
    for (int run = 0; run < 3; ++run) {
        link.SendFrame(BuildFrame(0, frame::kCmdIfbRequest, QByteArray(1, '\x90')));
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = cpuSeconds();
        const bool ok = link.WaitAck();
        const double cpu = cpuSeconds() - cpu0;
        const double wallS = static_cast<double>(wall.nsecsElapsed()) * 1e-9;
        const double share = 100.0 * cpu / wallS;
        if (share > worst) worst = share;
        std::printf("(a) WaitAck time-out: %s after %.0f ms wall, %.2f ms CPU = %.3f %% of wall\n",
                    ok ? "answered?!" : "failed", wallS * 1000, cpu * 1000, share);
    }
    std::printf("(a) worst of 3: %.3f %% CPU (goal < 2 %%)\n", worst);
}

void throughput() {
    long valid = 0;
    const QByteArray stream = mixedStream(64 * 1024 * 1024, valid);
    const auto* bytes = reinterpret_cast<const quint8*>(stream.constData());
    const int n = static_cast<int>(stream.size());

    // Receive path of the link: deliveries of 4096 bytes, a poll after each.
    ReplyState state;
    QuietEvents events;
    LinkReceiver rx(state, events);
    const double t0 = cpuSeconds();
    for (int pos = 0; pos < n; pos += 4096) {
        rx.Deliver(bytes + pos, std::min(4096, n - pos));
        rx.PollReceive();
    }
    const double t = cpuSeconds() - t0;
    std::printf(
        "(b) receive path: %.1f MB in %.3f s = %.1f MB/s (%ld well-formed frames generated, %ld rejected)\n",
        n / 1e6, t, n / 1e6 / t, valid, events.rejected);

    // Assembler and decoder alone.
    ReplyState s2;
    long frames = 0;
    FrameAssembler assembler(
        [&](const quint8* f, int size) {
            ++frames;
            DecodeReply(f, size, s2, TraceFn());
        },
        [](const quint8*, int) {});
    const double t1 = cpuSeconds();
    for (int i = 0; i < n; ++i) assembler.feed(bytes[i]);
    const double t2 = cpuSeconds() - t1;
    std::printf("(b) assembler + decoder: %.1f MB/s (%ld frames decoded) (goal > 50 MB/s)\n", n / 1e6 / t2,
                frames);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SilentBoxes boxes;
    setMessageBoxes(&boxes);
    waitAckCost();
    throughput();
    setMessageBoxes(nullptr);
    return 0;
}
