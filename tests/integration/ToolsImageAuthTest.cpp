// Login math, OTA message parsing and the app image writer/checker shared by
// espota, ifb-sim and mkfwimage; plus mkfwimage's command line.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "ImageChecker.h"
#include "ImageWriter.h"
#include "OtaAuth.h"
#include "OtaMessages.h"
#include "QtPrinters.h"
#include "ToolsHarness.h"

using namespace ifb;
using tools_test::Hex;

namespace {

const QByteArray kPassword = "admin";
const QByteArray kFile = "firmware.bin";
const QByteArray kFileMd5 = "0123456789abcdef0123456789abcdef";
const QByteArray kAddress = "192.168.4.1";

TEST(OtaAuth, LegacyLoginMatchesTheReferenceVectors) {
    const QByteArray nonce = "5d41402abc4b2a76b9719d911017c592";
    const QByteArray secret = ota::PasswordSecret(kPassword, ota::SecretKind::Md5);
    EXPECT_EQ(secret, QByteArray("21232f297a57a5a743894a0e4a801fc3"));
    const QByteArray cnonce = ota::ClientNonce(kFile, 1048576, kFileMd5, kAddress, 32);
    EXPECT_EQ(cnonce, QByteArray("ba443f539d4b6a36a0c7cb2d8c3c0812"));
    EXPECT_EQ(ota::ResponseFor(secret, nonce, cnonce), QByteArray("2883308ec88a536906ed0325f2084b3e"));
    EXPECT_EQ(ota::FormatAuthMessage({cnonce, ota::LegacyResponse(secret, nonce, cnonce)}),
              QByteArray("200 ba443f539d4b6a36a0c7cb2d8c3c0812 2883308ec88a536906ed0325f2084b3e\n"));
}

TEST(OtaAuth, Pbkdf2LoginMatchesTheReferenceVectorsForBothSecrets) {
    const QByteArray nonce = "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";
    const QByteArray cnonce = ota::ClientNonce(kFile, 1048576, kFileMd5, kAddress, 64);
    EXPECT_EQ(cnonce, QByteArray("ef6ec8c2b7b402cfff51cbaab3d6fa3969cc2fbbc64f58e6e9a81f0a2f608fbb"));

    const QByteArray sha = ota::PasswordSecret(kPassword, ota::SecretKind::Sha256);
    EXPECT_EQ(sha, QByteArray("8c6976e5b5410415bde908bd4dee15dfb167a9c873fc4bb8a81f6f2ab448a918"));
    EXPECT_EQ(ota::Pbkdf2Key(sha, nonce, cnonce),
              QByteArray("007125dfdd74671722c35df46f2426f7bc619ba8befb594af0ccbbe7298fd2f4"));
    EXPECT_EQ(ota::ResponseFor(sha, nonce, cnonce),
              QByteArray("17030c3707fbdaa7ce7b8d58be578fd63163a6bc2b6dea02e6a5206ac426eb50"));

    const QByteArray md5 = ota::PasswordSecret(kPassword, ota::SecretKind::Md5);
    EXPECT_EQ(ota::Pbkdf2Key(md5, nonce, cnonce),
              QByteArray("2f47bd4283fa7ff20b9d9db7a0b7462efb34ba9fb595bb1444f6913f93e6fb46"));
    EXPECT_EQ(ota::ResponseFor(md5, nonce, cnonce),
              QByteArray("f3fbb5318e01e347635e46cbdc9458b0cd1fe0a703d438bf72d881533b3bc659"));
}

struct InvitationCase {
    QByteArray datagram;
    bool valid;
    int command;
    int port;
    qint64 size;
};

TEST(OtaMessages, TheBoardReadsInvitationsLenientlyAndIgnoresBadOnes) {
    const InvitationCase cases[] = {
        {"0 40001 1048576 0123456789abcdef0123456789abcdef\n", true, 0, 40001, 1048576},
        {"  100 2 3 0123456789ABCDEF0123456789ABCDEF", true, 100, 2, 3},  // no LF, upper case
        {QByteArray("0 40001 10 0123456789abcdef0123456789abcdef\0junk", 48), true, 0, 40001, 10},
        {"7 40001 10 0123456789abcdef0123456789abcdef\n", false, 0, 0, 0},    // unknown command
        {"200 40001 10 0123456789abcdef0123456789abcdef\n", false, 0, 0, 0},  // a login is no invitation
        {"0 40001 10 0123456789abcdef0123456789abcde\n", false, 0, 0, 0},     // 31-char MD5
        {"0 70000 10 0123456789abcdef0123456789abcdef\n", false, 0, 0, 0},    // port out of range
        {"0 40001 0123456789abcdef0123456789abcdef\n", false, 0, 0, 0},       // size missing
        {"hello", false, 0, 0, 0},
        {"", false, 0, 0, 0},
    };
    for (const InvitationCase& c : cases) {
        SCOPED_TRACE(c.datagram.toStdString());
        const auto parsed = ota::ParseInvitation(c.datagram);
        ASSERT_EQ(parsed.has_value(), c.valid);
        if (!c.valid) continue;
        EXPECT_EQ(parsed->command, c.command);
        EXPECT_EQ(parsed->hostPort, c.port);
        EXPECT_EQ(parsed->size, c.size);
        EXPECT_EQ(parsed->md5, QByteArray("0123456789abcdef0123456789abcdef"));
    }
    const ota::Invitation invitation{0, 51234, 1600000, "a9ba7ad70cb51f58dd228e939591c1e4"};
    EXPECT_EQ(ota::FormatInvitation(invitation),
              QByteArray("0 51234 1600000 a9ba7ad70cb51f58dd228e939591c1e4\n"));
    EXPECT_EQ(ota::ParseInvitation(ota::FormatInvitation(invitation))->hostPort, 51234);
}

TEST(OtaMessages, LoginMessagesNeed200First) {
    const auto login = ota::ParseAuthMessage("200 abc def\n");
    ASSERT_TRUE(login.has_value());
    EXPECT_EQ(login->cnonce, QByteArray("abc"));
    EXPECT_EQ(login->response, QByteArray("def"));
    EXPECT_FALSE(ota::ParseAuthMessage("0 40001 10 0123456789abcdef0123456789abcdef\n").has_value());
    EXPECT_FALSE(ota::ParseAuthMessage("AUTH x").has_value());
}

TEST(ImageWriter, WritesTheEightyByteReferenceImage) {
    espimage::ImageHeader header;  // DIO, 4 MB / 40 MHz, entry 0x40080000, ESP32, max rev 399, hash
    const QByteArray image = espimage::WriteImage(header, {{0x3FFB0000, Hex("01 02 03 04 05 06 07 08")}});
    EXPECT_EQ(tools_test::HexOf(image),
              tools_test::HexOf(Hex("e9 01 02 20 00 00 08 40 ee 00 00 00 00 00 00 00"
                                    "00 8f 01 00 00 00 00 01 00 00 fb 3f 08 00 00 00"
                                    "01 02 03 04 05 06 07 08 00 00 00 00 00 00 00 e7"
                                    "c7 34 46 4b 7e 31 bc 9e d0 a5 d2 f8 40 2d 59 3b"
                                    "4f 23 f5 68 da f2 c2 b2 76 e4 20 ea 86 06 5e 1b")));
    EXPECT_EQ(ota::Md5Hex(image), QByteArray("a9ba7ad70cb51f58dd228e939591c1e4"));
    const espimage::ImageReport report = espimage::CheckImage(image);
    EXPECT_TRUE(report.ok) << report.error.toStdString();
    EXPECT_FALSE(report.hasAppDescriptor);
}

TEST(ImageWriter, FirmwareImagesAreValidDeterministicAndExactlySized) {
    struct SizeCase {
        qint64 requested;
        qint64 written;
        int segments;
    };
    const SizeCase cases[] = {{336, 336, 1},       {1000, 1008, 1},        {131072, 131072, 1},
                              {140000, 140000, 2}, {1600000, 1600000, 13}, {3000000, 3000000, 16}};
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.requested);
        QString error;
        const QByteArray image =
            espimage::MakeFirmwareImage(QStringLiteral("1022IFB00"), c.requested, &error);
        ASSERT_EQ(image.size(), c.written) << error.toStdString();
        const espimage::ImageReport report = espimage::CheckImage(image);
        ASSERT_TRUE(report.ok) << report.error.toStdString();
        EXPECT_EQ(report.segmentCount, c.segments);
        EXPECT_EQ(report.version, QStringLiteral("1022IFB00"));
        EXPECT_EQ(report.projectName, QStringLiteral("ifb-firmware"));
        EXPECT_EQ(image.mid(0x20, 4), Hex("32 54 CD AB"));  // app descriptor magic at 0x20
    }
    QString error;
    const QByteArray a = espimage::MakeFirmwareImage(QStringLiteral("1022IFB00"), 200000, &error);
    EXPECT_EQ(a, espimage::MakeFirmwareImage(QStringLiteral("1022IFB00"), 200000, &error));
    EXPECT_NE(a.mid(0x200),
              espimage::MakeFirmwareImage(QStringLiteral("1022IFB01"), 200000, &error).mid(0x200));

    EXPECT_TRUE(espimage::MakeFirmwareImage(QStringLiteral("X"), 320, &error).isEmpty());
    EXPECT_TRUE(error.contains(QStringLiteral("at least 336")));
    EXPECT_TRUE(espimage::MakeFirmwareImage(QString(32, QLatin1Char('A')), 100000, &error).isEmpty());
    EXPECT_TRUE(espimage::MakeFirmwareImage(QString(), 100000, &error).isEmpty());
}

