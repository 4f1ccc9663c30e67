// ifb-sim driven over its pty (and TCP) the way the updater drives the board:
// every reply byte for byte, restart and OTA-mode behaviour, and each fault knob.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>
#include <functional>

#include "QtPrinters.h"
#include "ToolsHarness.h"

using namespace tools_test;

namespace {

QByteArray Ack(const char* data) {
    return OracleFrame(0x30, Hex(data));
}
QByteArray AckText(const char* head, const char* text) {
    return OracleFrame(0x30, Hex(head) + QByteArray(text));
}

struct Exchange {
    const char* what;
    QByteArray request;  // DATA of the 'E' frame
    QByteArray reply;    // whole expected frame
};

class SimOnPty : public ::testing::Test {
  protected:
    void startSim(const QStringList& arguments) {
        ASSERT_TRUE(sim.start(arguments));
        ASSERT_TRUE(port.open(sim.where())) << sim.where().toStdString();
    }
    SimProcess sim;
    PtyPort port;
};

TEST_F(SimOnPty, AnswersEveryCommandWithItsExactLayout) {
    startSim({"--ota-host", "192.168.4.1", "--ssid", "NET1", "--password", "pass1", "--ap-ssid", "IFB-AP",
              "--never-join"});
    const Exchange exchanges[] = {
        // mode 3, not joined, OTA port 3232 (A0 0C), OTA address in dotted order
        {"GetIFBMode", Hex("00"), Ack("00 03 00 00 00 A0 0C C0 A8 04 01")},
        {"SetIFBMode 5", Hex("01 05 00"), Ack("01 05 00")},
        {"GetIFBMode after set", Hex("00"), Ack("00 05 00 00 00 A0 0C C0 A8 04 01")},
        {"GetWiFiConfig SSID", Hex("03 02"), AckText("03 02", "NET1")},
        {"GetWiFiConfig password", Hex("03 03"), AckText("03 03", "pass1")},
        // flags, mask 255.255.255.0, TCP port 5000, 192.168.0.20, then the four carried values
        {"GetTCPIPParam", Hex("03 04"),
         Ack("03 04 20 00 FF FF FF 88 13 14 00 A8 C0 89 13 0A 00 A8 C0 00 00 00 00 00 00 00 00")},
        // address 192.168.4.1 as a number with the first octet on top: 01 04 A8 C0
        {"GetApInfo", Hex("03 71"), AckText("03 71 01 04 A8 C0 A0 0C", "IFB-AP")},
        {"GetTargetId", Hex("05"), Ack("05 00 00 00 00 34 12")},
        {"GetRomVersion", Hex("90"), AckText("90", "1021IFB00")},
        {"GetModelName", Hex("93"), AckText("93", "PL-RZ41-IFB")},
        {"SetOtaMode", Hex("0B 02 01"), Ack("0B 02 01")},
        {"unknown sub-command", Hex("77"), OracleFrame(0x31, Hex("44"))},
        {"unknown item", Hex("03 55"), OracleFrame(0x31, Hex("44"))},
        {"SetIFBMode without its value", Hex("01 05"), OracleFrame(0x31, Hex("41"))},
        {"ESP32_RestartCmd", Hex("0A"), Ack("0A")},
    };
    for (const Exchange& e : exchanges) {
        SCOPED_TRACE(e.what);
        const auto reply = port.request(e.request);
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(HexOf(*reply), HexOf(e.reply));
    }
    // The worked example of the frame format: read mode, ID 0.
    const auto first = sim.events(QStringLiteral("rx")).first();
    EXPECT_EQ(first.value("hex").toString(), QStringLiteral("02 00 45 01 00 03 4B 0D"));
    EXPECT_EQ(first.value("cmd").toString(), QStringLiteral("GetIFBMode"));
    QStringList names;
    for (const auto& event : sim.events(QStringLiteral("rx"))) names << event.value("cmd").toString();
    EXPECT_EQ(names.mid(1, 9).join(' '),
              QStringLiteral("SetIFBMode GetIFBMode GetWiFiConfig GetWiFiConfig "
                             "GetTCPIPParam GetApInfo GetTargetId GetRomVersion GetModelName"));
}

TEST_F(SimOnPty, RepliesCarryTheRequestIdAndOtherBoardsAnswerWithTheirOwnValues) {
    startSim({"--model", "PL-RZ42-IFB", "--rom", "0999XYZ", "--target-id", "BEEF", "--mode", "258"});
    ASSERT_TRUE(port.write(OracleFrame(0x45, Hex("05"), 7)));
    const auto reply = port.nextFrame(1000);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(HexOf(*reply), HexOf(OracleFrame(0x30, Hex("05 00 00 00 00 EF BE"), 7)));
    EXPECT_EQ(HexOf(*port.request(Hex("93"))), HexOf(AckText("93", "PL-RZ42-IFB")));
    EXPECT_EQ(HexOf(*port.request(Hex("90"))), HexOf(AckText("90", "0999XYZ")));
    EXPECT_EQ(HexOf(port.request(Hex("00"))->mid(4, 3)), QStringLiteral("00 02 01"));
}

TEST_F(SimOnPty, RestartGoesQuietAndKeepsTheMode) {
    startSim({"--restart-ms", "400"});
    ASSERT_TRUE(port.request(Hex("01 02 00")).has_value());
    ASSERT_TRUE(port.request(Hex("0A")).has_value());
    EXPECT_FALSE(port.request(Hex("00"), 200).has_value()) << "answered while restarting";
    ASSERT_TRUE(sim.waitForEvent(QStringLiteral("ready"), 2000).has_value());
    const auto mode = port.request(Hex("00"));
    ASSERT_TRUE(mode.has_value());
    EXPECT_EQ(HexOf(mode->mid(4, 3)), QStringLiteral("00 02 00"));
    const auto ignored = sim.events(QStringLiteral("rx"));
    ASSERT_EQ(ignored.size(), 4);
    EXPECT_EQ(ignored[2].value("ignored").toString(), QStringLiteral("restart"));
    EXPECT_EQ(sim.events(QStringLiteral("mode_change")).first().value("to").toInt(), 2);
}

TEST_F(SimOnPty, OtaModeJoinsAfterTheDelayAndARestartEndsIt) {
    const quint16 otaPort = FreeUdpPort();
    startSim({"--ap-join-ms", "300", "--ota-port", QString::number(otaPort)});
    ASSERT_TRUE(port.request(Hex("0B 02 01")).has_value());
    const auto before = port.request(Hex("00"));
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(static_cast<quint8>((*before)[7]), 0) << "joined at once";
    ASSERT_TRUE(sim.waitForEvent(QStringLiteral("join"), 2000).has_value());
    const auto after = port.request(Hex("00"));
    ASSERT_TRUE(after.has_value());
    QByteArray expected = Hex("00 03 00 01 00");
    expected.append(static_cast<char>(otaPort & 0xFF))
        .append(static_cast<char>(otaPort >> 8))
        .append(Hex("7F 00 00 01"));
    EXPECT_EQ(HexOf(*after), HexOf(OracleFrame(0x30, expected)));
    EXPECT_TRUE(sim.events(QStringLiteral("join")).first().value("listening").toBool());

    QUdpSocket probe;
    EXPECT_FALSE(probe.bind(QHostAddress::LocalHost, otaPort)) << "the OTA receiver is not listening";
    ASSERT_TRUE(port.request(Hex("0A")).has_value());
    ASSERT_TRUE(sim.waitForEvent(QStringLiteral("ready"), 2000).has_value());
    EXPECT_EQ(static_cast<quint8>((*port.request(Hex("00")))[7]), 0);
    EXPECT_TRUE(probe.bind(QHostAddress::LocalHost, otaPort))
        << "OTA receiver still running after the restart";
}

TEST_F(SimOnPty, GarbageOnTheLineDoesNotStopTheBoard) {
    startSim({});
    QByteArray garbage;
    QRandomGenerator random(7);
    for (int i = 0; i < 600; ++i) garbage.append(static_cast<char>(random.bounded(256)));
    garbage.append(Hex("02 00 45 FF 00"));  // a frame that claims 255 data bytes and stops
    ASSERT_TRUE(port.write(garbage));
    port.readFor(400);  // whatever it said to that (NACKs for broken frames)
    const auto reply = port.request(Hex("90"));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(HexOf(*reply), HexOf(AckText("90", "1021IFB00")));
    EXPECT_EQ(sim.process().state(), QProcess::Running);
}

// ---- fault knobs ----

struct FaultCase {
    const char* name;
    QStringList arguments;
    std::function<void(SimProcess&, PtyPort&)> check;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class SimFault : public ::testing::TestWithParam<FaultCase> {};

const QByteArray kRomReply = AckText("90", "1021IFB00");

const FaultCase kFaultCases[] = {
    {"silent",
     {"--silent"},
     [](SimProcess& sim, PtyPort& port) {
         EXPECT_FALSE(port.request(Hex("90"), 300).has_value());
         EXPECT_EQ(sim.events("rx").first().value("ignored").toString(), QStringLiteral("silent"));
     }},
    {"ignore-first",
     {"--ignore-first", "2"},
     [](SimProcess&, PtyPort& port) {
         EXPECT_FALSE(port.request(Hex("90"), 250).has_value());
         EXPECT_FALSE(port.request(Hex("90"), 250).has_value());
         EXPECT_EQ(HexOf(*port.request(Hex("90"))), HexOf(kRomReply));
     }},
    {"nack-first with reason",
     {"--nack-first", "2:0x42"},
     [](SimProcess&, PtyPort& port) {
         EXPECT_EQ(HexOf(*port.request(Hex("90"))), QStringLiteral("02 00 31 01 42 03 79 0D"));
         EXPECT_EQ(HexOf(*port.request(Hex("00"))), QStringLiteral("02 00 31 01 42 03 79 0D"));
         EXPECT_EQ(HexOf(*port.request(Hex("90"))), HexOf(kRomReply));
     }},
    {"nack-first default reason",
     {"--nack-first", "1"},
     [](SimProcess&, PtyPort& port) {
         EXPECT_EQ(HexOf(*port.request(Hex("90"))), QStringLiteral("02 00 31 01 00 03 37 0D"));
     }},
    {"bad-sum-first",
     {"--bad-sum-first", "1"},
     [](SimProcess&, PtyPort& port) {
         EXPECT_FALSE(port.request(Hex("90"), 300).has_value());
         EXPECT_EQ(port.rejectedFrames(), 1);
         QByteArray wrong = kRomReply;
         wrong[wrong.size() - 2] = static_cast<char>(wrong[wrong.size() - 2] + 1);
         EXPECT_EQ(HexOf(port.rawBytes()), HexOf(wrong));
         EXPECT_EQ(HexOf(*port.request(Hex("90"))), HexOf(kRomReply));
     }},
    {"noise",
     {"--noise"},
     [](SimProcess&, PtyPort& port) {
         EXPECT_EQ(HexOf(*port.request(Hex("90"))), HexOf(kRomReply));
         EXPECT_GT(port.rawBytes().size(), kRomReply.size());
         EXPECT_FALSE(port.rawBytes().startsWith('\x02'));
     }},
    {"split",
     {"--split"},
     [](SimProcess&, PtyPort& port) {
         ASSERT_TRUE(port.write(OracleFrame(0x45, Hex("90"))));
         int reads = 0;
         const QByteArray bytes = port.readFor(400, &reads);
         EXPECT_EQ(HexOf(bytes), HexOf(kRomReply));
         EXPECT_GE(reads, kRomReply.size() / 2) << "arrived in " << reads << " reads";
     }},
    {"reply-delay-ms",
     {"--reply-delay-ms", "300"},
     [](SimProcess&, PtyPort& port) {
         QElapsedTimer clock;
         clock.start();
         EXPECT_TRUE(port.request(Hex("90"), 2000).has_value());
         EXPECT_GE(clock.elapsed(), 280);
     }},
    {"hangup-after",
     {"--hangup-after", "2", "--link", "LINK"},
     [](SimProcess& sim, PtyPort& port) {
         EXPECT_TRUE(port.request(Hex("90")).has_value());
         EXPECT_TRUE(port.request(Hex("90")).has_value());
         port.readFor(500);
         EXPECT_TRUE(port.hungUp());
         EXPECT_TRUE(sim.process().waitForFinished(3000));
         EXPECT_EQ(sim.process().exitCode(), 0);
         EXPECT_EQ(sim.events("hangup").size(), 1);
     }},
    {"chatter",
     {"--chatter"},
     [](SimProcess&, PtyPort& port) {
         QByteArray kinds;
         for (int i = 0; i < 4; ++i) {
             EXPECT_EQ(HexOf(*port.request(Hex("90"))), HexOf(kRomReply));
             const auto notice = port.nextFrame(500);
             ASSERT_TRUE(notice.has_value());
             kinds.append(notice->at(2) == 'E' ? notice->at(4) : notice->at(2));
         }
         EXPECT_EQ(kinds, QByteArray("MblI"));
     }},
    {"never-join",
     {"--never-join", "--ap-join-ms", "0"},
     [](SimProcess& sim, PtyPort& port) {
         ASSERT_TRUE(port.request(Hex("0B 02 01")).has_value());
         QThread::msleep(300);
         EXPECT_EQ(static_cast<quint8>(port.request(Hex("00"))->at(7)), 0);
         EXPECT_TRUE(sim.events("join").isEmpty());
     }},
};

TEST_P(SimFault, DoesWhatItSays) {
    const FaultCase& c = GetParam();
    SimProcess sim;
    QTemporaryDir dir;
    QStringList arguments = c.arguments;
    const QString link = dir.filePath(QStringLiteral("ttyIFB"));
    arguments.replaceInStrings(QStringLiteral("LINK"), link);
    ASSERT_TRUE(sim.start(arguments));
    PtyPort port;
    ASSERT_TRUE(port.open(arguments.contains(link) ? link : sim.where()));
    c.check(sim, port);
    if (arguments.contains(link)) {
        EXPECT_FALSE(QFileInfo::exists(link)) << "link left behind";
    }
}

INSTANTIATE_TEST_SUITE_P(Knobs, SimFault, ::testing::ValuesIn(kFaultCases),
                         [](const ::testing::TestParamInfo<FaultCase>& testInfo) {
                             std::string name = testInfo.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

// ---- TCP transports ----

TEST(SimOverTcp, ServesFramesAsListenerAndAsClient) {
    {
        SimProcess sim;
        ASSERT_TRUE(sim.start({"--tcp-listen", "0"}));
        const QStringList where = sim.where().split(':');
        ASSERT_EQ(where.size(), 2);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, where[1].toUShort());
        ASSERT_TRUE(socket.waitForConnected(3000));
        socket.write(QByteArray("\x55\xAA garbage", 10) + OracleFrame(0x45, Hex("90")));
        QByteArray got;
        while (got.size() < kRomReply.size() && socket.waitForReadyRead(2000)) got += socket.readAll();
        EXPECT_EQ(HexOf(got), HexOf(kRomReply));
    }
    {
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        SimProcess sim;
        ASSERT_TRUE(sim.start({"--tcp-connect", QStringLiteral("127.0.0.1:%1").arg(server.serverPort())}));
        ASSERT_TRUE(server.waitForNewConnection(3000));
        QTcpSocket* socket = server.nextPendingConnection();
        socket->write(OracleFrame(0x45, Hex("93")));
        QByteArray got;
        const QByteArray expected = AckText("93", "PL-RZ41-IFB");
        while (got.size() < expected.size() && socket->waitForReadyRead(2000)) got += socket->readAll();
        EXPECT_EQ(HexOf(got), HexOf(expected));
    }
}

TEST(SimCommandLine, RejectsBadOptionsWithExitCode2) {
    const QStringList cases[] = {{"--bogus"},
                                 {"--mode", "x"},
                                 {"--target-id", "12345"},
                                 {"--ota-auth", "sha1"},
                                 {"--pty", "--tcp-listen", "1"},
                                 {"--nack-first", "1:300"},
                                 {"--ota-host", "host"},
                                 {"--ota-close-after", "0"},
                                 {"--ota-close-after", "100:x"},
                                 {"--ota-flash-kBps", "-1"}};
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ToolRun run = RunTool(QStringLiteral("ifb-sim"), arguments, 5000);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("ifb-sim: "))) << run.err.toStdString();
    }
}

}  // namespace
