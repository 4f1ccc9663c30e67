// The link's contract, the same over every transport: a frame reaches the
// board as sent, the reply is decoded (at once on BytesArrived, without the
// poll tick), the waits end on the answer or at their limit, OpenLink starts
// over with a fresh receive state, and a board that leaves does not upset the
// link, which works again once the board is back.
#include <gtest/gtest.h>

#include <QTcpServer>

#include "DeveloperTraces.h"
#include "FakeTickClock.h"
#include "LinkSetups.h"
#include "LinkTestPeers.h"
#include "MemoryLogPane.h"
#include "MemoryTransport.h"
#include "QtPrinters.h"
#include "RecordingMessageBoxes.h"
#include "TTComXDlg.h"

using namespace ifb;
using namespace ifb::test;

namespace {

using Script = PtyBoard::Script;

const QString kTimeOver = QStringLiteral("レスポンス待ち　タイムオーバー");

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The board's side of one transport, and a link made to reach it.
class BoardSide {
  public:
    virtual ~BoardSide() = default;
    virtual std::unique_ptr<TTComXDlg> makeLink(LogPane* memo) = 0;
    // The link and the board are connected.
    virtual bool ready(const TTComXDlg& link) const = 0;
    virtual void setScript(Script script) = 0;
    virtual std::vector<QByteArray> requests() const = 0;
    // Bytes the board sends unasked.
    virtual void send(const QByteArray& bytes) = 0;
    // The board goes away (unplugged, connection closed, gone from the network).
    virtual void leave() = 0;
    // The link has seen the board leave.
    virtual bool gone(const TTComXDlg& link, const MemoryLogPane&) const { return !link.IsLinkOpen(); }
    // The board is back; a serial link is reopened on the new port, the
    // others find the board by themselves.
    virtual void comeBack(TTComXDlg& link) = 0;
};

// A pty per plug-in; the test keeps the slave open so that reopening works.
class SerialSide final : public BoardSide {
  public:
    std::unique_ptr<TTComXDlg> makeLink(LogPane* memo) override {
        return std::make_unique<TTComXDlg>(SerialSetup(pty_->path()), memo);
    }
    bool ready(const TTComXDlg& link) const override { return link.IsLinkOpen(); }
    void setScript(Script script) override {
        script_ = script;
        board_->setScript(std::move(script));
    }
    std::vector<QByteArray> requests() const override {
        std::vector<QByteArray> all = earlier_;
        all.insert(all.end(), board_->requests.begin(), board_->requests.end());
        return all;
    }
    void send(const QByteArray& bytes) override { pty_->write(bytes); }
    void leave() override {
        board_->stop();
        pty_->closeSlave();
        pty_->closeMaster();
    }
    // An unplugged port counts as open until the link closes it.
    bool gone(const TTComXDlg&, const MemoryLogPane& memo) const override {
        return !memo.lines.filter(QStringLiteral("device lost")).isEmpty();
    }
    void comeBack(TTComXDlg& link) override {
        earlier_.insert(earlier_.end(), board_->requests.begin(), board_->requests.end());
        board_.reset();
        pty_ = std::make_unique<PtyPair>();
        board_ = std::make_unique<PtyBoard>(*pty_, script_);
        link.ReopenOnPort(pty_->path());
    }

  private:
    std::unique_ptr<PtyPair> pty_ = std::make_unique<PtyPair>();
    std::unique_ptr<PtyBoard> board_ = std::make_unique<PtyBoard>(*pty_);
    Script script_;
    std::vector<QByteArray> earlier_;
};

// A board on a TCP socket, whichever side listens.
class TcpSide : public BoardSide {
  public:
    bool ready(const TTComXDlg& link) const override {
        return link.IsLinkOpen() && board_.last() &&
               board_.last()->state() == QAbstractSocket::ConnectedState;
    }
    void setScript(Script script) override { board_.setScript(std::move(script)); }
    std::vector<QByteArray> requests() const override { return board_.requests; }
    void send(const QByteArray& bytes) override {
        board_.last()->write(bytes);
        board_.last()->flush();
    }

