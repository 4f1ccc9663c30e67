// Upload throughput of our espota, streaming and --stop-and-wait, and of a
// stand-in that sends as the core's espota.py does (bench/classic-espota), against
// ifb-sim emulating a board whose flash takes 400 kB/s behind a link of 0, 5
// and 20 ms round trip, for the 1.6 MB firmware image. With ESPOTA_PY set (and
// python3), that script is measured as well.
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <cstdio>
#include <map>
#include <vector>

#include "ImageWriter.h"

namespace {

constexpr int kFlashKBps = 400;
const int kRttsMs[] = {0, 5, 20};
const QString kPassword = QStringLiteral("QN5KDL4072");

QString bin(const char* tool) {
    return QStringLiteral(IFB_BIN_DIR "/") + QLatin1String(tool);
}

struct Tool {
    const char* name;
    QString program;
    QStringList prefix;
};

// The board's side of the upload: connected .. verdict, in the simulator's ms; -1 when missing.
qint64 transferMs(const QString& logPath) {
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    qint64 connected = -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        const QString name = event.value(QStringLiteral("event")).toString();
        if (name == QLatin1String("connect") && event.value(QStringLiteral("ok")).toBool())
            connected = event.value(QStringLiteral("t")).toInteger();
        if (name == QLatin1String("verdict") && connected >= 0 && event.value(QStringLiteral("ok")).toBool())
            return event.value(QStringLiteral("t")).toInteger() - connected;
    }
    return -1;
}

// kB/s of one upload through tool at the given round trip; 0 when it failed.
double measure(const Tool& tool, int rttMs, const QString& image, qint64 size) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const quint16 otaPort = probe.localPort();
    probe.close();
    QProcess sim;
    sim.start(bin("ifb-sim"),
              {"--log", log, "--ota-at-start", "--ap-join-ms", "0", "--ota-port", QString::number(otaPort),
               "--ota-rtt-ms", QString::number(rttMs), "--ota-flash-kBps", QString::number(kFlashKBps)});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "ifb-sim did not start\n");
        return 0;
    }
    QThread::msleep(100);  // let the receiver bind
    QProcess run;
    run.start(tool.program, tool.prefix + QStringList{"-i", "127.0.0.1", "-p", QString::number(otaPort), "-a",
                                                      kPassword, "-f", image});
    const bool done = run.waitForFinished(300000);
    sim.terminate();
    sim.waitForFinished(3000);
    const qint64 ms = transferMs(log);
    if (!done || run.exitCode() != 0 || ms <= 0) {
        std::fprintf(stderr, "%s failed: %s\n", tool.name, run.readAllStandardError().right(300).constData());
        return 0;
    }
    return static_cast<double>(size) / static_cast<double>(ms);  // bytes per ms = kB/s
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QString error;
    const QByteArray bytes = ifb::espimage::MakeFirmwareImage(QStringLiteral("1022IFB00"),
                                                              ifb::espimage::kDefaultFirmwareSize, &error);
    const QString image = dir.filePath(QStringLiteral("UOf.bin"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return 1;
    file.close();

    std::vector<Tool> tools = {{"espota", bin("espota"), {}},
                               {"espota --stop-and-wait", bin("espota"), {"--stop-and-wait"}}};
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (!python.isEmpty()) {
        tools.push_back(
            {"classic stand-in", python, {QStringLiteral(IFB_SOURCE_DIR "/bench/classic-espota/espota.py")}});
        const QString script = qEnvironmentVariable("ESPOTA_PY");
        if (!script.isEmpty()) tools.push_back({"espota.py", python, {script}});
    } else {
        std::printf("python3 not found: the classic stand-in is left out\n");
    }

    std::printf(
        "Upload of a %lld-byte image to ifb-sim with its flash at %d kB/s (kB = 1000 bytes), board side\n"
        "(connected .. verdict); ratio = kB/s over the flash-bound %d kB/s\n\n",
        static_cast<long long>(bytes.size()), kFlashKBps, kFlashKBps);
    std::printf("%-24s", "RTT");
    for (int rtt : kRttsMs) std::printf("  %5d ms kB/s ratio", rtt);
    std::printf("\n");
    std::map<std::pair<int, int>, double> figures;  // (tool, rtt) -> kB/s
    for (size_t t = 0; t < tools.size(); ++t) {
        std::printf("%-24s", tools[t].name);
        std::fflush(stdout);
        for (int rtt : kRttsMs) {
            const double kBps = measure(tools[t], rtt, image, bytes.size());
            figures[{static_cast<int>(t), rtt}] = kBps;
            std::printf("  %13.0f %5.2f", kBps, kBps / kFlashKBps);
            std::fflush(stdout);
        }
        std::printf("\n");
    }

    // Streaming within 10 % of the flash at every round trip; at 20 ms at least 5 times stop-and-wait.
    bool met = true;
    for (int rtt : kRttsMs) met = met && figures[{0, rtt}] >= 0.9 * kFlashKBps;
    const double speedup = figures[{1, 20}] > 0 ? figures[{0, 20}] / figures[{1, 20}] : 0;
    met = met && speedup >= 5;
    std::printf(
        "\nstreaming / stop-and-wait at 20 ms: %.1fx; goals (>= 0.90 at every RTT, >= 5x at 20 ms): %s\n",
        speedup, met ? "met" : "NOT met");
    return met ? 0 : 1;
}
