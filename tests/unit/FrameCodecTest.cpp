#include <gtest/gtest.h>

#include <QByteArray>
#include <vector>

#include "FrameCodec.h"
#include "QtPrinters.h"
#include "TestFrames.h"

using namespace ifb;
using namespace ifb::test;

namespace {

struct Recorder {
    std::vector<QByteArray> accepted;
    std::vector<QByteArray> rejected;
    FrameAssembler assembler{
        [this](const quint8* f, int n) { accepted.emplace_back(reinterpret_cast<const char*>(f), n); },
        [this](const quint8* f, int n) { rejected.emplace_back(reinterpret_cast<const char*>(f), n); }};
    void feed(const QByteArray& bytes) {
        for (char c : bytes) assembler.feed(static_cast<quint8>(c));
    }
};

}  // namespace

TEST(FrameBuild, WorkedExamplesAreByteExact) {
    struct Case {
        quint8 cmd;
        const char* data;
        const char* frame;
    } cases[] = {
        {0x45, "00", "02 00 45 01 00 03 4B 0D"},              // read board mode
        {0x45, "0A", "02 00 45 01 0A 03 55 0D"},              // restart
        {0x45, "01 05 00", "02 00 45 03 01 05 00 03 53 0D"},  // set mode 5
        {0x45, "0B 02 01", "02 00 45 03 0B 02 01 03 5B 0D"},  // OTA mode 2 with the extra byte
        {0x30, "00", "02 00 30 01 00 03 36 0D"},              // ACK
        {0x31, "00", "02 00 31 01 00 03 37 0D"},              // NACK reason 0
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildFrame(0, c.cmd, hex(c.data)), hex(c.frame)) << c.frame;
    }
}

TEST(FrameBuild, IdByteAndSumFollowTheOracle) {
    const QByteArray f = BuildFrame(0x7F, 0x45, hex("03 71"));
    EXPECT_EQ(f, hex("02 7F 45 02 03 71 03") + QByteArray(1, static_cast<char>(oracleSum(f))) + hex("0D"));
    EXPECT_EQ(FrameSum(f), oracleSum(f));
    const QByteArray big = BuildFrame(0, 0x45, QByteArray(300, '\xFF'));
    EXPECT_EQ(big.size(), 262);
    EXPECT_EQ(static_cast<quint8>(big[3]), 255);
    EXPECT_EQ(static_cast<quint8>(big[260]), oracleSum(big));
}

TEST(FrameHex, TwoUpperCaseDigitsAndABlankPerByte) {
    EXPECT_EQ(HexForm(hex("02 00 45 01 00 03 4B 0D")), QStringLiteral("02 00 45 01 00 03 4B 0D "));
    EXPECT_EQ(HexForm(QByteArray()), QString());
    EXPECT_EQ(HexForm(hex("ab")), QStringLiteral("AB "));
}

TEST(FrameAssembly, AcceptsShortestLongestAndDelimitersInsideData) {
    Recorder r;
    const QByteArray empty = frameOf(0x30, {});
    QByteArray longest(255, '\0');
    for (int i = 0; i < 255; ++i) longest[i] = static_cast<char>(i);
    const QByteArray delimiters = frameOf(0x30, hex("02 03 0D 02 0D"));
    r.feed(empty + frameOf(0x47, longest) + delimiters);
    ASSERT_EQ(r.accepted.size(), 3u);
    EXPECT_EQ(r.accepted[0], empty);
    EXPECT_EQ(r.accepted[1].size(), 262);
    EXPECT_EQ(r.accepted[2], delimiters);
    EXPECT_TRUE(r.rejected.empty());
}

TEST(FrameAssembly, NoiseBeforeAndBetweenFramesIsIgnored) {
    Recorder r;
    const QByteArray a = frameOf(0x30, hex("90 31 30"));
    const QByteArray b = frameOf(0x44, QByteArray("OK"));
    r.feed(hex("FF 00 0D 03 41") + a + hex("55 AA") + b + b);
    ASSERT_EQ(r.accepted.size(), 3u);
    EXPECT_EQ(r.accepted[0], a);
    EXPECT_EQ(r.accepted[1], b);
    EXPECT_EQ(r.accepted[2], b);
}

TEST(FrameAssembly, BadSumIsRejectedWithEverythingButTheCr) {
    Recorder r;
    r.feed(hex("02 00 30 01 00 03 37 0D"));
    EXPECT_TRUE(r.accepted.empty());
    ASSERT_EQ(r.rejected.size(), 1u);
    EXPECT_EQ(QStringLiteral("SUM EEROR: ") + HexForm(r.rejected[0]),
              QStringLiteral("SUM EEROR: 02 00 30 01 00 03 37 "));
    // Receiving goes on with the next frame.
    r.feed(hex("02 00 30 01 00 03 36 0D"));
    EXPECT_EQ(r.accepted.size(), 1u);
}

TEST(FrameAssembly, WrongEtxIsRejectedEvenWithAMatchingSum) {
    Recorder r;
    QByteArray f = hex("02 00 30 01 00 04");
    f.append(static_cast<char>(oracleSum(f))).append('\x0D');
    r.feed(f);
    EXPECT_TRUE(r.accepted.empty());
    ASSERT_EQ(r.rejected.size(), 1u);
    EXPECT_EQ(HexForm(r.rejected[0]), QStringLiteral("02 00 30 01 00 04 37 "));
}

TEST(FrameAssembly, TruncatedFrameSwallowsTheNextFrame) {
    Recorder r;
    const QByteArray next = frameOf(0x30, hex("00"));
    const QByteArray after = frameOf(0x30, hex("90"));
    // LEN says 1 but only the data byte and ETX/SUM arrive: the CR slot is
    // reached by the next frame's STX, the byte after it is lost, and so is that frame.
    r.feed(hex("02 00 30 01 00 03") + next + after);
    ASSERT_EQ(r.accepted.size(), 1u);
    EXPECT_EQ(r.accepted[0], after);
    EXPECT_TRUE(r.rejected.empty());
}

TEST(FrameAssembly, MissingCrLosesTheFollowingByte) {
    Recorder r;
    QByteArray f = frameOf(0x30, hex("00"));
    f[7] = 'X';
    // The byte after the abandoned frame is lost even though it is an STX.
    r.feed(f + hex("02") + frameOf(0x30, hex("01")));
    ASSERT_EQ(r.accepted.size(), 1u);
    EXPECT_EQ(r.accepted[0], frameOf(0x30, hex("01")));
}

TEST(FrameAssembly, ResetAbandonsAPartialFrame) {
    Recorder r;
    const QByteArray f = frameOf(0x30, hex("00"));
    r.feed(f.left(4));
    EXPECT_TRUE(r.assembler.inFrame());
    r.assembler.reset();
    r.feed(f.mid(4) + f);
    ASSERT_EQ(r.accepted.size(), 1u);
    EXPECT_EQ(r.accepted[0], f);
}