  protected:
    TcpBoard board_;
};

// The board listens, the link connects.
class TcpClientSide final : public TcpSide {
  public:
    std::unique_ptr<TTComXDlg> makeLink(LogPane* memo) override {
        return std::make_unique<TTComXDlg>(TcpClientSetup(port_), memo);
    }
    void leave() override {
        board_.stopListening();
        board_.last()->disconnectFromHost();
    }
    void comeBack(TTComXDlg&) override { board_.listen(port_); }

  private:
    quint16 port_ = board_.listen();
};

// The link listens, the board connects and keeps connecting while it is there.
class TcpServerSide final : public TcpSide {
  public:
    std::unique_ptr<TTComXDlg> makeLink(LogPane* memo) override {
        auto link = std::make_unique<TTComXDlg>(TcpServerSetup(port_), memo);
        connectNow();
        return link;
    }
    void leave() override {
        present_ = false;
        board_.last()->disconnectFromHost();
    }
    void comeBack(TTComXDlg&) override {
        present_ = true;
        connectNow();
    }

  private:
    void connectNow() {
        QTcpSocket* s = board_.connectTo(port_);
        auto again = [this, s] {
            if (!present_ || s != board_.last() || retrying_) return;
            retrying_ = true;
            QTimer::singleShot(20, &board_, [this] {
                retrying_ = false;
                if (present_) connectNow();
            });
        };
        QObject::connect(s, &QTcpSocket::disconnected, &board_, again);
        QObject::connect(s, &QTcpSocket::errorOccurred, &board_, again);
    }

    quint16 port_ = freePort();
    bool present_ = true;
    bool retrying_ = false;
};

class MemorySide final : public BoardSide {
  public:
    std::unique_ptr<TTComXDlg> makeLink(LogPane* memo) override {
        ScopedTransportFactory memory(line_.factory());
        return std::make_unique<TTComXDlg>(TcpClientSetup(0, QString()), memo);
    }
    bool ready(const TTComXDlg& link) const override { return link.IsLinkOpen(); }
    void setScript(Script script) override { line_.setScript(std::move(script)); }
    std::vector<QByteArray> requests() const override { return line_.requests; }
    void send(const QByteArray& bytes) override { line_.send(bytes); }
    void leave() override { line_.hangUp(); }
    void comeBack(TTComXDlg&) override { line_.comeBack(); }

