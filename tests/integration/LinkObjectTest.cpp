#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "BoardCommands.h"
#include "FakeTickClock.h"
#include "LinkSetups.h"
#include "LinkTestPeers.h"
#include "MemoryLogPane.h"
#include "QtPrinters.h"
#include "RecordingMessageBoxes.h"
#include "TTComXDlg.h"

using namespace ifb;
using namespace ifb::test;

namespace {

const QString kTimeOver = QStringLiteral("レスポンス待ち　タイムオーバー");

std::unique_ptr<TTComXDlg> serialLink(const QString& port, LogPane* memo, int speedCode = 4,
                                      int parityCode = 0, const SerialLine& line = {},
                                      const LinkSettings& settings = {}) {
    LinkSetup setup = SerialSetup(port, speedCode, parityCode);
    setup.line = line;
    setup.settings = settings;
    return std::make_unique<TTComXDlg>(setup, memo);
}

struct NullLog final : LogSink {
    void WriteLog(const QString&, bool) override {}
};

// A link on a pty with a board behind it and the owner's poll running.
struct SerialFixture {
    RecordingMessageBoxes boxes;
    MemoryLogPane memo;
    PtyPair pty;
    PtyBoard board{pty};
    std::unique_ptr<TTComXDlg> link = serialLink(pty.path(), &memo);
    PollTimer poll{*link};

    SerialFixture() { link->fTrace = true; }
    void send(const QByteArray& payload) { link->SendFrame(frameOf(0x45, payload)); }
};

}  // namespace

TEST(Link, CreationTakesPortSpeedAndParityFromTheCallerAndKeepsTheRest) {
    RecordingMessageBoxes boxes;
    PtyPair pty;
    SerialLine read;
    read.port = QStringLiteral("COM9");
    read.baudRate = BaudRate::br9600;
    read.parity = Parity::prEven;
    read.dataBits = DataBits::dbSeven;
    read.stopBits = StopBits::sbTwoStopBits;
    read.flowControl = FlowControl::fcSoftware;
    LinkSettings settings;
    settings.idNo = 5;
    settings.maxRecNo = 123;
    settings.fDispCont1 = 0;
    LinkSetup setup = SerialSetup(pty.path(), 3, 1);
    setup.tcpListenPort = 1000;
    setup.tcpServerMode = 1;
    setup.tcpClientPort = 2000;
    setup.tcpClientAddr = QStringLiteral("192.168.0.10");
    setup.line = read;
    setup.settings = settings;
    TTComXDlg link(setup, nullptr);
    EXPECT_TRUE(link.IsLinkOpen());
    EXPECT_TRUE(boxes.shown.empty());
    const SerialLine l = link.serialLine();
    EXPECT_EQ(l.port, pty.path());
    EXPECT_EQ(l.baudRate, BaudRate::br57600);
    EXPECT_EQ(l.parity, Parity::prOdd);
    EXPECT_EQ(l.dataBits, DataBits::dbSeven);
    EXPECT_EQ(l.stopBits, StopBits::sbTwoStopBits);
    EXPECT_EQ(l.flowControl, FlowControl::fcSoftware);
    const LinkSettings& s = link.linkSettings();
    EXPECT_EQ(s.idNo, 5);
    EXPECT_EQ(s.maxRecNo, 123);
    EXPECT_EQ(s.fDispCont1, 0);
    EXPECT_EQ(s.tcpListenPort, 1000);
    EXPECT_EQ(s.tcpServerMode, 1);
    EXPECT_EQ(s.tcpClientPort, 2000);
    EXPECT_EQ(s.tcpClientAddr, QStringLiteral("192.168.0.10"));

    // Without the serial transport the line read is not applied and nothing opens.
    LinkSetup noTransport = SerialSetup(pty.path(), 4, 1);
    noTransport.transportKind = kTransportNone;
    noTransport.line = read;
    noTransport.settings = settings;
    TTComXDlg none(noTransport, nullptr);
    EXPECT_EQ(none.serialLine().port, QStringLiteral("COM1"));
    EXPECT_EQ(none.serialLine().baudRate, BaudRate::br19200);
    EXPECT_FALSE(none.IsLinkOpen());
}

