// What the update makes of the upload tool's output, and the network check
// before the tool runs.
#include <gtest/gtest.h>

#include "NetworkPreflight.h"
#include "QtPrinters.h"
#include "ToolOutputReader.h"

using namespace ifb;

namespace {

// espota.py's output for an image of `chunks` 1024-byte chunks, dot style.
QString EspotaPyDots(int chunks) {
    return QStringLiteral(
               "Sending invitation to 192.168.4.1 \nAuthenticating...OK\nWaiting for device...\n"
               "Uploading") +
           QString(chunks, QLatin1Char('.')) + QStringLiteral("\nWaiting for result...\nResult: OK\n");
}

// The same in -r style frames, every percent from 0 to 100.
QString EspotaPyFrames() {
    QString text = QStringLiteral("Sending invitation to 192.168.4.1 \nUploading");
    for (int p = 0; p < 100; ++p)
        text += QStringLiteral("\rUploading: [%1] %2% ").arg(QString(p / 2, '=')).arg(p);
    return text + QStringLiteral(
                      "\rUploading: [==================================================] 100% Done...\r\n");
}

// Cuts text into pieces of n characters (the last may be shorter).
QStringList Pieces(const QString& text, int n) {
    QStringList pieces;
    for (qsizetype at = 0; at < text.size(); at += n) pieces.append(text.mid(at, n));
    return pieces;
}

struct Seen {
    QList<UpdateStage> stages;
    int hundreds = 0;  // reads after which the figure first stood at 100 %
    bool backwards = false;
    int highest = 0;
};

Seen FeedAll(ToolOutputReader& reader, const QStringList& pieces) {
    Seen seen;
    int last = 0;
    for (const QString& piece : pieces) {
        seen.stages += reader.feed(piece);
        const int p = reader.percent();
        if (p < last) seen.backwards = true;
        if (p == 100 && last != 100) ++seen.hundreds;
        seen.highest = qMax(seen.highest, p);
        EXPECT_LE(reader.bytesSent(), reader.totalBytes());
        last = p;
    }
    return seen;
}

const QList<UpdateStage> kAllToolStages{UpdateStage::Invitation, UpdateStage::Authentication,
                                        UpdateStage::Transfer};

}  // namespace

