// A board reply is decoded as soon as its bytes are in, not at the next tick
// of the 50 ms poll: otherwise every command costs most of a tick, and the
// start-up's nine commands alone add close to half a second. This holds for
// every transport the link runs on.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <cstdio>

#include "AppHarness.h"
#include "BoardCommands.h"
#include "PtyPair.h"
#include "QtPrinters.h"
#include "TTComXDlg.h"

using namespace ifb;
using namespace ifb::test;

namespace {

enum class Wire { Serial, TcpClient, TcpServer };

struct LatencyCase {
    const char* name;
    Wire wire;
};

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitForLink(const TTComXDlg& link, int ms) {
    QElapsedTimer t;
    t.start();
    while (!link.IsLinkOpen()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void PrintTo(const LatencyCase& c, std::ostream* os) {
    *os << c.name;
}

class ReplyLatency : public ::testing::TestWithParam<LatencyCase> {};

}  // namespace

TEST_P(ReplyLatency, CommandsDoNotWaitForThePollTick) {
    AppHarness h;
    SimProcess sim;
    // A serial port that exists, so that the port dialog has one to offer
    // while the link itself goes over TCP.
    const PtyPair spare;
    UpdaterApp* app = nullptr;
    if (GetParam().wire == Wire::Serial) {
        ASSERT_TRUE(sim.start()) << sim.error().toStdString();
        h.writeSettings(h.settingsFor(sim));
        app = &h.makeApp();
        ASSERT_EQ(app->startUp(), StartupResult::Ready);
    } else {
        QMap<QString, QString> settings = h.settingsFor(sim);
        settings[QStringLiteral("ComPort")] = spare.path();
        settings[QStringLiteral("UseUSB")] = QStringLiteral("2");
        if (GetParam().wire == Wire::TcpClient) {
            ASSERT_TRUE(sim.startTcp({QStringLiteral("--tcp-listen"), QStringLiteral("0")}))
                << sim.error().toStdString();
            settings[QStringLiteral("fTCPServer")] = QStringLiteral("0");
            settings[QStringLiteral("TCPServAddr")] = QStringLiteral("127.0.0.1");
            settings[QStringLiteral("TCPServPort")] = QString::number(sim.tcpPort());
        } else {
            const quint16 port = freePort();
            ASSERT_TRUE(
                sim.startTcp({QStringLiteral("--tcp-connect"), QStringLiteral("127.0.0.1:%1").arg(port)}))
                << sim.error().toStdString();
            settings[QStringLiteral("fTCPServer")] = QStringLiteral("1");
            settings[QStringLiteral("TCPPort")] = QString::number(port);
        }
        h.writeSettings(settings);
        app = &h.makeApp();
        // A TCP link is never open at the start-up's check; the commands run
        // on the link and the poll that the start-up leaves behind.
        ASSERT_EQ(app->startUp(), StartupResult::BoardNotFound);
        ASSERT_NE(app->link(), nullptr);
        ASSERT_TRUE(waitForLink(*app->link(), 5000));
    }

    BoardCommands commands(*app->link(), app->log());
    constexpr int kCommands = 10;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kCommands; ++i) {
        QString version;
        ASSERT_TRUE(commands.GetRomVersion(version));
        EXPECT_EQ(version, QStringLiteral("1021IFB00"));
    }
    const qint64 elapsed = clock.elapsed();
    const qint64 perCommandUs = clock.nsecsElapsed() / 1000 / kCommands;
    std::printf("[ latency  ] %s: %lld us per command\n", GetParam().name,
                static_cast<long long>(perCommandUs));
    RecordProperty("us_per_command", static_cast<int>(perCommandUs));
    // Waiting for the tick would take about 50 ms per command.
    EXPECT_LT(elapsed, kCommands * 50 / 2);
    app->closeSequence();
}

INSTANTIATE_TEST_SUITE_P(Transports, ReplyLatency,
                         ::testing::Values(LatencyCase{"Serial", Wire::Serial},
                                           LatencyCase{"TcpClient", Wire::TcpClient},
                                           LatencyCase{"TcpServer", Wire::TcpServer}),
                         [](const ::testing::TestParamInfo<LatencyCase>& testInfo) {
                             return std::string(testInfo.param.name);
                         });
