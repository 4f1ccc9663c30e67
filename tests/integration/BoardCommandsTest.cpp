#include <gtest/gtest.h>

#include <map>

#include "BoardCommands.h"
#include "FakeTickClock.h"
#include "LinkSetups.h"
#include "LinkTestPeers.h"
#include "MemoryLogPane.h"
#include "QtPrinters.h"
#include "RecordingMessageBoxes.h"

using namespace ifb;
using namespace ifb::test;

namespace {

struct LogLine {
    QString text;
    bool always;
    bool operator==(const LogLine& o) const { return text == o.text && always == o.always; }
};
void PrintTo(const LogLine& l, std::ostream* os) {
    *os << (l.always ? "always " : "verbose ") << l.text.toStdString();
}

struct RecordingLog final : LogSink {
    void WriteLog(const QString& text, bool always) override { lines.push_back({text, always}); }
    std::vector<LogLine> lines;
};

LogLine verbose(const QString& t) {
    return {t, false};
}
LogLine always(const QString& t) {
    return {t, true};
}

// The board answers each request by its data bytes (hex text of DATA).
using Answers = std::map<QByteArray, QByteArray>;

struct Fixture {
    RecordingMessageBoxes boxes;
    MemoryLogPane memo;
    PtyPair pty;
    PtyBoard board{pty};
    std::unique_ptr<TTComXDlg> link = std::make_unique<TTComXDlg>(SerialSetup(pty.path()), &memo);
    PollTimer poll{*link};
    RecordingLog log;
    BoardCommands commands{*link, log};

    // Answers requests by their data field; unknown requests get no answer.
    void answer(Answers answers) {
        board.setScript([answers](const QByteArray& request) {
            const QByteArray data = request.mid(4, static_cast<quint8>(request[3])).toHex(' ').toUpper();
            const auto it = answers.find(data);
            return it == answers.end() ? QByteArray() : it->second;
        });
    }
    void answerAll(const QByteArray& reply) {
        board.setScript([reply](const QByteArray&) { return reply; });
    }
};

}  // namespace

TEST(BoardCommands, RequestBytes) {
    // Golden frames with ID 0.
    {
        Fixture f;
        f.answerAll(ackOf(hex("00")));
        quint16 mode = 0;
        f.commands.GetIFBMode(500, mode);
        f.commands.ESP32_RestartCmd(500);
        f.commands.SetIFBMode(5, 500);
        f.commands.SetOtaMode(2, true);
        ASSERT_EQ(f.board.requests.size(), 4u);
        EXPECT_EQ(f.board.requests[0], hex("02 00 45 01 00 03 4B 0D"));
        EXPECT_EQ(f.board.requests[1], hex("02 00 45 01 0A 03 55 0D"));
        EXPECT_EQ(f.board.requests[2], hex("02 00 45 03 01 05 00 03 53 0D"));
        EXPECT_EQ(f.board.requests[3], hex("02 00 45 03 0B 02 01 03 5B 0D"));
    }
    // Every command, with ID 0 and with the configured ID.
    for (quint8 id : {quint8{0}, quint8{0x7F}}) {
        Fixture f;
        f.link->linkSettings().idNo = id;
        f.answerAll(ackOf(hex("00")));
        quint16 mode = 0, port = 0;
        quint32 address = 0;
        TCPIPPARAM param;
        WiFi_AP ap;
        QString text;
        f.commands.GetIFBMode(500, mode);
        f.commands.PollApConnection(port, address);
        f.commands.SetIFBMode(0x1234, 500);
        f.commands.ESP32_RestartCmd(500);
        f.commands.GetWiFiConfig(500, param);
        f.commands.GetTCPIPParam(500, param);
        f.commands.GetApInfo(ap, true);
        f.commands.GetTargetId();
        f.commands.SetOtaMode(2, false);
        f.commands.SetOtaMode(1, true);
        f.commands.GetRomVersion(text);
        f.commands.GetModelName(text);
        const char* data[] = {"00",    "00", "01 34 12", "0A",       "03 02", "03 03", "03 04",
                              "03 71", "05", "0B 02",    "0B 01 01", "90",    "93"};
        ASSERT_EQ(f.board.requests.size(), std::size(data)) << int(id);
        for (size_t i = 0; i < std::size(data); ++i) {
            EXPECT_EQ(f.board.requests[i], frameOf(0x45, hex(data[i]), id)) << data[i] << " id " << int(id);
        }
    }
}