TEST(ToolOutputReader, ProgressReachesTheFileSizeOnceWhateverTheChunking) {
    const qint64 size = 1600000;  // 1563 chunks, the last one short
    const int chunks = 1563;
    const struct {
        const char* name;
        qint64 total;
        QStringList pieces;
        QList<UpdateStage> stages;
        qint64 sent;
        int percent;
        int hundreds;
    } cases[] = {
        {"a dot per read", size, Pieces(EspotaPyDots(chunks), 1), kAllToolStages, size, 100, 1},
        {"thousands of dots in one read", size, {EspotaPyDots(chunks)}, kAllToolStages, size, 100, 1},
        {"reads of 7 characters", size, Pieces(EspotaPyDots(chunks), 7), kAllToolStages, size, 100, 1},
        {"frames split mid-number",
         size,
         Pieces(EspotaPyFrames(), 3),
         {UpdateStage::Invitation, UpdateStage::Transfer},
         size,
         100,
         1},
        {"frames in one read",
         size,
         {EspotaPyFrames()},
         {UpdateStage::Invitation, UpdateStage::Transfer},
         size,
         100,
         1},
        {"size not a multiple of 1024", 1500, Pieces(EspotaPyDots(2), 5), kAllToolStages, 1500, 100, 1},
        {"exactly one chunk", 1024, {EspotaPyDots(1)}, kAllToolStages, 1024, 100, 1},
        {"an empty file", 0, {EspotaPyDots(0)}, kAllToolStages, 0, 0, 0},
        {"dots of the result wait are not chunks", 8192, {EspotaPyDots(4)}, kAllToolStages, 4096, 50, 0},
        {"more dots than the file has", 2048, {EspotaPyDots(9)}, kAllToolStages, 2048, 100, 1},
        {"a frame going back",
         1000,
         {QStringLiteral("Uploading\rUploading: [] 60% "), QStringLiteral("\rUploading: [] 40% ")},
         {UpdateStage::Transfer},
         600,
         60,
         0},
        {"a second try counts again",
         4096,
         {QStringLiteral("Uploading..\n[WARNING]: broken off; inviting again (try 2 of 2)\nUploading...."),
          QStringLiteral("\nResult: OK\n")},
         {UpdateStage::Transfer},
         4096,
         100,
         1},
        {"another language", size, {QStringLiteral("アップロード中....完了\n")}, {}, 0, 0, 0},
        {"another encoding",
         size,
         {QString::fromLatin1("\xe9\xe8 Upl\xf6"
                              "ading....")},
         {},
         0,
         0,
         0},
        {"nothing at all", size, {}, {}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolOutputReader reader(c.total);
        const Seen seen = FeedAll(reader, c.pieces);
        EXPECT_EQ(seen.stages, c.stages);
        EXPECT_EQ(reader.bytesSent(), c.sent);
        EXPECT_EQ(reader.percent(), c.percent);
        EXPECT_EQ(seen.hundreds, c.hundreds);
        EXPECT_FALSE(seen.backwards);
        EXPECT_FALSE(reader.failure().has_value());
    }
}

TEST(ToolOutputReader, NamesTheFailureTheOutputReports) {
    const struct {
        const char* name;
        QString output;
        NgCode code;
    } cases[] = {
        {"no answer to the invitation",
         QStringLiteral(
             "Sending invitation to 192.168.4.1 ..........\n22:10:01 [ERROR]: No response from the ESP\n"),
         NgCode::U01},
        {"password refused", QStringLiteral("Authenticating...FAIL\n[ERROR]: Authentication Failed\n"),
         NgCode::U02},
        {"login unanswered",
         QStringLiteral("Authenticating...FAIL\n[ERROR]: No Answer to our Authentication\n"), NgCode::U02},
        {"no connection back",
         QStringLiteral("Authenticating...OK\nWaiting for device...\n[ERROR]: No response from device\n"),
         NgCode::U03},
        {"silence during the transfer", QStringLiteral("Uploading.....\n[ERROR]: No response from device\n"),
         NgCode::U04},
        {"silence after the transfer",
         QStringLiteral(
             "Uploading..\nWaiting for result...\n[ERROR]: No response from device after upload completion\n"),
         NgCode::U04},
        {"broken off",
         QStringLiteral("Uploading....\n[ERROR]: Error Uploading: [Errno 104] Connection reset\n"),
         NgCode::U04},
        {"the shell found no tool", QStringLiteral("sh: 1: /opt/tools/espota.py: not found\n"), NgCode::U05},
        {"cmd.exe found no tool",
         QStringLiteral("'espota.exe' is not recognized as an internal or external command,\n"), NgCode::U05},
        {"first failure wins",
         QStringLiteral("[ERROR]: No response from the ESP\n[ERROR]: Error Uploading: x\n"), NgCode::U01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Whole, and a character per read: a marker split across reads is still found.
        for (const QStringList& pieces : {QStringList{c.output}, Pieces(c.output, 1)}) {
            ToolOutputReader reader(4096);
            FeedAll(reader, pieces);
            EXPECT_EQ(reader.failure(), c.code);
        }
    }
}

namespace {

NetworkAdapter Adapter(const char* name, std::initializer_list<std::pair<const char*, int>> ipv4) {
    NetworkAdapter adapter;
    adapter.friendlyName = QString::fromUtf8(name);
    for (const auto& [text, prefix] : ipv4)
        adapter.addresses.append({AddressFamily::IPv4, QString::fromUtf8(text), prefix});
    return adapter;
}

constexpr quint32 kBoard = 0xC0A80401;  // 192.168.4.1

}  // namespace

TEST(NetworkPreflight, FindsThePcAddressInTheBoardsNetworkFromTheAdapterList) {
    NetworkAdapter ipv6Only;
    ipv6Only.friendlyName = QStringLiteral("eth1");
    ipv6Only.addresses.append({AddressFamily::IPv6, QStringLiteral("fe80::1"), 64});
    const struct {
        const char* name;
        QList<NetworkAdapter> adapters;
        bool canListen;
        bool blocks;
        QStringList log;
    } cases[] = {
        {"on the board's network",
         {Adapter("lo", {{"127.0.0.1", 8}}), Adapter("Wi-Fi (wlan0)", {{"192.168.4.2", 24}})},
         true,
         false,
         {QStringLiteral("事前確認: PCのアドレス 192.168.4.2/24 (Wi-Fi (wlan0))")}},
        {"second address of the same adapter counts once",
         {Adapter("Wi-Fi (wlan0)", {{"192.168.4.2", 24}, {"192.168.4.3", 24}})},
         true,
         false,
         {QStringLiteral("事前確認: PCのアドレス 192.168.4.2/24 (Wi-Fi (wlan0))")}},
        {"a second adapter in the same network",
         {Adapter("eth0", {{"192.168.4.77", 16}}), Adapter("Wi-Fi (wlan0)", {{"192.168.4.2", 24}})},
         true,
         false,
         {QStringLiteral("事前確認: PCのアドレス 192.168.4.77/16 (eth0)"),
          QStringLiteral("事前確認: 警告 Wi-Fi (wlan0) (192.168.4.2) もボードのネットワークにあります。")}},
        {"no port for the connection back",
         {Adapter("Wi-Fi (wlan0)", {{"192.168.4.2", 24}})},
         false,
         false,
         {QStringLiteral("事前確認: PCのアドレス 192.168.4.2/24 (Wi-Fi (wlan0))"),
          QStringLiteral("事前確認: 警告 192.168.4.2 で受信ポートを開けません: refused")}},
        {"an address just outside the prefix",
         {Adapter("Wi-Fi (wlan0)", {{"192.168.5.2", 24}}), Adapter("lo", {{"127.0.0.1", 8}})},
         true,
         true,
         {QStringLiteral("事前確認: ボード 192.168.4.1 のネットワークにPCのアドレスがありません。")}},
        {"the office network only",
         {Adapter("eth0", {{"10.0.0.5", 8}})},
         true,
         true,
         {QStringLiteral("事前確認: ボード 192.168.4.1 のネットワークにPCのアドレスがありません。")}},
        {"a list that could not be read",
         {},
         true,
         false,
         {QStringLiteral("事前確認: アダプター一覧を読めないため省略します。")}},
        {"no IPv4 address with a known prefix",
         {ipv6Only, Adapter("x", {{"192.168.4.2", -1}})},
         true,
         false,
         {QStringLiteral("事前確認: アダプター一覧を読めないため省略します。")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList probed;
        const PreflightResult result =
            RunNetworkPreflight(kBoard, c.adapters, [&](const QString& address, QString* error) {
                probed.append(address);
                *error = QStringLiteral("refused");
                return c.canListen;
            });
        EXPECT_EQ(result.blocksUpload(), c.blocks);
        EXPECT_EQ(PreflightLogLines(result, QStringLiteral("192.168.4.1")), c.log);
        EXPECT_EQ(probed.size(), result.inNetwork ? 1 : 0);
    }
}

TEST(NetworkPreflight, TheListenProbeBindsARealPort) {
    QString error;
    EXPECT_TRUE(ProbeListen(QStringLiteral("127.0.0.1"), &error)) << error.toStdString();
    // TEST-NET-3: never an address of this machine.
    EXPECT_FALSE(ProbeListen(QStringLiteral("203.0.113.9"), &error));
    EXPECT_FALSE(error.isEmpty());
}