TEST(Link, SerialOpenFailureShowsTheMessageAndTheLinkStaysUsable) {
    RecordingMessageBoxes boxes;
    MemoryLogPane memo;
    auto link = serialLink(QStringLiteral("COM7"), &memo);
    EXPECT_FALSE(link->IsLinkOpen());
    ASSERT_EQ(boxes.shown.size(), 1u);
    const MessageBoxRequest want{
        QStringLiteral("COM7がオープン出来ません!!\n\n  ポート及びパラメータ設定を再確認してください。"),
        std::nullopt, MsgIcon::Error, MsgButtons::Ok, MsgOwner::MainWindow};
    EXPECT_TRUE(boxes.shown[0] == want) << boxes.shown[0].text.toStdString();
    EXPECT_TRUE(memo.lines.isEmpty()) << "traces stay hidden without fTrace";

    PtyPair pty;
    PtyBoard board(pty, [](const QByteArray&) { return ackOf(QByteArray(1, '\x0A')); });
    link->ReopenOnPort(pty.path());
    EXPECT_TRUE(link->IsLinkOpen());
    EXPECT_EQ(link->serialLine().port, pty.path());
    PollTimer poll(*link);
    link->SendFrame(frameOf(0x45, hex("0A")));
    EXPECT_TRUE(link->WaitAck());
    EXPECT_EQ(boxes.shown.size(), 1u);

    // Reopening on a port that is gone again: the message names that port.
    link->ReopenOnPort(QStringLiteral("/dev/ifb-gone"));
    EXPECT_FALSE(link->IsLinkOpen());
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_TRUE(boxes.shown[1].text.startsWith(QStringLiteral("/dev/ifb-goneがオープン出来ません!!")));
}

TEST(Link, WithoutTransportNothingIsSentAndEveryCommandFailsAtItsTimeOut) {
    RecordingMessageBoxes boxes;
    MemoryLogPane memo;
    PtyPair pty;
    for (int kind : {static_cast<int>(kTransportNone), 7}) {
        memo.lines.clear();
        LinkSetup setup = SerialSetup(pty.path());
        setup.transportKind = kind;
        TTComXDlg link(setup, &memo);
        link.fTrace = true;
        EXPECT_FALSE(link.IsLinkOpen());
        PollTimer poll(link);
        NullLog log;
        BoardCommands commands(link, log);
        FakeTickClock clock(1000, 100);
        auto fails = [&](const char* what, quint32 atLeast, const std::function<bool()>& command) {
            const quint32 before = clock.now();
            EXPECT_FALSE(command()) << what;
            EXPECT_GE(clock.now() - before, atLeast) << what;
        };
        quint16 mode = 0;
        quint16 port = 0;
        quint32 address = 0;
        TCPIPPARAM param;
        WiFi_AP ap;
        QString text = QStringLiteral("old");
        fails("GetIFBMode", 10000, [&] { return commands.GetIFBMode(10000, mode); });
        fails("SetIFBMode", 3000, [&] { return commands.SetIFBMode(0, 3000); });
        fails("ESP32_RestartCmd", 2000, [&] { return commands.ESP32_RestartCmd(2000); });
        fails("GetWiFiConfig", 4000, [&] { return commands.GetWiFiConfig(2000, param); });
        fails("GetTCPIPParam", 2000, [&] { return commands.GetTCPIPParam(2000, param); });
        fails("PollApConnection", 2000, [&] { return commands.PollApConnection(port, address); });
        fails("GetApInfo", 2000, [&] { return commands.GetApInfo(ap, true); });
        fails("GetTargetId", 2000, [&] { return commands.GetTargetId(); });
        fails("SetOtaMode", 2000, [&] { return commands.SetOtaMode(2, true); });
        fails("GetModelName", 2000, [&] { return commands.GetModelName(text); });
        EXPECT_EQ(text, QStringLiteral("old"));
        fails("GetRomVersion", 2000, [&] { return commands.GetRomVersion(text); });
        EXPECT_EQ(text, QString());
        EXPECT_EQ(memo.lines.count(kTimeOver), 12) << kind;
        EXPECT_TRUE(pty.readAvailable().isEmpty()) << kind;
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(Link, NackReasonZeroShowsItsBoxOnlyDuringWaitAck) {
    SerialFixture f;
    f.board.setScript([](const QByteArray&) { return nackOf(hex("00")); });
    f.send(hex("90"));
    EXPECT_FALSE(f.link->WaitAck());
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    const MessageBoxRequest want{QStringLiteral("NACK : 0x00"), std::nullopt, MsgIcon::None, MsgButtons::Ok,
                                 MsgOwner::MainWindow};
    EXPECT_TRUE(f.boxes.shown[0] == want);
    EXPECT_EQ(f.memo.lines, (QStringList{QStringLiteral("??? NACK受信"), QStringLiteral("NACK 受信")}));

    // Other reasons: the trace, no box.
    f.memo.lines.clear();
    f.board.setScript([](const QByteArray&) { return nackOf(hex("44")); });
    f.send(hex("90"));
    EXPECT_FALSE(f.link->WaitAck());
    EXPECT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.memo.lines, (QStringList{QStringLiteral("不正なコマンド"), QStringLiteral("NACK 受信")}));

    // WaitReply(2): the NACK does not end the wait; it fails at its time-out, silently.
    f.memo.lines.clear();
    f.board.setScript([](const QByteArray&) { return nackOf(hex("00")); });
    FakeTickClock clock(0, 40);
    f.send(hex("00"));
    EXPECT_FALSE(f.link->WaitReply(Reply::Ack, 20000));
    EXPECT_EQ(f.link->ReplyKind, Reply::Nack) << "the NACK arrived during the wait";
    EXPECT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.memo.lines.last(), kTimeOver);
    EXPECT_FALSE(f.memo.lines.contains(QStringLiteral("NACK 受信")));
}

