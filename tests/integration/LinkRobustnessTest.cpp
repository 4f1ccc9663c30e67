// Bad input from the board side: the link must not crash, must not report
// stale or invented data as a reply, and must keep working afterwards.

#include <gtest/gtest.h>

#include <random>

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

struct NullLog final : LogSink {
    void WriteLog(const QString&, bool) override {}
};

struct Fixture {
    RecordingMessageBoxes boxes;
    MemoryLogPane memo;
    std::unique_ptr<PtyPair> pty = std::make_unique<PtyPair>();
    std::unique_ptr<PtyBoard> board = std::make_unique<PtyBoard>(*pty);
    std::unique_ptr<TTComXDlg> link = std::make_unique<TTComXDlg>(SerialSetup(pty->path()), &memo);
    PollTimer poll{*link};
    NullLog log;
    BoardCommands commands{*link, log};
    quint16 nextMode = 100;

    Fixture() {
        link->fTrace = true;
        link->fRxTrace = true;
    }

    // Lets everything sent so far arrive and be decoded, then lets the idle
    // rule drop a partial frame that noise may have started.
    void settle() {
        spinUntil([this] { return pty->pendingForLink() == 0; }, 10000);
        spinFor(20);
        poll.stop();
        for (int i = 0; i <= LinkReceiver::kIdlePolls; ++i) link->PollReceive();
        poll.start();
    }

    // A fresh mode value each time, so an old reply cannot pass for the answer.
    ::testing::AssertionResult works() {
        settle();
        const quint16 want = nextMode++;
        board->setScript([want](const QByteArray&) {
            QByteArray data = hex("00 00 00 01 00 00 00 00 00 00 00");
            data[1] = static_cast<char>(want & 0xFF);
            data[2] = static_cast<char>(want >> 8);
            return ackOf(data);
        });
        quint16 mode = 0;
        const bool ok = commands.GetIFBMode(2000, mode);
        board->setScript({});
        if (!ok) return ::testing::AssertionFailure() << "GetIFBMode failed";
        if (mode != want) return ::testing::AssertionFailure() << "mode " << mode << " instead of " << want;
        return ::testing::AssertionSuccess();
    }
};

}  // namespace

TEST(LinkRobustness, RandomBytes) {
    Fixture f;
    std::mt19937 rng(7);
    for (int round = 0; round < 12; ++round) {
        QByteArray noise(8000, '\0');
        for (auto& c : noise) c = static_cast<char>(rng() % 5 == 0 ? 0x02 : rng() & 0xFF);
        f.pty->write(noise);
        ASSERT_TRUE(f.works()) << "round " << round;
        f.memo.lines.clear();
    }
}

TEST(LinkRobustness, EveryCommandByteAndShortFrames) {
    Fixture f;
    std::mt19937 rng(11);
    for (int cmd = 0; cmd < 256; ++cmd) {
        for (int len : {0, 1, 2, 9, static_cast<int>(rng() % 256)}) {
            QByteArray data(len, '\0');
            for (auto& c : data) c = static_cast<char>(rng() & 0xFF);
            if (len > 0 && rng() % 2) data[0] = static_cast<char>(rng() % 12);  // small sub-kinds ('b', 'l')
            f.pty->write(frameOf(static_cast<quint8>(cmd), data));
        }
        if (cmd % 32 == 31) {
            ASSERT_TRUE(f.works()) << "after command byte " << cmd;
            f.memo.lines.clear();
        }
    }
}

TEST(LinkRobustness, TooShortNotices) {
    Fixture f;
    const QByteArray shorts[] = {frameOf('I', {}),           frameOf('I', hex("01 02")),
                                 frameOf('b', hex("03")),    frameOf('b', hex("03 59")),
                                 frameOf('b', {}),           frameOf('l', hex("08")),
                                 frameOf('l', hex("08 FF")), frameOf('l', hex("09")),
                                 frameOf('l', {}),           frameOf('E', hex("4D")),
                                 frameOf('E', {}),           frameOf('D', {}),
                                 frameOf('D', hex("4F")),    frameOf('1', {}),
                                 frameOf('G', {}),           frameOf('0', {})};
    for (const QByteArray& s : shorts) f.pty->write(s);
    f.settle();
    // 'I' with LEN 0: bytes 5 and 6 are SUM and CR, bytes 7..12 lie past the frame.
    const QString sum =
        QStringLiteral("%1").arg(static_cast<quint8>(shorts[0][5]), 2, 16, QLatin1Char('0')).toUpper();
    EXPECT_TRUE(f.memo.lines.contains(QStringLiteral("UID2: 0000000000000D") + sum))
        << f.memo.lines.join('\n').toStdString();
    EXPECT_TRUE(f.memo.lines.contains(QStringLiteral("UII  : ")));
    EXPECT_TRUE(f.memo.lines.contains(QStringLiteral("DEBG: ")));
    EXPECT_TRUE(f.memo.lines.contains(QString()));  // 'E' 'M' with LEN 1
    EXPECT_FALSE(f.link->OtaResultReceived);
    EXPECT_TRUE(f.works());
}

