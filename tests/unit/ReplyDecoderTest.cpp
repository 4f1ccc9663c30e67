#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "LinkTestFrames.h"
#include "QtPrinters.h"
#include "ReplyDecoder.h"

using namespace ifb;
using namespace ifb::test;

namespace {

constexpr int kUnchanged = 99;

// Decodes a frame the way the assembler hands it over: in a 262-byte buffer
// whose bytes after the frame hold leftovers of earlier, longer frames.
struct Decode {
    ReplyState state;
    QStringList lines;
    bool tracing = true;

    Decode() {
        state.ReplyKind = static_cast<Reply>(kUnchanged);
        state.ReplyBuffer.fill(0xAB);
    }
    void operator()(const QByteArray& frame) {
        std::array<quint8, frame::kMaxSize> buffer;
        buffer.fill(0xEE);
        std::memcpy(buffer.data(), frame.constData(), static_cast<size_t>(frame.size()));
        TraceFn trace;
        if (tracing) trace = [this](const QString& l) { lines.append(l); };
        DecodeReply(buffer.data(), static_cast<int>(frame.size()), state, trace);
    }
    bool bufferHolds(const QByteArray& frame) const {
        if (std::memcmp(state.ReplyBuffer.data(), frame.constData(), static_cast<size_t>(frame.size())) != 0)
            return false;
        for (size_t i = static_cast<size_t>(frame.size()); i < state.ReplyBuffer.size(); ++i)
            if (state.ReplyBuffer[i] != 0) return false;
        return true;
    }
    bool bufferUntouched() const {
        for (quint8 b : state.ReplyBuffer)
            if (b != 0xAB) return false;
        return true;
    }
};

QString nackText(int reason) {
    switch (reason) {
        case 1:
            return QStringLiteral("CRCエラー");
        case 2:
            return QStringLiteral("CMD_TIME_OVER受信");
        case 3:
            return QStringLiteral("タグデータ受信エラー");
        case 4:
            return QStringLiteral("タグからの応答なし");
        case 65:
            return QStringLiteral("データ数エラー");
        case 66:
            return QStringLiteral("コマンドのサム値エラー");
        case 67:
            return QStringLiteral("コマンドのＩＤ値のエラー");
        case 68:
            return QStringLiteral("不正なコマンド");
        case 69:
            return QStringLiteral("２度読みエラーー");
        case 70:
            return QStringLiteral("PassWordエラー");
        default:
            return QStringLiteral("??? NACK受信");
    }
}

QString isoText(int detail) {
    switch (detail) {
        case 0x01:
            return QStringLiteral("The command is not supported, i.e. the request code is not recognised.");
        case 0x02:
            return QStringLiteral("he command is not recognised, for example: a format error occurred.");
        case 0x03:
            return QStringLiteral("The option is not supported.");
        case 0x0F:
            return QStringLiteral("Unknown error.");
        case 0x10:
            return QStringLiteral("The specified block is not available (doesn\u2019t exist).");
        case 0x11:
            return QStringLiteral("The specified block is already -locked and thus cannot be locked again");
        case 0x12:
            return QStringLiteral("The specified block is locked and its content cannot be changed.");
        case 0x13:
            return QStringLiteral("The specified block was not successfully programmed.");
        case 0x14:
            return QStringLiteral("The specified block was not successfully locked.");
        case 0x15:
            return QStringLiteral("The specified block is read-protected.");
        default:
            return QStringLiteral("? 'DF' Custom command error codes");
    }
}

QString epcText(int detail) {
    switch (detail) {
        case 0x00:
            return QStringLiteral("Other error");
        case 0x03:
            return QStringLiteral("Memory overrun");
        case 0x04:
            return QStringLiteral("Memory locked");
        case 0x0B:
            return QStringLiteral("Insufficient power");
        case 0x0F:
            return QStringLiteral("Non-specific error");
        default:
            return QStringLiteral("??? error");
    }
}

}  // namespace

TEST(ReplyDecoder, DispatchTable) {
    struct Row {
        quint8 cmd;
        const char* data;
        int kind;
        bool copied;
        QStringList lines;
    };
    const Row rows[] = {
        {'0', "90 31 2E 30", 2, true, {}},
        {'E', "4D 48 69", kUnchanged, false, {QStringLiteral("Hi")}},
        {'E', "41 48 69", kUnchanged, false, {}},
        {'b', "00", 10, false, {QStringLiteral("LCDB_RWLCDDATA受信")}},
        {'D', "4F 4B", 3, false, {}},
        {'d', "01 02", 4, false, {}},
        {'i', "01", 5, false, {}},
        {'1', "44", 6, true, {QStringLiteral("不正なコマンド")}},
        {'I', "00 11 22 33 44 55 66 77 88", 7, false, {QStringLiteral("UID2: 8877665544332211")}},
        {'L', "00", 8, false, {}},
        {'l', "07 01 02", 11, false, {}},
        {'G', "01 02 03", 9, true, {}},
        {0x55, "00", kUnchanged, false, {QStringLiteral("レスポンスフォーマットエラー")}},
    };
    for (const Row& r : rows) {
        Decode d;
        const QByteArray f = frameOf(r.cmd, hex(r.data));
        d(f);
        SCOPED_TRACE(f.toHex(' ').toStdString());
        EXPECT_EQ(static_cast<int>(d.state.ReplyKind), r.kind);
        EXPECT_EQ(d.state.ReplyCopied, r.copied);
        if (r.copied) {
            EXPECT_TRUE(d.bufferHolds(f));
        } else {
            EXPECT_TRUE(d.bufferUntouched());
        }
        EXPECT_EQ(d.lines, r.lines);
    }
}

