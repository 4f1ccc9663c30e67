// Upload throughput of our espota against ifb-sim on loopback, for the 1.6 MB
// firmware image; with python3 and ESPOTA_PY set, the same for espota.py.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "ImageWriter.h"

namespace {

constexpr int kRuns = 5;
const QString kPassword = QStringLiteral("QN5KDL4072");

QString bin(const char* tool) {
    return QStringLiteral(IFB_BIN_DIR "/") + QLatin1String(tool);
}

// Events "connect" and "verdict" of the simulator's log, as (t of connect, t of verdict) per upload.
std::vector<std::pair<qint64, qint64>> transferTimes(const QString& logPath) {
    std::vector<std::pair<qint64, qint64>> times;
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly)) return times;
    qint64 connected = -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        const QString name = event.value(QStringLiteral("event")).toString();
        if (name == QLatin1String("connect") && event.value(QStringLiteral("ok")).toBool())
            connected = event.value(QStringLiteral("t")).toInteger();
        if (name == QLatin1String("verdict") && connected >= 0) {
            times.emplace_back(connected, event.value(QStringLiteral("t")).toInteger());
            connected = -1;
        }
    }
    return times;
}

struct Figures {
    double wallKBps = 0;      // whole run of the tool (start-up, invitation, login, upload)
    double transferKBps = 0;  // board connected .. verdict
    int failures = 0;
};

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Figures measure(const QString& program, const QStringList& prefix, const QString& image, qint64 size) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const quint16 otaPort = probe.localPort();
    probe.close();
    QProcess sim;
    sim.start(bin("ifb-sim"),
              {"--log", log, "--ota-at-start", "--ap-join-ms", "0", "--ota-port", QString::number(otaPort)});
    Figures figures;
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "ifb-sim did not start\n");
        figures.failures = kRuns;
        return figures;
    }
    QThread::msleep(100);  // let the receiver bind
    std::vector<double> wall;
    for (int run = 0; run < kRuns; ++run) {
        QProcess tool;
        QElapsedTimer clock;
        clock.start();
        tool.start(program, prefix + QStringList{"-i", "127.0.0.1", "-p", QString::number(otaPort), "-a",
                                                 kPassword, "-f", image});
        const bool done = tool.waitForFinished(120000);
        const qint64 ms = clock.elapsed();
        if (!done || tool.exitCode() != 0) {
            ++figures.failures;
            std::fprintf(stderr, "%s\n", tool.readAllStandardError().right(300).constData());
            continue;
        }
        wall.push_back(static_cast<double>(size) / 1000.0 / (static_cast<double>(ms) / 1000.0));
    }
    sim.terminate();
    sim.waitForFinished(3000);
    std::vector<double> transfer;
    for (const auto& [from, to] : transferTimes(log))
        if (to > from)
            transfer.push_back(static_cast<double>(size) / 1000.0 /
                               (static_cast<double>(to - from) / 1000.0));
    figures.wallKBps = median(wall);
    figures.transferKBps = median(transfer);
    return figures;
}

void print(const char* who, const Figures& f) {
    std::printf("%-10s upload %8.0f kB/s   whole run %8.0f kB/s   failures %d/%d\n", who, f.transferKBps,
                f.wallKBps, f.failures, kRuns);
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
    std::printf("espota against ifb-sim on loopback, %lld-byte image, median of %d runs (kB = 1000 bytes)\n",
                static_cast<long long>(bytes.size()), kRuns);

    const Figures ours = measure(bin("espota"), {}, image, bytes.size());
    print("espota", ours);

    const QString script = qEnvironmentVariable("ESPOTA_PY");
    if (script.isEmpty()) {
        std::printf("espota.py: set ESPOTA_PY (and have python3) to compare\n");
        return ours.failures == 0 ? 0 : 1;
    }
    const Figures python = measure(QStringLiteral("python3"), {script}, image, bytes.size());
    print("espota.py", python);
    if (python.transferKBps > 0)
        std::printf("ratio espota / espota.py: upload %.2f, whole run %.2f\n",
                    ours.transferKBps / python.transferKBps,
                    python.wallKBps > 0 ? ours.wallKBps / python.wallKBps : 0.0);
    return ours.failures == 0 && python.failures == 0 ? 0 : 1;
}