  private:
    MemoryLine line_;
};

struct TransportCase {
    const char* name;
    std::function<std::unique_ptr<BoardSide>()> make;
    // The link reports the board's leaving as a closed link (a serial port
    // stays open until the link closes it).
    bool closesWhenTheBoardLeaves;
};

void PrintTo(const TransportCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkContract : public ::testing::TestWithParam<TransportCase> {
  protected:
    void SetUp() override {
        side = GetParam().make();
        link = side->makeLink(&memo);
        link->fTrace = true;
        ASSERT_TRUE(spinUntil([&] { return side->ready(*link); }));
    }

    // One request answered with an ACK that carries tag.
    ::testing::AssertionResult roundTrip(char tag) {
        side->setScript([tag](const QByteArray&) { return ackOf(QByteArray("\x90") + tag); });
        const size_t before = side->requests().size();
        link->SendFrame(frameOf(0x45, hex("90")));
        if (!link->WaitAck()) return ::testing::AssertionFailure() << "no ACK";
        if (link->ReplyBuffer[5] != tag) return ::testing::AssertionFailure() << "an older reply";
        if (side->requests().size() != before + 1) return ::testing::AssertionFailure() << "not one request";
        return ::testing::AssertionSuccess();
    }

    RecordingMessageBoxes boxes;
    MemoryLogPane memo;
    std::unique_ptr<BoardSide> side;
    std::unique_ptr<TTComXDlg> link;
};

}  // namespace

TEST_P(LinkContract, FramesGoOutAsSentAndRepliesAreDecodedOnArrival) {
    // No poll timer: only the arrival signal drives the decoder.
    int arrivals = 0;
    QObject::connect(link.get(), &TTComXDlg::BytesArrived, link.get(), [&] {
        ++arrivals;
        link->PollReceive();
    });
    const QByteArray answer = ackOf(hex("90 31 30 32 32"));
    side->setScript([answer](const QByteArray&) { return answer; });
    const QByteArray request = frameOf(0x45, hex("90"));
    link->SendFrame(request);
    EXPECT_TRUE(link->WaitAck());
    ASSERT_EQ(side->requests().size(), 1u);
    EXPECT_EQ(side->requests()[0], request);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(link->ReplyBuffer.data()), answer.size()), answer);
    EXPECT_GE(arrivals, 1);

    // The reply in two deliveries, and a notice the board sends unasked.
    side->setScript([](const QByteArray&) { return QByteArray(); });
    const QByteArray reply = ackOf(hex("05 00 00 00 00 34 12"));
    link->SendFrame(frameOf(0x45, hex("05")));
    side->send(reply.left(4));
    spinFor(20);
    side->send(reply.mid(4));
    EXPECT_TRUE(link->WaitReply(Reply::Ack, 2000));
    EXPECT_EQ(link->ReplyBuffer[4], 0x05);
    memo.lines.clear();
    side->send(frameOf('E', "Mfrom the board"));
    EXPECT_TRUE(spinUntil([&] { return memo.lines.contains(QStringLiteral("from the board")); }));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_P(LinkContract, WaitsEndAtTheirLimitWhenTheBoardIsSilent) {
    PollTimer poll(*link);
    FakeTickClock clock(1000, 20);
    link->SendFrame(frameOf(0x45, hex("90")));
    quint32 before = clock.now();
    EXPECT_FALSE(link->WaitAck());
    EXPECT_GE(clock.now() - before, TTComXDlg::kAckTimeoutMs);
    EXPECT_EQ(memo.lines.last(), kTimeOver);
    link->SendFrame(frameOf(0x45, hex("90")));
    before = clock.now();
    EXPECT_FALSE(link->WaitReply(Reply::Ack, 5000));
    EXPECT_GE(clock.now() - before, 5000u);
    EXPECT_EQ(memo.lines.count(kTimeOver), 2);
    EXPECT_EQ(side->requests().size(), 2u) << "the frames went out";
}