TEST(ReplyDecoder, EveryUnlistedCommandIsAFormatErrorAndLeavesTheKind) {
    const QByteArray listed("0EbDdi1ILlG");
    for (int cmd = 0; cmd < 256; ++cmd) {
        if (listed.contains(static_cast<char>(cmd))) continue;
        Decode d;
        d(frameOf(static_cast<quint8>(cmd), hex("00 01")));
        EXPECT_EQ(static_cast<int>(d.state.ReplyKind), kUnchanged) << cmd;
        EXPECT_TRUE(d.bufferUntouched()) << cmd;
        EXPECT_EQ(d.lines, QStringList{QStringLiteral("レスポンスフォーマットエラー")}) << cmd;
    }
}

TEST(ReplyDecoder, NackReasonsAndDetailTables) {
    for (int reason = 0; reason < 256; ++reason) {
        for (int detail = 0; detail < 256; ++detail) {
            QString want = nackText(reason);
            if (reason == 5) want = isoText(detail);
            if (reason == 10) want = epcText(detail);
            Decode d;
            QByteArray data;
            data.append(static_cast<char>(reason)).append(static_cast<char>(detail));
            d(nackOf(data));
            ASSERT_EQ(d.lines, QStringList{want}) << reason << "/" << detail;
            ASSERT_EQ(static_cast<int>(d.state.ReplyKind), 6);
        }
    }
}

TEST(ReplyDecoder, NackDetailIsByteFiveWhateverLenSays) {
    Decode d;
    d(hex("02 00 31 01 05 03 3C 0D"));  // LEN 1: byte 5 is the ETX
    EXPECT_EQ(d.lines, QStringList{QStringLiteral("The option is not supported.")});
    Decode e;
    e(nackOf(hex("0A")));  // EPC, detail = ETX 0x03
    EXPECT_EQ(e.lines, QStringList{QStringLiteral("Memory overrun")});
    Decode z;
    z(nackOf({}));  // LEN 0: the reason is the ETX
    EXPECT_EQ(z.lines, QStringList{QStringLiteral("タグデータ受信エラー")});
}

TEST(ReplyDecoder, OtaResultNotice) {
    struct Case {
        QByteArray text;
        bool received;
        bool ok;
    } cases[] = {{"OK", true, true},  {"BR", true, false}, {"ok", false, false}, {"OKX", false, false},
                 {"O", false, false}, {"", false, false},  {"BRK", false, false}};
    for (const auto& c : cases) {
        Decode d;
        d(frameOf('D', c.text));
        EXPECT_EQ(static_cast<int>(d.state.ReplyKind), 3) << c.text.constData();
        EXPECT_EQ(d.state.OtaResultReceived, c.received) << c.text.constData();
        EXPECT_EQ(d.state.OtaResultOk, c.ok) << c.text.constData();
        EXPECT_TRUE(d.lines.isEmpty());
        EXPECT_TRUE(d.bufferUntouched());
    }
    // "BR" after "OK" clears the verdict; other texts keep it.
    Decode d;
    d(frameOf('D', "OK"));
    d(frameOf('D', "xx"));
    EXPECT_TRUE(d.state.OtaResultOk);
    d(frameOf('D', "BR"));
    EXPECT_TRUE(d.state.OtaResultReceived);
    EXPECT_FALSE(d.state.OtaResultOk);
}

TEST(ReplyDecoder, BoardMessageLines) {
    Decode d;
    d(frameOf('E', "M"));                          // LEN 1: an empty line
    d(frameOf('E', QByteArray("M\xE9t\x01", 4)));  // bytes above 0x7F are Latin-1
    EXPECT_EQ(d.lines, (QStringList{QString(), QStringLiteral("\u00E9t\u0001")}));
}

TEST(ReplyDecoder, IdentifierNoticeReadsMissingBytesAsZero) {
    Decode d;
    d(frameOf('I', hex("00 01 02 03 04 05 06 07 08 09")));
    d(frameOf('I', hex("00")));  // bytes 5..7 = ETX, SUM, CR; 8..12 lie past the frame
    const QByteArray shortFrame = frameOf('I', hex("00"));
    const QString sum =
        QStringLiteral("%1").arg(static_cast<quint8>(shortFrame[6]), 2, 16, QLatin1Char('0')).toUpper();
    EXPECT_EQ(d.lines, (QStringList{QStringLiteral("UID2: 0807060504030201"),
                                    QStringLiteral("UID2: 00000000000D") + sum + QStringLiteral("03")}));
}