struct Corruption {
    const char* name;
    std::function<void(QByteArray&)> apply;
    const char* error;
};

TEST(ImageChecker, RejectsEachKindOfCorruption) {
    QString error;
    const QByteArray good = espimage::MakeFirmwareImage(QStringLiteral("1022IFB00"), 200000, &error);
    ASSERT_TRUE(espimage::CheckImage(good).ok);
    const qint64 seg0Length = 24 + 4;  // the first segment header's length field
    const Corruption cases[] = {
        {"magic", [](QByteArray& b) { b[0] = 0x00; }, "bad magic byte 0x00"},
        {"no segments", [](QByteArray& b) { b[1] = 0; }, "bad segment count 0"},
        {"17 segments", [](QByteArray& b) { b[1] = 17; }, "bad segment count 17"},
        {"spi mode", [](QByteArray& b) { b[2] = 6; }, "bad SPI mode 6"},
        {"flash size", [](QByteArray& b) { b[3] = static_cast<char>(0x80); }, "bad flash size code 8"},
        {"chip id", [](QByteArray& b) { b[12] = 5; }, "chip id 0x0005"},
        {"segment length not a multiple of 4",
         [&](QByteArray& b) { b[seg0Length] = static_cast<char>(b[seg0Length] + 1); },
         "segment 0 has an invalid length"},
        {"segment longer than the file", [&](QByteArray& b) { b[seg0Length + 2] = 0x10; },
         "segment 0 data runs past the end"},
        {"data byte", [](QByteArray& b) { b[5000] = static_cast<char>(b[5000] ^ 0x40); },
         "checksum mismatch"},
        {"checksum byte", [](QByteArray& b) { b[b.size() - 33] = static_cast<char>(b[b.size() - 33] ^ 1); },
         "checksum mismatch"},
        {"hash byte", [](QByteArray& b) { b[b.size() - 1] = static_cast<char>(b[b.size() - 1] ^ 1); },
         "appended SHA-256 mismatch"},
        {"truncated hash", [](QByteArray& b) { b.chop(10); }, "appended SHA-256 missing"},
        {"trailing bytes", [](QByteArray& b) { b.append(16, '\0'); }, "16 unexpected bytes"},
        {"header only", [](QByteArray& b) { b.truncate(20); }, "shorter than the image header"},
    };
    for (const Corruption& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bad = good;
        c.apply(bad);
        const espimage::ImageReport report = espimage::CheckImage(bad);
        EXPECT_FALSE(report.ok);
        EXPECT_TRUE(report.error.contains(QLatin1String(c.error))) << report.error.toStdString();
    }
}