TEST(Link, OtaNoticeEndsWaitAckWithoutReportingAnOldAck) {
    SerialFixture f;
    f.board.setScript([](const QByteArray&) { return ackOf(hex("93 50 4C")); });
    f.send(hex("93"));
    ASSERT_TRUE(f.link->WaitAck());

    f.board.setScript([](const QByteArray&) { return frameOf('D', "OK"); });
    QElapsedTimer t;
    t.start();
    f.send(hex("90"));
    EXPECT_FALSE(f.link->WaitAck()) << "the buffer still holds the answer to the earlier request";
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_EQ(f.link->ReplyKind, Reply::OtaResult);
    EXPECT_TRUE(f.link->OtaResultReceived);
    EXPECT_TRUE(f.link->OtaResultOk);
    EXPECT_FALSE(f.memo.lines.contains(kTimeOver));

    // A notice and the ACK in one delivery: the ACK answers.
    f.board.setScript([](const QByteArray&) { return frameOf('D', "BR") + ackOf(hex("90 31")); });
    f.send(hex("90"));
    EXPECT_TRUE(f.link->WaitAck());
    EXPECT_FALSE(f.link->OtaResultOk);
}

TEST(Link, NoticeRightBehindTheAckDoesNotHideItFromWaitReply) {
    SerialFixture f;
    // The board answers and chats at once: both frames arrive in one delivery.
    f.board.setScript([](const QByteArray&) { return ackOf(hex("01")) + frameOf('b', QByteArray(8, '\0')); });
    QElapsedTimer t;
    t.start();
    f.send(hex("01 00 00"));
    EXPECT_TRUE(f.link->WaitReply(Reply::Ack, 5000));
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_EQ(f.link->ReplyKind, Reply::Lcd);
}

TEST(Link, TraceMemoIsClearedAtTwoThousandLines) {
    MemoryLogPane memo;
    LinkSetup setup;
    setup.transportKind = kTransportNone;
    TTComXDlg link(setup, &memo);
    link.TraceLine(QStringLiteral("hidden"));
    EXPECT_TRUE(memo.lines.isEmpty());
    link.TraceLine(QStringLiteral("forced"), true);
    EXPECT_EQ(memo.lines, QStringList{QStringLiteral("forced")});

    link.fTrace = true;
    memo.lines.clear();
    for (int i = 0; i < 1999; ++i) memo.lines.append(QString::number(i));
    link.TraceLine(QStringLiteral("line 2000"));
    EXPECT_EQ(memo.lines.size(), 2000);
    link.TraceLine(QStringLiteral("first of a new pane"));
    EXPECT_EQ(memo.lines, QStringList{QStringLiteral("first of a new pane")});

    link.SetTraceMemo(nullptr);
    link.TraceLine(QStringLiteral("nowhere"), true);
}