TEST(ReplyDecoder, TagNoticeDebugLine) {
    Decode d;
    d(frameOf('l', hex("09 AA BB")));
    d(frameOf('l', hex("0C 01 02 03 04 05 06 07 08")));
    d(frameOf('l', hex("FF")));
    EXPECT_EQ(d.lines,
              (QStringList{QStringLiteral("DEBG: AA BB "), QStringLiteral("DEBG: 01 02 03 04 05 060708"),
                           QStringLiteral("DEBG: ")}));
    EXPECT_EQ(static_cast<int>(d.state.ReplyKind), 11);
}

TEST(ReplyDecoder, TagNoticeGroups) {
    struct Case {
        const char* data;
        QStringList lines;
    } cases[] = {
        {"08 02 A1 A2 01 B1 03 C1 C2 C3",
         {QStringLiteral("UII  : A1 A2 "), QStringLiteral("data : B1 "), QStringLiteral("TID  : C1 C2 C3 ")}},
        {"08 02 A1 A2", {QStringLiteral("UII  : A1 A2 ")}},
        {"08 02 A1 A2 00", {QStringLiteral("UII  : A1 A2 "), QStringLiteral("data : ")}},
        {"08 05 A1 A2", {QStringLiteral("UII  : A1 A2 ")}},  // count runs past the data field
        {"08 01 A1 09 B1 B2", {QStringLiteral("UII  : A1 "), QStringLiteral("data : B1 B2 ")}},
        {"08", {QStringLiteral("UII  : ")}},
        {"08 00 00 00 EE", {QStringLiteral("UII  : "), QStringLiteral("data : "), QStringLiteral("TID  : ")}},
        {"07 02 A1 A2", {}},
        {"00", {}},
    };
    for (const auto& c : cases) {
        Decode d;
        d(frameOf('l', hex(c.data)));
        EXPECT_EQ(d.lines, c.lines) << c.data;
    }
}

TEST(ReplyDecoder, LcdNoticeAndClockLine) {
    Decode d;
    d(frameOf('b', hex("03 05 30 09 17 05 05 24")));
    d(frameOf('b', hex("01")));
    d(frameOf('b', hex("02")));
    d(frameOf('b', hex("04 05 30 09 17 05 05 24")));
    EXPECT_EQ(d.lines,
              (QStringList{QStringLiteral("2024/5/17(Fri) 9:30:5 "), QStringLiteral("LCDB_RDRTCDATA受信"),
                           QStringLiteral("LCDB_SWINFO受信"), QStringLiteral("LCDB_RWRTCDATA受信")}));
    EXPECT_EQ(static_cast<int>(d.state.ReplyKind), 10);
    // Short frame: bytes 5..7 are ETX, SUM, CR, the rest lies past the frame.
    Decode s;
    s(frameOf('b', hex("03")));
    ASSERT_EQ(s.lines.size(), 2);
    EXPECT_TRUE(s.lines[0].startsWith(QStringLiteral("2000/0/0(")));
}

TEST(ReplyDecoder, ClockDigitsUseOnlyTheirBits) {
    struct Case {
        std::array<quint8, 7> bcd;
        const char* line;
    } cases[] = {
        {{0x59, 0x59, 0x23, 0x31, 0x12, 0x06, 0x99}, "2099/12/31(Sat) 23:59:59 "},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "2165/25/45() 45:85:85 "},
        {{0x80, 0x80, 0xC0, 0xC0, 0xE0, 0x08, 0x00}, "2000/0/0() 0:0:0 "},
        {{0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x00}, "2000/1/1(Mon) 0:0:0 "},
        {{0x00, 0x00, 0x00, 0x01, 0x01, 0x02, 0x00}, "2000/1/1(Tue) 0:0:0 "},
        {{0x00, 0x00, 0x00, 0x01, 0x01, 0x03, 0x00}, "2000/1/1(Wed) 0:0:0 "},
        {{0x00, 0x00, 0x00, 0x01, 0x01, 0x04, 0x00}, "2000/1/1(Thu) 0:0:0 "},
    };
    for (const auto& c : cases) EXPECT_EQ(ClockLine(c.bcd.data()), QLatin1String(c.line));
}

TEST(ReplyDecoder, AckCopiesWholeFrameAndTracingOffBuildsNothing) {
    Decode d;
    d.tracing = false;
    const QByteArray big = ackOf(QByteArray(255, '\x5A'));
    d(big);
    EXPECT_TRUE(d.bufferHolds(big));
    const QByteArray small = ackOf(hex("00"));
    d(small);
    EXPECT_TRUE(d.bufferHolds(small)) << "bytes of the longer frame must not survive";
    d(frameOf('1', hex("05 03")));
    d(frameOf(0x55, {}));
    d(frameOf('E', "Mx"));
    EXPECT_TRUE(d.lines.isEmpty());
    EXPECT_EQ(static_cast<int>(d.state.ReplyKind), 6);
}