TEST(LinkRobustness, NackWithEveryReason) {
    Fixture f;
    for (int reason = 0; reason < 256; ++reason) {
        QByteArray data(1, static_cast<char>(reason));
        if (reason % 2) data.append(static_cast<char>(reason * 7));
        f.board->setScript([data](const QByteArray&) { return nackOf(data); });
        f.link->SendFrame(frameOf(0x45, hex("90")));
        ASSERT_FALSE(f.link->WaitAck()) << reason;
    }
    EXPECT_EQ(f.boxes.shown.size(), 1u) << "only reason 0 shows its box";
    EXPECT_EQ(f.memo.lines.count(QStringLiteral("NACK 受信")), 256);
    // Every ISO and EPC detail in one stream.
    for (int detail = 0; detail < 256; ++detail) {
        QByteArray iso(1, '\x05'), epc(1, '\x0A');
        iso.append(static_cast<char>(detail));
        epc.append(static_cast<char>(detail));
        f.pty->write(nackOf(iso) + nackOf(epc));
    }
    f.memo.lines.clear();
    f.settle();
    EXPECT_EQ(f.memo.lines.filter(QStringLiteral("Custom command error codes")).size(), 256 - 10);
    EXPECT_EQ(f.memo.lines.filter(QStringLiteral("??? error")).size(), 256 - 5);
    EXPECT_TRUE(f.works());
}

TEST(LinkRobustness, FloodFasterThanThePollLosesNothing) {
    Fixture f;
    f.poll.stop();
    f.link->fRxTrace = false;
    // Notes numbered in order, and an answer at the end: well over two rings' worth.
    QByteArray flood;
    int count = 0;
    while (flood.size() < 40000)
        flood += frameOf('E', "M" + QByteArray::number(count++).rightJustified(5, '0'));
    const QByteArray last = ackOf(hex("90 31 2E 30"));
    flood += last;
    f.pty->write(flood);
    const RxRing& ring = LinkTestAccess::ring(*f.link);
    // The ring is full and the port holds the rest for later polls.
    ASSERT_TRUE(spinUntil([&] {
        return f.pty->pendingForLink() == 0 &&
               ring.unread() + LinkTestAccess::transport(*f.link).bytesAvailable() == flood.size();
    })) << ring.unread()
        << " in the ring, " << f.link->RxDroppedBytes() << " dropped";
    EXPECT_EQ(ring.unread(), RxRing::kSize - 1);
    EXPECT_EQ(f.link->RxDroppedBytes(), 0u);

    QStringList decoded;
    int polls = 0;
    while (polls < 10 && (ring.unread() > 0 || LinkTestAccess::transport(*f.link).bytesAvailable() > 0)) {
        f.link->PollReceive();
        ++polls;
        decoded += f.memo.lines;
        f.memo.lines.clear();
    }
    EXPECT_LE(polls, 3) << "every poll takes up to a ring's worth";
    ASSERT_EQ(decoded.size(), count);
    for (int i = 0; i < count; ++i) ASSERT_EQ(decoded[i], QString::number(i).rightJustified(5, '0'));
    EXPECT_EQ(f.link->ReplyKind, Reply::Ack);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(f.link->ReplyBuffer.data()), last.size()), last);
    EXPECT_EQ(f.link->RxDroppedBytes(), 0u);
    EXPECT_TRUE(f.boxes.shown.empty());
    f.poll.start();
    EXPECT_TRUE(f.works());
}

TEST(LinkRobustness, BoardVanishingMidFrame) {
    Fixture f;
    f.pty->write(ackOf(hex("90 31 32 33 34")).left(6));
    spinFor(30);
    f.board->stop();
    f.pty->closeSlave();
    f.pty->closeMaster();
    ASSERT_TRUE(spinUntil([&] { return f.memo.lines.filter(QStringLiteral("device lost")).size() > 0; }));
    spinFor(50);
    EXPECT_EQ(f.memo.lines.filter(QStringLiteral("device lost")).size(), 1);
    {
        FakeTickClock clock(0, 100);
        QString rom;
        EXPECT_FALSE(f.commands.GetRomVersion(rom));
    }
    // The board is back on another port: reopening starts from a clean receive state.
    f.board.reset();
    f.pty = std::make_unique<PtyPair>();
    f.board = std::make_unique<PtyBoard>(*f.pty);
    f.link->ReopenOnPort(f.pty->path());
    ASSERT_TRUE(f.link->IsLinkOpen());
    EXPECT_FALSE(LinkTestAccess::inFrame(*f.link));
    EXPECT_TRUE(f.works());
    EXPECT_TRUE(f.boxes.shown.empty());
}