TEST(Link, DeliveryEndingAtTheLastRingPositionWrapsTheWriteIndex) {
    SerialFixture f;
    f.poll.stop();
    const RxRing& ring = LinkTestAccess::ring(*f.link);
    f.pty.write(QByteArray(16000, '\x00'));
    ASSERT_TRUE(spinUntil([&] { return ring.unread() == 16000; }));
    f.link->PollReceive();
    EXPECT_EQ(ring.readIndex(), 16000);
    f.pty.write(QByteArray(384, '\x00'));
    ASSERT_TRUE(spinUntil([&] { return ring.unread() == 384; }));
    EXPECT_EQ(ring.writeIndex(), 0);
    EXPECT_EQ(f.link->RxDroppedBytes(), 0u);

    f.poll.start();
    f.board.setScript([](const QByteArray&) { return ackOf(hex("05 00 00 00 00 34 12")); });
    f.send(hex("05"));
    EXPECT_TRUE(f.link->WaitAck());
}

TEST(Link, SumErrorBoxAndReceiveTrace) {
    SerialFixture f;
    f.link->fRxTrace = true;
    f.poll.stop();
    f.pty.write(hex("02 00 30 01 00 03 37 0D"));
    ASSERT_TRUE(spinUntil([&] { return LinkTestAccess::ring(*f.link).unread() == 8; }));
    f.link->PollReceive();
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    const MessageBoxRequest want{QStringLiteral("SUM EEROR: 02 00 30 01 00 03 37 "), std::nullopt,
                                 MsgIcon::Question, MsgButtons::Yes, MsgOwner::MainWindow};
    EXPECT_TRUE(f.boxes.shown[0] == want);
    EXPECT_EQ(f.memo.lines,
              (QStringList{QStringLiteral("SUM EEROR"), QStringLiteral("SUM EEROR: 02 00 30 01 00 03 37 ")}));

    f.memo.lines.clear();
    f.pty.write(ackOf(hex("00")));
    ASSERT_TRUE(spinUntil([&] { return LinkTestAccess::ring(*f.link).unread() == 8; }));
    f.link->PollReceive();
    EXPECT_EQ(f.memo.lines, QStringList{QStringLiteral("RX:02 00 30 01 00 03 36 0D ")});
    f.link->fTrace = false;  // the receive trace shows only with fTrace
    f.memo.lines.clear();
    f.pty.write(ackOf(hex("00")));
    ASSERT_TRUE(spinUntil([&] { return LinkTestAccess::ring(*f.link).unread() == 8; }));
    f.link->PollReceive();
    EXPECT_TRUE(f.memo.lines.isEmpty());
}

TEST(Link, ClosedSerialPortIsNotPolled) {
    SerialFixture f;
    f.poll.stop();
    const RxRing& ring = LinkTestAccess::ring(*f.link);
    const QByteArray a = frameOf('E', "Mbefore"), b = frameOf('E', "Mheld"), c = frameOf('E', "Mtoo");
    f.pty.write(a + b.left(5));
    ASSERT_TRUE(spinUntil([&] { return ring.unread() == a.size() + 5; }));
    f.link->PollReceive();
    ASSERT_EQ(f.memo.lines, QStringList{QStringLiteral("before")});
    ASSERT_TRUE(LinkTestAccess::inFrame(*f.link));

    // Bytes in the ring when the port closes stay there, half frame included.
    f.pty.write(b.mid(5) + c);
    ASSERT_TRUE(spinUntil([&] { return ring.unread() == b.size() - 5 + c.size(); }));
    LinkTestAccess::transport(*f.link).close();
    ASSERT_FALSE(f.link->IsLinkOpen());
    for (int i = 0; i < 300; ++i) f.link->PollReceive();
    EXPECT_EQ(f.memo.lines, QStringList{QStringLiteral("before")});
    EXPECT_EQ(ring.unread(), b.size() - 5 + c.size());

    LinkTestAccess::transport(*f.link).open();
    f.link->PollReceive();
    EXPECT_EQ(f.memo.lines,
              (QStringList{QStringLiteral("before"), QStringLiteral("held"), QStringLiteral("too")}));
}

