#include <gtest/gtest.h>

#include <QTcpServer>

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

std::unique_ptr<TTComXDlg> tcpClient(quint16 port, LogPane* memo) {
    auto link = std::make_unique<TTComXDlg>(TcpClientSetup(port), memo);
    link->fTrace = true;
    return link;
}

std::unique_ptr<TTComXDlg> tcpServer(quint16 port, LogPane* memo) {
    auto link = std::make_unique<TTComXDlg>(TcpServerSetup(port), memo);
    link->fTrace = true;
    return link;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QByteArray answerMode(const QByteArray&) {
    return ackOf(hex("00 05 00 01 00 00 00 C0 A8 04 01"));
}

}  // namespace

TEST(LinkTcp, ClientConnectsLaterAndCarriesFrames) {
    RecordingMessageBoxes boxes;
    MemoryLogPane memo;
    TcpBoard board(answerMode);
    const quint16 port = board.listen();
    auto link = tcpClient(port, &memo);
    EXPECT_FALSE(link->IsLinkOpen()) << "creation does not wait for the connection";
    link->SendFrame(frameOf(0x45, hex("00")));  // not connected yet: nothing is sent
    ASSERT_TRUE(spinUntil([&] { return link->IsLinkOpen(); }));
    EXPECT_EQ(memo.lines, QStringList{QStringLiteral("ClientSocket1Connect00")});

    PollTimer poll(*link);
    link->SendFrame(frameOf(0x45, hex("00")));
    EXPECT_TRUE(link->WaitAck());
    ASSERT_EQ(board.requests.size(), 1u);
    EXPECT_EQ(board.requests[0], hex("02 00 45 01 00 03 4B 0D"));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(LinkTcp, PeerLeavingMidFrameIsForgottenAndTheClientReconnects) {
    RecordingMessageBoxes boxes;
    MemoryLogPane memo;
    TcpBoard board;
    const quint16 port = board.listen();
    auto link = tcpClient(port, &memo);
    ASSERT_TRUE(spinUntil([&] { return link->IsLinkOpen() && board.last(); }));
    PollTimer poll(*link);

    board.last()->write(ackOf(hex("90 31 32 33")).left(6));  // half a reply, then the peer goes
    board.last()->flush();
    spinFor(30);
    board.last()->disconnectFromHost();
    ASSERT_TRUE(spinUntil([&] { return !link->IsLinkOpen(); }));
    EXPECT_TRUE(memo.lines.contains(QStringLiteral("ClientSocket1Disconnect00")));
    EXPECT_TRUE(memo.lines.contains(QStringLiteral("ClientSocket1Error")));

    // The client comes back by itself; the half frame does not prefix the next reply.
    board.setScript([](const QByteArray&) { return ackOf(hex("90 39")); });
    ASSERT_TRUE(spinUntil([&] { return link->IsLinkOpen(); }));
    EXPECT_EQ(board.accepted(), 2);
    link->SendFrame(frameOf(0x45, hex("90")));
    EXPECT_TRUE(link->WaitAck());
    EXPECT_EQ(link->ReplyBuffer[5], '9');
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(LinkTcp, RefusedConnectionRetriesWithoutSpinning) {
    MemoryLogPane memo;
    const quint16 port = freePort();  // nobody listens there
    auto link = tcpClient(port, &memo);
    spinFor(600);
    const int errors = static_cast<int>(memo.lines.count(QStringLiteral("ClientSocket1Error")));
    EXPECT_GE(errors, 1);
    EXPECT_LE(errors, 4) << "retries are paced";
    // The board appears on that port: the link connects.
    QTcpServer late;
    ASSERT_TRUE(late.listen(QHostAddress::LocalHost, port));
    ASSERT_TRUE(spinUntil([&] { return link->IsLinkOpen(); }));
}

TEST(LinkTcp, OpenLinkReconnectsAndWaitsForTheConnection) {
    MemoryLogPane memo;
    TcpBoard board(answerMode);
    const quint16 port = board.listen();
    auto link = tcpClient(port, &memo);
    ASSERT_TRUE(spinUntil([&] { return link->IsLinkOpen(); }));
    link->OpenLink();
    EXPECT_TRUE(link->IsLinkOpen()) << "OpenLink waits until the socket is connected again";
    EXPECT_EQ(board.accepted(), 2);
    PollTimer poll(*link);
    link->SendFrame(frameOf(0x45, hex("00")));
    EXPECT_TRUE(link->WaitAck());
}

TEST(LinkTcp, ServerModeServesTheLatestPeerAndSurvivesTheFirstLeaving) {
    RecordingMessageBoxes boxes;
    MemoryLogPane memo;
    const quint16 port = freePort();
    auto link = tcpServer(port, &memo);
    EXPECT_FALSE(link->IsLinkOpen());
    {
        FakeTickClock clock(0, 1000);
        link->OpenLink();  // listens again; nobody connects within the 12 s of the wait
    }
    EXPECT_EQ(memo.lines, QStringList{QStringLiteral("ServerSocket1Listen")});
    EXPECT_FALSE(link->IsLinkOpen());
    PollTimer poll(*link);

    TcpBoard first(answerMode);
    first.connectTo(port);
    ASSERT_TRUE(spinUntil([&] { return link->IsLinkOpen(); }));
    EXPECT_TRUE(memo.lines.contains(QStringLiteral("ServerSocket1ClientConnect")));
    EXPECT_TRUE(memo.lines.contains(QStringLiteral("ActiveConnections: 1")));
    link->SendFrame(frameOf(0x45, hex("00")));
    EXPECT_TRUE(link->WaitAck());
    EXPECT_EQ(first.requests.size(), 1u);
    EXPECT_TRUE(memo.lines.contains(QStringLiteral("ServerSocket1ClientRead")));

    // The same board connects a second time; requests go to the newest connection.
    TcpBoard second(answerMode);
    second.connectTo(port);
    ASSERT_TRUE(spinUntil([&] { return memo.lines.contains(QStringLiteral("ActiveConnections: 2")); }));
    link->SendFrame(frameOf(0x45, hex("00")));
    EXPECT_TRUE(link->WaitAck());
    EXPECT_EQ(first.requests.size(), 1u);
    EXPECT_EQ(second.requests.size(), 1u);

    // The old connection goes away: the newer one keeps the link open.
    first.last()->disconnectFromHost();
    ASSERT_TRUE(
        spinUntil([&] { return memo.lines.contains(QStringLiteral("ServerSocket1ClientDisconnect")); }));
    EXPECT_TRUE(link->IsLinkOpen());
    link->SendFrame(frameOf(0x45, hex("00")));
    EXPECT_TRUE(link->WaitAck());
    EXPECT_EQ(second.requests.size(), 2u);

    second.last()->disconnectFromHost();
    ASSERT_TRUE(spinUntil([&] { return !link->IsLinkOpen(); }));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(LinkTcp, ServerReadsEverythingAPeerSends) {
    MemoryLogPane memo;
    const quint16 port = freePort();
    auto link = tcpServer(port, &memo);
    link->fTrace = false;
    TcpBoard peer;
    QTcpSocket* s = peer.connectTo(port);
    ASSERT_TRUE(spinUntil([&] { return link->IsLinkOpen(); }));
    // 3000 bytes in one go: more than one 256-byte read, all of it must land.
    QByteArray notes;
    int count = 0;
    while (notes.size() < 3000) notes += frameOf('E', "M" + QByteArray::number(count++));
    link->fTrace = true;
    s->write(notes);
    s->flush();
    ASSERT_TRUE(spinUntil([&] { return LinkTestAccess::ring(*link).unread() == notes.size(); }));
    memo.lines.clear();
    link->PollReceive();
    EXPECT_EQ(memo.lines.size(), count);
    EXPECT_EQ(memo.lines.last(), QString::number(count - 1));
}

TEST(LinkTcp, FloodFasterThanThePollLosesNothing) {
    QByteArray flood;
    int count = 0;
    while (flood.size() < 40000)
        flood += frameOf('E', "M" + QByteArray::number(count++).rightJustified(5, '0'));
    for (const bool serverMode : {false, true}) {
        SCOPED_TRACE(serverMode ? "server" : "client");
        MemoryLogPane memo;
        TcpBoard board;
        std::unique_ptr<TTComXDlg> link;
        QTcpSocket* peer = nullptr;
        if (serverMode) {
            const quint16 port = freePort();
            link = tcpServer(port, &memo);
            peer = board.connectTo(port);
            ASSERT_TRUE(spinUntil([&] { return link->IsLinkOpen(); }));
        } else {
            link = tcpClient(board.listen(), &memo);
            ASSERT_TRUE(spinUntil([&] { return link->IsLinkOpen() && board.last(); }));
            peer = board.last();
        }
        link->fTrace = false;
        peer->write(flood);
        peer->flush();
        const RxRing& ring = LinkTestAccess::ring(*link);
        ASSERT_TRUE(spinUntil([&] { return peer->bytesToWrite() == 0 && ring.space() == 0; }));
        spinFor(50);  // the rest reaches the link's socket, no poll yet
        link->fTrace = true;
        memo.lines.clear();
        QStringList decoded;
        ASSERT_TRUE(spinUntil([&] {
            link->PollReceive();
            decoded += memo.lines;
            memo.lines.clear();
            return decoded.size() >= count;
        })) << decoded.size()
            << " of " << count << ", " << link->RxDroppedBytes() << " bytes dropped";
        decoded.removeAll(QStringLiteral("ServerSocket1ClientRead"));
        ASSERT_EQ(decoded.size(), count);
        for (int i = 0; i < count; ++i) ASSERT_EQ(decoded[i], QString::number(i).rightJustified(5, '0'));
        EXPECT_EQ(link->RxDroppedBytes(), 0u);
    }
}

TEST(LinkTcp, ServerPeerLeavingWithBytesHeldKeepsWhatFitsAndCountsTheRest) {
    QByteArray flood;
    int count = 0;
    while (flood.size() < 40000)
        flood += frameOf('E', "M" + QByteArray::number(count++).rightJustified(5, '0'));
    const int noteSize = static_cast<int>(frameOf('E', "M00000").size());
    MemoryLogPane memo;
    const quint16 port = freePort();
    auto link = tcpServer(port, &memo);
    TcpBoard board;
    QTcpSocket* peer = board.connectTo(port);
    ASSERT_TRUE(spinUntil([&] { return link->IsLinkOpen(); }));
    link->fTrace = false;
    peer->write(flood);
    peer->flush();
    const RxRing& ring = LinkTestAccess::ring(*link);
    ASSERT_TRUE(spinUntil([&] { return peer->bytesToWrite() == 0 && ring.space() == 0; }));
    spinFor(50);
    link->fTrace = true;
    memo.lines.clear();
    link->PollReceive();  // the first ring's worth; the connection still holds the rest
    QStringList notes = memo.lines;
    memo.lines.clear();
    // The peer leaves: another ring's worth goes in, the rest is lost and counted.
    peer->disconnectFromHost();
    ASSERT_TRUE(spinUntil([&] { return !link->IsLinkOpen(); }));
    const int kept = 2 * (RxRing::kSize - 1);
    EXPECT_EQ(link->RxDroppedBytes(), static_cast<quint64>(flood.size() - kept));
    EXPECT_EQ(memo.lines.filter(QStringLiteral("RX overrun: ")).size(), 1);
    memo.lines.clear();
    link->PollReceive();
    notes += memo.lines;
    ASSERT_EQ(notes.size(), kept / noteSize);
    for (int i = 0; i < notes.size(); ++i) ASSERT_EQ(notes[i], QString::number(i).rightJustified(5, '0'));
}