TEST_P(LinkContract, OpenLinkStartsOverWithAFreshReceiveState) {
    PollTimer poll(*link);
    ASSERT_TRUE(roundTrip('1'));
    side->send(ackOf(hex("90 39 39")).left(5));  // half a reply is in when the link reopens
    spinFor(30);
    link->OpenLink();
    EXPECT_TRUE(link->IsLinkOpen()) << "OpenLink waits until the link is open again";
    ASSERT_TRUE(spinUntil([&] { return side->ready(*link); }));
    EXPECT_TRUE(roundTrip('2')) << "the half reply does not prefix the next one";
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_P(LinkContract, BoardLeavingAndComingBack) {
    PollTimer poll(*link);
    ASSERT_TRUE(roundTrip('1'));
    side->leave();
    ASSERT_TRUE(spinUntil([&] { return side->gone(*link, memo); }));
    spinFor(50);
    EXPECT_EQ(link->IsLinkOpen(), !GetParam().closesWhenTheBoardLeaves);
    {
        FakeTickClock clock(0, 50);
        link->SendFrame(frameOf(0x45, hex("90")));
        EXPECT_FALSE(link->WaitAck());
        EXPECT_EQ(memo.lines.last(), kTimeOver);
    }

    side->comeBack(*link);
    ASSERT_TRUE(spinUntil([&] { return side->ready(*link); }, 5000));
    EXPECT_TRUE(roundTrip('2'));
    EXPECT_TRUE(boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Transports, LinkContract,
    ::testing::Values(TransportCase{"Serial", [] { return std::make_unique<SerialSide>(); }, false},
                      TransportCase{"TcpClient", [] { return std::make_unique<TcpClientSide>(); }, true},
                      TransportCase{"TcpServer", [] { return std::make_unique<TcpServerSide>(); }, true},
                      TransportCase{"Memory", [] { return std::make_unique<MemorySide>(); }, true}),
    [](const ::testing::TestParamInfo<TransportCase>& testInfo) { return std::string(testInfo.param.name); });

// The factory gets the kind and what the link was created with, so a
// replacement builds the same transport the product would.
TEST(LinkTransportFactory, GetsTheKindAndTheCreationValues) {
    std::vector<TransportSetup> made;
    MemoryLine line;
    ScopedTransportFactory capture([&](const TransportSetup& setup) -> std::unique_ptr<Transport> {
        made.push_back(setup);
        return line.factory()(setup);
    });
    SerialLine read;
    read.dataBits = DataBits::dbSeven;
    LinkSetup serialSetup = SerialSetup(QStringLiteral("ttyUSB3"), 2, 1);
    serialSetup.line = read;
    TTComXDlg serial(serialSetup, nullptr);
    LinkSetup tcpSetup = TcpServerSetup(4001);
    tcpSetup.tcpClientPort = 4002;
    tcpSetup.tcpClientAddr = QStringLiteral("10.0.0.2");
    tcpSetup.comPort = QStringLiteral("ttyUSB3");
    tcpSetup.line = read;
    TTComXDlg tcp(tcpSetup, nullptr);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0].kind, kTransportSerial);
    EXPECT_EQ(made[0].line.port, QStringLiteral("ttyUSB3"));
    EXPECT_EQ(made[0].line.baudRate, BaudRate::br38400);
    EXPECT_EQ(made[0].line.parity, Parity::prOdd);
    EXPECT_EQ(made[0].line.dataBits, DataBits::dbSeven);
    EXPECT_EQ(made[1].kind, kTransportTcp);
    EXPECT_EQ(made[1].line.port, QStringLiteral("COM1")) << "only the serial kind takes the line";
    EXPECT_EQ(made[1].settings.tcpListenPort, 4001);
    EXPECT_EQ(made[1].settings.tcpServerMode, 1);
    EXPECT_EQ(made[1].settings.tcpClientPort, 4002);
    EXPECT_EQ(made[1].settings.tcpClientAddr, QStringLiteral("10.0.0.2"));
    EXPECT_EQ(serial.serialLine().port, QStringLiteral("ttyUSB3"));
}

// The developer traces of the wire and the link: off by default; switched on,
// every frame sent and every read of received bytes in hex, and a wait that
// timed out.
TEST(LinkDeveloperTraces, WireAndLinkEventsOnlyWhenSwitchedOn) {
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on ? "switched on" : "default");
        DeveloperTraces traces(on ? QStringLiteral("ifb.wire=true\nifb.link=true") : QString());
        MemoryLine line;
        ScopedTransportFactory memory(line.factory());
        TTComXDlg link(TcpClientSetup(0, QString()), nullptr);
        QObject::connect(&link, &TTComXDlg::BytesArrived, &link, [&] { link.PollReceive(); });
        ASSERT_TRUE(spinUntil([&] { return link.IsLinkOpen(); }));
        line.setScript([](const QByteArray&) { return ackOf(hex("90 31")); });
        link.SendFrame(frameOf(0x45, hex("90")));
        EXPECT_TRUE(link.WaitAck());
        line.setScript([](const QByteArray&) { return QByteArray(); });
        FakeTickClock clock(0, 500);
        link.SendFrame(frameOf(0x45, hex("05")));
        EXPECT_FALSE(link.WaitAck());
        if (!on) {
            EXPECT_EQ(DeveloperTraces::lines(), QStringList());
            continue;
        }
        EXPECT_EQ(DeveloperTraces::lines(),
                  (QStringList{QStringLiteral("ifb.wire: TX ") + HexForm(frameOf(0x45, hex("90"))).trimmed(),
                               QStringLiteral("ifb.wire: RX ") + HexForm(ackOf(hex("90 31"))).trimmed(),
                               QStringLiteral("ifb.wire: TX ") + HexForm(frameOf(0x45, hex("05"))).trimmed(),
                               QStringLiteral("ifb.link: no reply within 2000 ms")}));
    }
}