TEST(Mkfwimage, WritesTheImageAndChecksFiles) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("fw.bin"));
    const auto written =
        tools_test::RunTool(QStringLiteral("mkfwimage"),
                            {QStringLiteral("--id"), QStringLiteral("9999XYZ"), QStringLiteral("--size"),
                             QStringLiteral("100000"), QStringLiteral("--out"), out});
    ASSERT_EQ(written.exitCode, 0) << written.err.toStdString();
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QString error;
    EXPECT_EQ(bytes, espimage::MakeFirmwareImage(QStringLiteral("9999XYZ"), 100000, &error));

    const auto checked = tools_test::RunTool(QStringLiteral("mkfwimage"), {QStringLiteral("--check"), out});
    EXPECT_EQ(checked.exitCode, 0);
    EXPECT_TRUE(checked.out.contains(QStringLiteral("OK"))) << checked.out.toStdString();
    EXPECT_TRUE(checked.out.contains(QStringLiteral("version \"9999XYZ\""))) << checked.out.toStdString();

    QByteArray bad = bytes;
    bad[bad.size() - 1] = static_cast<char>(bad[bad.size() - 1] ^ 0xFF);
    const QString badPath = dir.filePath(QStringLiteral("bad.bin"));
    QFile badFile(badPath);
    ASSERT_TRUE(badFile.open(QIODevice::WriteOnly));
    badFile.write(bad);
    badFile.close();
    const auto rejected =
        tools_test::RunTool(QStringLiteral("mkfwimage"), {QStringLiteral("--check"), badPath});
    EXPECT_EQ(rejected.exitCode, 1);
    EXPECT_TRUE(rejected.out.contains(QStringLiteral("NG: appended SHA-256 mismatch")))
        << rejected.out.toStdString();

    EXPECT_EQ(
        tools_test::RunTool(QStringLiteral("mkfwimage"), {QStringLiteral("--check"), dir.filePath("none")})
            .exitCode,
        1);
    EXPECT_EQ(tools_test::RunTool(QStringLiteral("mkfwimage"), {QStringLiteral("--bogus")}).exitCode, 2);
    EXPECT_EQ(tools_test::RunTool(QStringLiteral("mkfwimage"), {QStringLiteral("--size"), QStringLiteral("x"),
                                                                QStringLiteral("--out"), out})
                  .exitCode,
              2);
}

}  // namespace