TEST(Link, SumErrorBoxShowsWithTracingOff) {
    const MessageBoxRequest want{QStringLiteral("SUM EEROR: 02 00 30 01 00 03 37 "), std::nullopt,
                                 MsgIcon::Question, MsgButtons::Yes, MsgOwner::MainWindow};
    struct Case {
        bool memo;
        bool rxTrace;
    } cases[] = {{true, false}, {true, true}, {false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "memo " << c.memo << " rxTrace " << c.rxTrace);
        RecordingMessageBoxes boxes;
        MemoryLogPane memo;
        PtyPair pty;
        auto link = serialLink(pty.path(), c.memo ? &memo : nullptr);
        link->fRxTrace = c.rxTrace;
        PollTimer poll(*link);
        pty.write(hex("02 00 30 01 00 03 37 0D"));
        ASSERT_TRUE(spinUntil([&] { return !boxes.shown.empty(); }));
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_TRUE(boxes.shown[0] == want) << boxes.shown[0].text.toStdString();
        EXPECT_TRUE(memo.lines.isEmpty());
        EXPECT_EQ(link->ReplyKind, Reply::None);
    }
}

TEST(Link, WaitAckJudgesTheFrameLastCopied) {
    struct Case {
        const char* what;
        QByteArray answer;
        bool result;
    } cases[] = {
        {"ACK", ackOf(hex("90 31")), true},
        {"G frame", frameOf('G', hex("90 31")), false},
        {"G frame with no data", frameOf('G', {}), false},
        {"ACK, then a G frame", ackOf(hex("90")) + frameOf('G', hex("01")), false},
        {"G frame, then an ACK", frameOf('G', hex("01")) + ackOf(hex("90")), true},
    };
    SerialFixture f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        f.memo.lines.clear();
        const QByteArray answer = c.answer;
        f.board.setScript([answer](const QByteArray&) { return answer; });
        QElapsedTimer t;
        t.start();
        f.send(hex("90"));
        EXPECT_EQ(f.link->WaitAck(), c.result);
        EXPECT_LT(t.elapsed(), 1500) << "the answer ends the wait";
        EXPECT_TRUE(f.memo.lines.isEmpty()) << f.memo.lines.join('\n').toStdString();
    }
    EXPECT_TRUE(f.boxes.shown.empty());
}

// Each wait ends at its own limit and not before, also when the tick counter
// wraps during the wait. Every reading of the fake clock moves it by one step,
// so a wait that ends on time is seen within three steps of its limit.
TEST(Link, WaitsEndAtTheirLimitAcrossTheTickWrap) {
    RecordingMessageBoxes boxes;
    MemoryLogPane memo;
    LinkSetup setup;
    setup.transportKind = kTransportNone;
    TTComXDlg link(setup, &memo);
    link.fTrace = true;
    PollTimer poll(link);
    struct Case {
        const char* what;
        quint32 limit;
        quint32 step;
        std::function<bool()> wait;
        bool timeOverLine;
    } cases[] = {
        {"WaitAck", 2000, 10, [&] { return link.WaitAck(); }, true},
        {"WaitReply 500", 500, 5, [&] { return link.WaitReply(Reply::Ack, 500); }, true},
        {"WaitReply 7000", 7000, 20, [&] { return link.WaitReply(Reply::Ack, 7000); }, true},
        {"WaitLinkState", 12000, 200, [&] { return link.WaitLinkState(true); }, false},
    };
    for (const Case& c : cases) {
        for (const quint32 start : {1000u, 0xFFFFFFFFu - c.limit / 2}) {
            SCOPED_TRACE(testing::Message() << c.what << ", clock at " << start);
            memo.lines.clear();
            FakeTickClock clock(start, c.step);
            link.SendFrame(frameOf(0x45, hex("90")));
            const quint32 before = clock.now();
            EXPECT_FALSE(c.wait());
            const quint32 took = clock.now() - before;
            EXPECT_GE(took, c.limit);
            EXPECT_LE(took, c.limit + 3 * c.step);
            EXPECT_EQ(memo.lines, c.timeOverLine ? QStringList{kTimeOver} : QStringList{});
        }
    }
    EXPECT_TRUE(boxes.shown.empty());
}
