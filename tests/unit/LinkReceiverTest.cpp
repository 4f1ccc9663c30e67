#include <gtest/gtest.h>

#include <cstring>

#include "LinkReceiver.h"
#include "LinkTestFrames.h"
#include "QtPrinters.h"

using namespace ifb;
using namespace ifb::test;

namespace {

QByteArray pattern(int n, int seed) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i) b[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return b;
}

struct Fixture {
    ReplyState state;
    RecordingEvents events;
    LinkReceiver rx{state, events};

    int deliver(const QByteArray& b) { return rx.Deliver(u8(b), static_cast<int>(b.size())); }
};

QByteArray noteOf(const char* text) {
    return frameOf('E', QByteArray("M") + text);
}

}  // namespace

TEST(RxRing, DeliveryEndingAtTheLastPositionLeavesWriteIndexZero) {
    RxRing ring;
    const QByteArray first = pattern(16000, 1);
    ASSERT_EQ(ring.put(u8(first), 16000), 16000);
    for (int i = 0; i < 16000; ++i) ring.take();
    const QByteArray second = pattern(384, 2);
    EXPECT_EQ(ring.put(u8(second), 384), 384);
    EXPECT_EQ(ring.writeIndex(), 0);
    EXPECT_EQ(ring.unread(), 384);
    QByteArray back;
    while (ring.unread() > 0) back.append(static_cast<char>(ring.take()));
    EXPECT_EQ(back, second);
    EXPECT_EQ(ring.readIndex(), 0);
}

TEST(RxRing, WrapsAndNeverOverwritesUnreadBytes) {
    RxRing ring;
    const QByteArray a = pattern(10000, 3);
    ring.put(u8(a), 10000);
    for (int i = 0; i < 9000; ++i) ring.take();
    const QByteArray b = pattern(20000, 4);
    EXPECT_EQ(ring.put(u8(b), 20000), 16383 - 1000);  // only the free room is filled
    EXPECT_EQ(ring.space(), 0);
    EXPECT_EQ(ring.put(u8(b), 1), 0);
    QByteArray back;
    while (ring.unread() > 0) back.append(static_cast<char>(ring.take()));
    EXPECT_EQ(back, a.mid(9000) + b.left(16383 - 1000));
}

TEST(LinkReceiver, RepliesSplitOverDeliveriesAndSeveralInOneDelivery) {
    const QByteArray ack = ackOf(hex("90 31 2E 32"));
    const QByteArray stream = noteOf("one") + nackOf(hex("41")) + hex("FF 00 0D") + noteOf("two") +
                              frameOf('E', QByteArray("M\x02\x03\x0D", 4)) + ack;
    const QStringList want{QStringLiteral("one"), QStringLiteral("データ数エラー"), QStringLiteral("two"),
                           QStringLiteral("\u0002\u0003\r")};
    for (int chunk = 1; chunk <= stream.size(); chunk += (chunk < 12 ? 1 : 17)) {
        Fixture f;
        for (int i = 0; i < stream.size(); i += chunk) {
            f.deliver(stream.mid(i, chunk));
            if ((i / chunk) % 2 == 0) f.rx.PollReceive();  // sometimes two deliveries per poll
        }
        f.rx.PollReceive();
        EXPECT_EQ(f.events.lines, want) << "chunk " << chunk;
        EXPECT_EQ(static_cast<int>(f.state.ReplyKind), 2);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(f.state.ReplyBuffer.data()), ack.size()), ack);
        EXPECT_TRUE(f.events.boxes.isEmpty());
    }
}

TEST(LinkReceiver, SumErrorShowsTheFrameAndReceivingContinues) {
    Fixture f;
    f.events.rxTracing = true;
    const QByteArray good = noteOf("after");
    QByteArray deliveredDuringBox = noteOf("late");
    f.events.onSumError = [&] { f.deliver(deliveredDuringBox); };
    f.deliver(hex("AA 02 00 30 01 00 03 37 0D") + good);
    f.rx.PollReceive();
    ASSERT_EQ(f.events.boxes, QStringList{QStringLiteral("SUM EEROR: 02 00 30 01 00 03 37 ")});
    EXPECT_EQ(static_cast<int>(f.state.ReplyKind), 0);
    EXPECT_EQ(f.events.lines,
              (QStringList{QStringLiteral("SUM EEROR"), QStringLiteral("after"),
                           QStringLiteral("SUM EEROR: 02 00 30 01 00 03 37 ") + HexForm(good)}));
    // What came in while the box was open is decoded by the next poll.
    f.events.lines.clear();
    f.rx.PollReceive();
    EXPECT_EQ(f.events.lines,
              (QStringList{QStringLiteral("late"), QStringLiteral("RX:") + HexForm(deliveredDuringBox)}));
}