TEST(BoardCommands, ModeReadAndSet) {
    Fixture f;
    quint16 mode = 0;
    f.answerAll(ackOf(hex("00 05 00 01 00 00 00 00 00 00 00")));
    EXPECT_TRUE(f.commands.GetIFBMode(1000, mode));
    EXPECT_EQ(mode, 5);
    f.answerAll(ackOf(hex("00 0C 81")));
    EXPECT_TRUE(f.commands.GetIFBMode(1000, mode));
    EXPECT_EQ(mode, 0x810C);
    // Too short to hold the mode: fails instead of reading what the last reply left.
    f.answerAll(ackOf(hex("00 07")));
    mode = 42;
    EXPECT_FALSE(f.commands.GetIFBMode(1000, mode));
    EXPECT_EQ(mode, 42);

    f.answerAll(ackOf(hex("01")));
    EXPECT_TRUE(f.commands.SetIFBMode(0, 1000));
    EXPECT_TRUE(f.commands.ESP32_RestartCmd(1000));
    f.answerAll(nackOf(hex("44")));
    EXPECT_FALSE(f.commands.SetIFBMode(0, 300)) << "a NACK runs the wait to its time-out";
    EXPECT_FALSE(f.commands.GetIFBMode(300, mode));
    EXPECT_EQ(mode, 42);
    EXPECT_TRUE(f.log.lines.empty());
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST(BoardCommands, ApConnectionPoll) {
    struct Case {
        const char* data;
        bool ok;
        quint16 port;
        quint32 address;
        const char* dotted;
    } cases[] = {
        {"00 05 00 01 00 98 0C C0 A8 04 01", true, 3224, 0x0104A8C0, "192.168.4.1"},
        {"00 05 00 01 98 0C C0 A8 04 01", true, 0xC00C, 0x030104A8,
         "168.4.1.3"},                                               // LEN 10: the last octet is the ETX
        {"00 05 00 00 00 98 0C C0 A8 04 01", false, 0, 0, nullptr},  // nobody joined
        {"00 05 00 01 00 98 0C C0 A8", false, 0, 0, nullptr},
        {"00 05 00 01 00 98 0C C0 A8 04 01 00", false, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.answerAll(ackOf(hex(c.data)));
        quint16 port = 7;
        quint32 address = 9;
        EXPECT_EQ(f.commands.PollApConnection(port, address), c.ok) << c.data;
        if (c.ok) {
            EXPECT_EQ(port, c.port) << c.data;
            EXPECT_EQ(address, c.address) << c.data;
            EXPECT_EQ(f.log.lines,
                      (std::vector<LogLine>{
                          verbose(QStringLiteral("OTA Port        : %1").arg(c.port)),
                          verbose(QStringLiteral("OTA IP Address  : ") + QLatin1String(c.dotted))}));
        } else {
            EXPECT_EQ(port, 7);
            EXPECT_EQ(address, 9u);
            EXPECT_TRUE(f.log.lines.empty());
        }
    }
}

TEST(BoardCommands, AccessPointInfo) {
    Fixture f;
    WiFi_AP ap;
    ap.password = QStringLiteral("MobirePxUn");
    f.answerAll(ackOf(hex("03 71 01 04 A8 C0 20 1C 49 46 42 2D 41 50")));
    EXPECT_TRUE(f.commands.GetApInfo(ap, true));
    EXPECT_EQ(ap.ipAddress, 0xC0A80401u);
    EXPECT_EQ(ap.port, 7200);
    EXPECT_EQ(ap.ssid, QStringLiteral("IFB-AP"));
    EXPECT_EQ(ap.password, QStringLiteral("MobirePxUn"));
    EXPECT_EQ(f.log.lines, (std::vector<LogLine>{always(QStringLiteral("IP  : 192.168.4.1")),
                                                 always(QStringLiteral("Port: 7200")),
                                                 always(QStringLiteral("AP  : IFB-AP"))}));

    struct Bad {
        QByteArray reply;
    } bad[] = {{ackOf(hex("03 72 01 04 A8 C0 20 1C 49"))},  // other item
               {ackOf(hex("03 71 01 04 A8"))},              // too short for address and port
               {nackOf(hex("41"))}};
    for (const Bad& b : bad) {
        f.log.lines.clear();
        f.answerAll(b.reply);
        EXPECT_FALSE(f.commands.GetApInfo(ap, false));
        EXPECT_EQ(f.log.lines, std::vector<LogLine>{verbose(QStringLiteral("NG"))});
        EXPECT_EQ(ap.ssid, QStringLiteral("IFB-AP"));
        EXPECT_EQ(ap.port, 7200);
    }
    f.log.lines.clear();
    f.answerAll(ackOf(hex("03 71 01 00 00 0A 00 00")));  // no SSID
    EXPECT_TRUE(f.commands.GetApInfo(ap, false));
    EXPECT_EQ(f.log.lines,
              (std::vector<LogLine>{verbose(QStringLiteral("IP  : 10.0.0.1")),
                                    verbose(QStringLiteral("Port: 0")), verbose(QStringLiteral("AP  : "))}));
}

TEST(BoardCommands, WiFiConfigAndNetworkBlock) {
    Fixture f;
    TCPIPPARAM p;
    f.answer({{"03 02", ackOf(hex("03 02 53 53 49 44"))}, {"03 03", ackOf(hex("03 03 70 E9"))}});
    EXPECT_TRUE(f.commands.GetWiFiConfig(1000, p));
    EXPECT_EQ(p.ssid, QStringLiteral("SSID"));
    EXPECT_EQ(p.password, QStringLiteral("p\u00E9"));
    EXPECT_EQ(f.log.lines,
              (std::vector<LogLine>{verbose(QStringLiteral("SSID")), verbose(QStringLiteral("p\u00E9"))}));

    // LEN 1 gives the empty text; a failed SSID read still asks for the password.
    f.answer({{"03 02", ackOf(hex("03"))}, {"03 03", ackOf(hex("03 03 6B"))}});
    EXPECT_TRUE(f.commands.GetWiFiConfig(1000, p));
    EXPECT_EQ(p.ssid, QString());
    EXPECT_EQ(p.password, QStringLiteral("k"));
    p.ssid = QStringLiteral("kept");
    f.answer({{"03 03", ackOf(hex("03 03 6D"))}});
    EXPECT_TRUE(f.commands.GetWiFiConfig(300, p));
    EXPECT_EQ(p.ssid, QStringLiteral("kept"));
    EXPECT_EQ(p.password, QStringLiteral("m"));
    f.answer({{"03 02", ackOf(hex("03 02 41"))}});
    EXPECT_FALSE(f.commands.GetWiFiConfig(300, p)) << "the result is the password's";
    EXPECT_EQ(p.ssid, QStringLiteral("A"));
    EXPECT_EQ(p.password, QStringLiteral("m"));

    // Network block: flags, mask, port, address, four carried values.
    f.log.lines.clear();
    f.answerAll(
        ackOf(hex("03 04 60 00 FF FF FF 88 13 0A 00 A8 C0 39 30 01 02 03 04 11 12 13 14 21 22 23 24")));
    EXPECT_TRUE(f.commands.GetTCPIPParam(1000, p));
    EXPECT_EQ(p.flags, 0x60);
    EXPECT_EQ(p.netMask, 0xFFFFFF00u);
    EXPECT_EQ(p.tcpPort, 5000);
    EXPECT_EQ(p.ipAddress, 0xC0A8000Au);
    EXPECT_EQ(p.value1, 12345);
    EXPECT_EQ(p.value2, 0x04030201u);
    EXPECT_EQ(p.value3, 0x14131211u);
    EXPECT_EQ(p.value4, 0x24232221u);
    EXPECT_EQ(p.ssid, QStringLiteral("A"));
    EXPECT_EQ(f.log.lines, std::vector<LogLine>{verbose(QStringLiteral("OK"))});

    // LEN 26: acknowledged, nothing changes.
    f.log.lines.clear();
    f.answerAll(ackOf(hex("03 04 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00")));
    EXPECT_TRUE(f.commands.GetTCPIPParam(1000, p));
    EXPECT_EQ(p.tcpPort, 5000);
    EXPECT_EQ(p.value4, 0x24232221u);
    EXPECT_EQ(f.log.lines, std::vector<LogLine>{verbose(QStringLiteral("NG"))});

    f.log.lines.clear();
    f.answerAll(QByteArray());
    EXPECT_FALSE(f.commands.GetTCPIPParam(300, p));
    EXPECT_EQ(f.log.lines, std::vector<LogLine>{verbose(QStringLiteral("NG"))});
}

TEST(BoardCommands, TargetIdRomVersionModelNameAndOtaMode) {
    Fixture f;
    f.answerAll(ackOf(hex("05 00 00 00 00 34 12")));
    EXPECT_TRUE(f.commands.GetTargetId());
    EXPECT_EQ(f.log.lines, (std::vector<LogLine>{verbose(QStringLiteral("ターゲットID情報")),
                                                 always(QStringLiteral("ID : 1234"))}));
    f.log.lines.clear();
    f.answerAll(ackOf(hex("05 00 00 00 00 AB 00")));
    EXPECT_TRUE(f.commands.GetTargetId());
    EXPECT_EQ(f.log.lines.back(), always(QStringLiteral("ID : 00AB")));
    for (const char* bad : {"05 00 00 00 00 34", "06 00 00 00 00 34 12", "05 00 00 00 00 34 12 00"}) {
        f.log.lines.clear();
        f.answerAll(ackOf(hex(bad)));
        EXPECT_FALSE(f.commands.GetTargetId()) << bad;
        EXPECT_TRUE(f.log.lines.empty()) << bad;
    }

    const LogLine romLine = verbose(QStringLiteral("I/FボードのＲＯＭのバージョン情報"));
    const LogLine modelLine = verbose(QStringLiteral("機種名（ModelName）の取得"));
    QString rom = QStringLiteral("old");
    f.log.lines.clear();
    f.answerAll(ackOf(QByteArray("\x90") + "1022IFB00"));
    EXPECT_TRUE(f.commands.GetRomVersion(rom));
    EXPECT_EQ(rom, QStringLiteral("1022IFB00"));
    EXPECT_EQ(f.log.lines, std::vector<LogLine>{romLine});
    f.answerAll(ackOf(hex("90")));
    EXPECT_TRUE(f.commands.GetRomVersion(rom));
    EXPECT_EQ(rom, QString());
    rom = QStringLiteral("old");
    f.answerAll(nackOf(hex("41")));
    EXPECT_FALSE(f.commands.GetRomVersion(rom));
    EXPECT_EQ(rom, QString()) << "emptied before sending";

    QString model = QStringLiteral("PL-RZ41");
    f.log.lines.clear();
    f.answerAll(ackOf(QByteArray("\x93") + "PL-RZ42"));
    EXPECT_TRUE(f.commands.GetModelName(model));
    EXPECT_EQ(model, QStringLiteral("PL-RZ42"));
    EXPECT_EQ(f.log.lines, std::vector<LogLine>{modelLine});
    f.answerAll(nackOf(hex("41")));
    EXPECT_FALSE(f.commands.GetModelName(model));
    EXPECT_EQ(model, QStringLiteral("PL-RZ42")) << "kept on failure";

    f.log.lines.clear();
    f.answerAll(ackOf(hex("0B")));
    EXPECT_TRUE(f.commands.SetOtaMode(2, true));
    EXPECT_EQ(f.log.lines, std::vector<LogLine>{verbose(QStringLiteral("OK"))});
    f.log.lines.clear();
    f.answerAll(nackOf(hex("44")));
    EXPECT_FALSE(f.commands.SetOtaMode(2, true));
    EXPECT_TRUE(f.log.lines.empty());
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST(BoardCommands, UnansweredWaitAckCommandsFailAtTheirTimeOut) {
    Fixture f;
    FakeTickClock clock(0, 100);
    QString rom = QStringLiteral("x"), model = QStringLiteral("y");
    WiFi_AP ap;
    quint16 port = 0;
    quint32 address = 0;
    EXPECT_FALSE(f.commands.GetRomVersion(rom));
    EXPECT_FALSE(f.commands.GetModelName(model));
    EXPECT_FALSE(f.commands.GetApInfo(ap, true));
    EXPECT_FALSE(f.commands.PollApConnection(port, address));
    EXPECT_FALSE(f.commands.GetTargetId());
    EXPECT_FALSE(f.commands.SetOtaMode(2, true));
    EXPECT_EQ(rom, QString());
    EXPECT_EQ(model, QStringLiteral("y"));
    EXPECT_EQ(f.board.requests.size(), 6u);
}

TEST(BoardCommands, FrameTracesGoWhereTheirCommandWrites) {
    Fixture f;
    f.link->fTrace = true;
    f.answerAll(ackOf(hex("00 05 00")));
    quint16 mode = 0;
    f.commands.GetIFBMode(1000, mode);
    f.commands.ESP32_RestartCmd(1000);
    WiFi_AP ap;
    f.commands.GetApInfo(ap, true);
    QString text;
    f.commands.GetRomVersion(text);
    f.commands.GetModelName(text);
    const QString modeHex = QStringLiteral("02 00 45 01 00 03 4B 0D ");
    const QString restartHex = QStringLiteral("02 00 45 01 0A 03 55 0D ");
    const QString apHex = HexForm(frameOf(0x45, hex("03 71")));
    const QString romHex = HexForm(frameOf(0x45, hex("90")));
    const QString modelHex = HexForm(frameOf(0x45, hex("93")));
    const QString modelLine = QStringLiteral("機種名（ModelName）の取得");
    EXPECT_EQ(f.log.lines,
              (std::vector<LogLine>{verbose(modeHex), verbose(QStringLiteral("RESTART_CMD: ")),
                                    verbose(restartHex), always(apHex), always(QStringLiteral("NG")),
                                    verbose(QStringLiteral("I/FボードのＲＯＭのバージョン情報")),
                                    verbose(modelLine)}));
    EXPECT_EQ(f.memo.lines, (QStringList{romHex, modelLine, modelHex}));

    // Without fTrace no frame is traced anywhere.
    f.link->fTrace = false;
    f.log.lines.clear();
    f.memo.lines.clear();
    f.commands.GetIFBMode(1000, mode);
    f.commands.GetModelName(text);
    EXPECT_EQ(f.log.lines, (std::vector<LogLine>{verbose(modelLine)}));
    EXPECT_TRUE(f.memo.lines.isEmpty());
}

TEST(BoardCommands, SetOtaModeReopensAClosedLinkFirst) {
    RecordingMessageBoxes boxes;
    PtyPair pty;
    PtyBoard board(pty, [](const QByteArray&) { return ackOf(hex("0B")); });
    TTComXDlg link(SerialSetup(QStringLiteral("/dev/ifb-unplugged")), nullptr);
    ASSERT_FALSE(link.IsLinkOpen());
    std::unique_ptr<PollTimer> poll;
    RecordingLog log;
    int reopened = 0;
    BoardCommands commands(link, log, [&] {
        ++reopened;
        link.ReopenOnPort(pty.path());
        poll = std::make_unique<PollTimer>(link);
    });
    EXPECT_TRUE(commands.SetOtaMode(2, true));
    EXPECT_EQ(reopened, 1);
    ASSERT_EQ(board.requests.size(), 1u);
    EXPECT_EQ(board.requests[0], hex("02 00 45 03 0B 02 01 03 5B 0D"));
    EXPECT_TRUE(commands.SetOtaMode(2, true));
    EXPECT_EQ(reopened, 1) << "an open link is used as it is";
}