TEST(LinkReceiver, WrongEtxWithMatchingSumIsRejected) {
    Fixture f;
    QByteArray bad = hex("02 00 30 01 00 04");
    bad.append(static_cast<char>(oracleSum(bad))).append('\x0D');
    f.deliver(bad);
    f.rx.PollReceive();
    EXPECT_EQ(f.events.boxes, QStringList{QStringLiteral("SUM EEROR: ") + HexForm(bad.left(bad.size() - 1))});
    EXPECT_EQ(static_cast<int>(f.state.ReplyKind), 0);
}

TEST(LinkReceiver, PartialFrameIsAbandonedAfterAHundredIdlePolls) {
    const QByteArray note = noteOf("done");
    for (int idle : {100, 101}) {
        Fixture f;
        f.deliver(note.left(5));
        f.rx.PollReceive();
        for (int i = 0; i < idle; ++i) f.rx.PollReceive();
        f.deliver(note.mid(5));
        f.rx.PollReceive();
        EXPECT_EQ(f.events.lines.contains(QStringLiteral("done")), idle == 100) << idle;
    }
}

TEST(LinkReceiver, BytesTricklingInKeepAPartialFrameAlive) {
    // One byte per poll that brings any, with idle polls between: every byte
    // reloads the count, so only a gap of more than a hundred empty polls loses it.
    const QByteArray note = noteOf("slow but whole");
    struct Case {
        int gap;
        bool decoded;
    } cases[] = {{0, true}, {60, true}, {100, true}, {101, false}};
    for (const Case& c : cases) {
        Fixture f;
        for (char b : note) {
            f.deliver(QByteArray(1, b));
            f.rx.PollReceive();
            for (int i = 0; i < c.gap; ++i) f.rx.PollReceive();
        }
        EXPECT_EQ(f.events.lines.contains(QStringLiteral("slow but whole")), c.decoded) << "gap " << c.gap;
    }
}

TEST(LinkReceiver, BurstLargerThanTheRingIsCutNotWrapped) {
    Fixture f;
    QByteArray notes;
    int count = 0;
    while (notes.size() < 10000) notes += noteOf(QByteArray::number(count++).constData());
    f.deliver(notes);
    const QByteArray flood = QByteArray(20000, '\x55');
    const int dropped = f.deliver(flood);
    EXPECT_EQ(dropped, static_cast<int>(notes.size()) + 20000 - 16383);
    EXPECT_EQ(f.rx.droppedBytes(), static_cast<quint64>(dropped));
    ASSERT_EQ(f.events.lines.size(), 1);
    EXPECT_TRUE(f.events.lines[0].startsWith(QStringLiteral("RX overrun: %1 bytes dropped").arg(dropped)));
    f.events.lines.clear();
    f.rx.PollReceive();
    ASSERT_EQ(f.events.lines.size(), count) << "every frame delivered before the burst is decoded";
    EXPECT_EQ(f.events.lines.last(), QString::number(count - 1));
    // The link goes on working.
    f.events.lines.clear();
    f.deliver(noteOf("again"));
    f.rx.PollReceive();
    EXPECT_EQ(f.events.lines, QStringList{QStringLiteral("again")});
}

TEST(LinkReceiver, ResetOrPollInsideTheBoxDoesNotReadStaleBytes) {
    Fixture f;
    f.events.onSumError = [&] {
        f.rx.PollReceive();  // re-entry is ignored
        f.rx.Reset();        // e.g. a socket reconnected while the box was open
        f.deliver(noteOf("fresh"));
    };
    // The stale note lies beyond where the fresh one lands after the reset.
    f.deliver(hex("02 00 30 01 00 03 37 0D") + QByteArray(40, '\0') + noteOf("stale"));
    f.rx.PollReceive();
    EXPECT_EQ(f.events.boxes.size(), 1);
    EXPECT_FALSE(f.events.lines.contains(QStringLiteral("stale")));
    f.rx.PollReceive();
    EXPECT_EQ(f.events.lines.filter(QStringLiteral("fresh")).size(), 1);
    EXPECT_FALSE(f.events.lines.contains(QStringLiteral("stale")));
}

TEST(LinkReceiver, TracingOffWritesNothingButStillDecodes) {
    Fixture f;
    f.events.tracing = false;
    f.deliver(nackOf(hex("05 03")) + QByteArray(17000, '\x00'));
    f.rx.PollReceive();
    EXPECT_TRUE(f.events.lines.isEmpty());
    EXPECT_EQ(static_cast<int>(f.state.ReplyKind), 6);
}
