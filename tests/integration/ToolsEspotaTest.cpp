// espota against ifb-sim over loopback: logins, failures, what the board says on
// its serial link afterwards; and the board's OTA receiver against a hand-driven PC.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include "ImageWriter.h"
#include "OtaAuth.h"
#include "QtPrinters.h"
#include "ToolsHarness.h"

using namespace tools_test;

namespace {

const QString kPassword = QStringLiteral("QN5KDL4072");
const QByteArray kNoticeOk = Hex("02 00 44 02 4F 4B 03 E5 0D");
const QByteArray kNoticeBr = Hex("02 00 44 02 42 52 03 DF 0D");

// A test's name from its case's: letters and digits, the rest '_'.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& testInfo) {
    std::string name = testInfo.param.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

class EspotaAgainstSim : public ::testing::Test {
  protected:
    // An image file; size default keeps each upload short.
    QString writeImage(const QString& name, QByteArray bytes = {}) {
        if (bytes.isEmpty()) bytes = image(200000);
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    static QByteArray image(qint64 size) {
        QString error;
        return ifb::espimage::MakeFirmwareImage(QStringLiteral("1022IFB00"), size, &error);
    }
    // The board already in OTA mode with the PC joined.
    void startBoard(QStringList extra = {}) {
        otaPort = FreeUdpPort();
        ASSERT_TRUE(sim.start(
            QStringList{"--ota-at-start", "--ap-join-ms", "0", "--ota-port", QString::number(otaPort)} +
            extra));
        ASSERT_TRUE(port.open(sim.where()));
        const auto join = sim.waitForEvent(QStringLiteral("join"), 3000);
        ASSERT_TRUE(join.has_value());
        ASSERT_TRUE(join->value("listening").toBool());
    }
    ToolRun espota(const QString& file, QStringList extra = {}) {
        return RunTool(QStringLiteral("espota"),
                       QStringList{"-i", "127.0.0.1", "-p", QString::number(otaPort), "-f", file} + extra);
    }
    // Restart the board and read its ROM version once it is back.
    QString romAfterRestart() {
        const int readyBefore = static_cast<int>(sim.events(QStringLiteral("ready")).size());
        EXPECT_TRUE(port.request(Hex("0A")).has_value());
        sim.waitForEvent(QStringLiteral("ready"), 3000, [&](const QJsonObject&) {
            return sim.events(QStringLiteral("ready")).size() > readyBefore;
        });
        const auto rom = port.request(Hex("90"));
        return rom ? QString::fromLatin1(rom->mid(5, rom->size() - 8)) : QStringLiteral("<no reply>");
    }

    QTemporaryDir dir;
    SimProcess sim;
    PtyPort port;
    quint16 otaPort = 0;
};

struct LoginCase {
    const char* name;
    QStringList simArguments;
    QStringList espotaArguments;
    int exitCode;
    const char* stderrText;
    int logins;  // login events the board logged
};

void PrintTo(const LoginCase& c, std::ostream* os) {
    *os << c.name;
}

class EspotaLogin : public EspotaAgainstSim, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(EspotaLogin, LogsInOrFailsAsTheBoardAnswers) {
    const LoginCase& c = GetParam();
    startBoard(c.simArguments);
    const ToolRun run = espota(writeImage(QStringLiteral("fw.bin")), c.espotaArguments);
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QLatin1String(c.stderrText))) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << "espota writes to stderr only";
    EXPECT_EQ(sim.events(QStringLiteral("login")).size(), c.logins);
    if (c.exitCode == 0) {
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("Sending invitation to 127.0.0.1 \n")))
            << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(QStringLiteral("ERROR")));
        EXPECT_EQ(sim.events(QStringLiteral("verdict")).first().value("result").toString(),
                  QStringLiteral("OK"));
        EXPECT_EQ(HexOf(*port.nextFrame(2000)), HexOf(kNoticeOk));
    } else {
        EXPECT_TRUE(run.err.contains(QStringLiteral("[ERROR]: Authentication Failed\n")))
            << run.err.toStdString();
        EXPECT_TRUE(sim.events(QStringLiteral("connect")).isEmpty());
    }
}

const LoginCase kLoginCases[] = {
    {"md5", {}, {"-a", kPassword}, 0, "Authenticating (MD5 protocol)...OK\n", 1},
    {"pbkdf2", {"--ota-auth", "pbkdf2"}, {"--auth=" + kPassword}, 0, "Authenticating...OK\n", 1},
    {"pbkdf2 with stored md5, retried",
     {"--ota-auth", "pbkdf2-md5"},
     {"-a", kPassword},
     0,
     "Authenticating...Retrying with MD5 password...Sending invitation to 127.0.0.1 \n"
     "Authenticating (SHA256 protocol with MD5 password)...OK\n",
     2},
    {"pbkdf2 with stored md5, -m",
     {"--ota-auth", "pbkdf2-md5"},
     {"-m", "-a", kPassword},
     0,
     "Authenticating (SHA256 protocol with MD5 password)...OK\n",
     1},
    {"no password", {"--ota-auth", "none"}, {}, 0, "Uploading", 0},
    {"md5 wrong password", {}, {"-a", "WRONG"}, 1, "Authenticating (MD5 protocol)...FAIL\n", 1},
    {"pbkdf2 wrong password", {"--ota-auth", "pbkdf2"}, {"-a", "WRONG"}, 1, "Retrying with MD5 password", 2},
};

INSTANTIATE_TEST_SUITE_P(Logins, EspotaLogin, ::testing::ValuesIn(kLoginCases), CaseName<LoginCase>);

TEST_F(EspotaAgainstSim, WholeUpdateOverTheSerialLinkAndWiFi) {
    otaPort = FreeUdpPort();
    ASSERT_TRUE(sim.start({"--ap-join-ms", "200", "--ota-port", QString::number(otaPort)}));
    ASSERT_TRUE(port.open(sim.where()));
    ASSERT_TRUE(port.request(Hex("0B 02 01")).has_value());
    QElapsedTimer clock;
    clock.start();
    bool joined = false;
    while (!joined && clock.elapsed() < 3000) {
        const auto mode = port.request(Hex("00"));
        joined = mode && mode->at(7) == 1;
        if (!joined) QThread::msleep(50);  // the updater polls every 500 ms
    }
    ASSERT_TRUE(joined);

    const ToolRun run = espota(
        writeImage(QStringLiteral("UOf.bin"), image(ifb::espimage::kDefaultFirmwareSize)), {"-a", kPassword});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith(QStringLiteral("Uploading") + QString(1563, QLatin1Char('.'))))
        << run.err.right(80).toStdString();
    EXPECT_EQ(HexOf(*port.nextFrame(2000)), HexOf(kNoticeOk));
    EXPECT_EQ(HexOf(*port.request(Hex("90"))), HexOf(OracleFrame(0x30, Hex("90") + "1021IFB00")))
        << "the new firmware runs only after a restart";
    EXPECT_EQ(romAfterRestart(), QStringLiteral("1022IFB00"));
}

struct RejectCase {
    const char* name;
    QStringList simArguments;
    std::function<void(QByteArray&)> damage;
    int exitCode;
    const char* stderrText;  // empty: none expected
    QByteArray notice;       // empty: none
    const char* romAfterRestart;
};

void PrintTo(const RejectCase& c, std::ostream* os) {
    *os << c.name;
}

class EspotaOutcome : public EspotaAgainstSim, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(EspotaOutcome, TheBoardsVerdictReachesEspotaAndTheSerialLink) {
    const RejectCase& c = GetParam();
    startBoard(c.simArguments);
    QByteArray bytes = image(200000);
    if (c.damage) c.damage(bytes);
    const ToolRun run = espota(writeImage(QStringLiteral("fw.bin"), bytes), {"-a", kPassword});
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
    if (*c.stderrText) {
        EXPECT_TRUE(run.err.contains(QLatin1String(c.stderrText))) << run.err.toStdString();
    }
    const auto notice = port.nextFrame(c.notice.isEmpty() ? 500 : 2000);
    if (c.notice.isEmpty())
        EXPECT_FALSE(notice.has_value());
    else
        EXPECT_EQ(notice ? HexOf(*notice) : QString(), HexOf(c.notice));
    EXPECT_EQ(romAfterRestart(), QLatin1String(c.romAfterRestart));
}

const RejectCase kRejectCases[] = {
    {"flash write error",
     {"--ota-corrupt"},
     {},
     1,
     "[WARNING]: Unexpected response from device: 'MD5 Check Failed'\n",
     kNoticeBr,
     "1021IFB00"},
    {"not an app image",
     {},
     [](QByteArray& b) { b[0] = 0x00; },
     1,
     "'Wrong Magic Byte'",
     kNoticeBr,
     "1021IFB00"},
    {"broken image",
     {},
     [](QByteArray& b) { b[5000] = static_cast<char>(b[5000] ^ 1); },
     1,
     "'Could Not Activate The Firmware'",
     kNoticeBr,
     "1021IFB00"},
    {"forced BR", {"--ota-result", "br"}, {}, 0, "", kNoticeBr, "1021IFB00"},
    {"no notice", {"--ota-result", "none"}, {}, 0, "", {}, "1022IFB00"},
};

INSTANTIATE_TEST_SUITE_P(Verdicts, EspotaOutcome, ::testing::ValuesIn(kRejectCases), CaseName<RejectCase>);

TEST_F(EspotaAgainstSim, NoBoardMeansTenTriesAndNoResponse) {
    startBoard({"--silent"});
    otaPort = FreeUdpPort();  // nobody listens there
    QElapsedTimer clock;
    clock.start();
    const ToolRun run = espota(writeImage(QStringLiteral("fw.bin")), {"-t", "0.15"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("Sending invitation to 127.0.0.1 ..........\n")))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith(QStringLiteral(" [ERROR]: No response from the ESP\n")))
        << run.err.toStdString();
    EXPECT_GE(clock.elapsed(), 1400);
}

TEST_F(EspotaAgainstSim, BindsTheGivenHostPortAndReportsABusyOne) {
    startBoard({"--ota-auth", "none"});
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 hostPort = probe.serverPort();
    probe.close();
    const ToolRun ok =
        espota(writeImage(QStringLiteral("fw.bin")), {"-I", "127.0.0.1", "-P", QString::number(hostPort)});
    ASSERT_EQ(ok.exitCode, 0) << ok.err.toStdString();
    EXPECT_EQ(sim.events(QStringLiteral("invitation")).first().value("port").toInt(), hostPort);
    EXPECT_EQ(sim.events(QStringLiteral("connect")).first().value("port").toInt(), hostPort);

    QTcpServer busy;
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost, hostPort));
    const ToolRun taken =
        espota(writeImage(QStringLiteral("fw.bin")), {"-I", "127.0.0.1", "-P", QString::number(hostPort)});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_TRUE(
        taken.err.contains(QStringLiteral("[ERROR]: Listen Failed: [Errno 98] Address already in use")))
        << taken.err.toStdString();
}

// A board that answers the invitation oddly.
TEST(EspotaOddBoard, ReportsBadAnswersAndNonceLengths) {
    const struct {
        QByteArray answer;
        const char* error;
    } cases[] = {{"HELLO", "[ERROR]: Bad Answer: HELLO\n"},
                 {"AUTH 123", "[ERROR]: Invalid nonce length: 3 (expected 32 or 64)\n"},
                 {"AUTH", "[ERROR]: Invalid nonce length: 0 (expected 32 or 64)\n"}};
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("fw.bin"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QByteArray(2000, '\xE9'));
    out.close();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.toStdString());
        QUdpSocket board;
        ASSERT_TRUE(board.bind(QHostAddress::LocalHost, 0));
        QProcess espota;
        espota.start(
            BinPath(QStringLiteral("espota")),
            {"-i", "127.0.0.1", "-p", QString::number(board.localPort()), "-a", "x", "-f", file, "-t", "2"});
        ASSERT_TRUE(board.waitForReadyRead(5000));
        const QNetworkDatagram invitation = board.receiveDatagram();
        EXPECT_TRUE(invitation.data().startsWith("0 "));
        EXPECT_TRUE(invitation.data().endsWith(" " + ifb::ota::Md5Hex(QByteArray(2000, '\xE9')) + "\n"));
        board.writeDatagram(c.answer, invitation.senderAddress(),
                            static_cast<quint16>(invitation.senderPort()));
        ASSERT_TRUE(espota.waitForFinished(10000));
        EXPECT_EQ(espota.exitCode(), 1);
        EXPECT_TRUE(QString::fromLocal8Bit(espota.readAllStandardError()).endsWith(QLatin1String(c.error)));
    }
}

TEST(EspotaCommandLine, ExitCodesForHelpSyntaxAndMissingArguments) {
    const struct {
        QStringList arguments;
        int exitCode;
        const char* text;
    } cases[] = {
        {{"-h"}, 0, "usage: espota [-h]"},
        {{"-i", "127.0.0.1", "-f", "x", "-p", "abc"},
         2,
         "espota: error: argument -p/--port: invalid int value: 'abc'"},
        {{"-i", "127.0.0.1", "-f", "x", "--bogus"}, 2, "espota: error: unrecognized arguments: --bogus"},
        {{"-i", "127.0.0.1", "-f"}, 2, "espota: error: argument -f/--file: expected one argument"},
        {{"-i", "127.0.0.1", "-f", "x", "-t", "soon"}, 2, "espota: error: argument -t/--timeout"},
        {{"-i", "127.0.0.1", "-f", "x", "-p", "70000"},
         2,
         "espota: error: argument -p/--port: port must be 1-65535"},
        {{"-i", "127.0.0.1", "-f", "x", "--retries", "many"},
         2,
         "espota: error: argument --retries: invalid int value: 'many'"},
        {{"-i", "127.0.0.1", "-f", "x", "--retries", "-1"},
         2,
         "espota: error: argument --retries: expected one argument"},
        {{"-i", "127.0.0.1", "-f", "x", "--retries=101"},
         2,
         "espota: error: argument --retries: must be 0-100"},
        {{"-i", "127.0.0.1", "-f", "x", "--stop-and-wait=1"},
         2,
         "espota: error: argument --stop-and-wait: ignored explicit argument '1'"},
        {{"-f", "x"}, 1, " [CRITICAL]: Not enough arguments.\n"},
        {{"-i", "127.0.0.1"}, 1, " [CRITICAL]: Not enough arguments.\n"},
        {{"-i", "127.0.0.1", "-f", "/nonexistent/fw.bin"},
         1,
         " [ERROR]: Cannot read image file /nonexistent/fw.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ToolRun run = RunTool(QStringLiteral("espota"), c.arguments, 10000);
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE((run.out + run.err).contains(QLatin1String(c.text))) << (run.out + run.err).toStdString();
    }
}

// ---- streaming, fast invitations, retries ----

// The progress text of a run: everything from "Uploading" on, without the log lines.
QString ProgressText(const QString& err) {
    QString text = err.mid(err.indexOf(QLatin1String("Uploading")));
    static const QRegularExpression logLine(QStringLiteral("\\d\\d:\\d\\d:\\d\\d \\[[A-Z]+\\]: [^\\n]*\\n"));
    return text.remove(logLine);
}

struct StreamCase {
    const char* name;
    QStringList simArguments;
    QStringList espotaArguments;
    qint64 size;
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name;
}

class EspotaStreams : public EspotaAgainstSim, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(EspotaStreams, TheImageArrivesIntactWithTheClassicProgress) {
    const StreamCase& c = GetParam();
    startBoard(c.simArguments);
    // Small files go up as a filesystem image, which the board does not check for an app's layout.
    const QByteArray bytes = c.size < 4096 ? QByteArray(c.size, '\xE9') : image(c.size);
    const ToolRun run = espota(writeImage(QStringLiteral("fw.bin"), bytes), c.espotaArguments);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QLatin1String("rror"))) << run.err.toStdString();
    // The board checked the image's MD5 and layout before its OK.
    const auto verdicts = sim.events(QStringLiteral("verdict"));
    ASSERT_EQ(verdicts.size(), 1);
    EXPECT_EQ(verdicts.first().value("result").toString(), QStringLiteral("OK"));
    EXPECT_EQ(sim.events(QStringLiteral("connect")).size(), 1);
    const qint64 chunks = (bytes.size() + 1023) / 1024;
    if (c.espotaArguments.contains(QLatin1String("-r"))) {
        const QString progress = ProgressText(run.err);
        EXPECT_TRUE(
            progress.startsWith(QStringLiteral("Uploading: [") + QString(60, QLatin1Char(' ')) + "] 0% "))
            << progress.left(80).toStdString();
        EXPECT_EQ(progress.count(QLatin1Char('\r')), 101)
            << "a frame per percent (the first one's CR is before \"Uploading\"), and the final CR LF";
        EXPECT_TRUE(progress.endsWith(QStringLiteral("] 100% Done...\r\n")));
    } else {
        EXPECT_TRUE(run.err.endsWith(QStringLiteral("Uploading") + QString(chunks, QLatin1Char('.'))))
            << run.err.right(80).toStdString();
    }
}

const StreamCase kStreamCases[] = {
    {"md5 login", {}, {"-a", kPassword}, 300000},
    {"pbkdf2 login", {"--ota-auth", "pbkdf2"}, {"-a", kPassword}, 300000},
    {"slow link and flash, answers pile up",
     {"--ota-rtt-ms", "20", "--ota-flash-kBps", "400"},
     {"-a", kPassword},
     300000},
    {"progress bar", {"--ota-flash-kBps", "2000"}, {"-a", kPassword, "-r"}, 300000},
    {"stop-and-wait", {}, {"-a", kPassword, "--stop-and-wait"}, 300000},
    {"stop-and-wait progress bar", {}, {"-a", kPassword, "--stop-and-wait", "-r"}, 300000},
    {"one chunk", {"--ota-auth", "none"}, {"-s"}, 1024},
    {"one byte", {"--ota-auth", "none"}, {"-s"}, 1},
    {"a chunk and a byte", {"--ota-auth", "none"}, {"-s"}, 1025},
};

INSTANTIATE_TEST_SUITE_P(Uploads, EspotaStreams, ::testing::ValuesIn(kStreamCases), CaseName<StreamCase>);

struct RetryCase {
    const char* name;
    QStringList simArguments;
    QStringList espotaArguments;
    std::function<void(QByteArray&)> damage;
    int exitCode;
    const char* lastLine;  // in stderr
    int connects;          // data connections the board opened
    bool retried;
};

void PrintTo(const RetryCase& c, std::ostream* os) {
    *os << c.name;
}

class EspotaRetries : public EspotaAgainstSim, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(EspotaRetries, OnlyANetworkFailureIsTriedAgain) {
    const RetryCase& c = GetParam();
    startBoard(c.simArguments);
    QByteArray bytes = image(1000000);  // far more than the sockets hold when the cut comes
    if (c.damage) c.damage(bytes);
    const ToolRun run = espota(writeImage(QStringLiteral("fw.bin"), bytes), c.espotaArguments);
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QLatin1String(c.lastLine))) << run.err.toStdString();
    EXPECT_EQ(sim.events(QStringLiteral("connect")).size(), c.connects);
    EXPECT_EQ(run.err.contains(QStringLiteral("; inviting again (try 2 of 2)\n")), c.retried)
        << run.err.toStdString();
    if (c.exitCode == 0) {
        EXPECT_FALSE(run.err.contains(QLatin1String("Error")) || run.err.contains(QLatin1String("ERROR")))
            << "a try that worked leaves nothing an error reader would count";
        EXPECT_EQ(sim.events(QStringLiteral("verdict")).last().value("result").toString(),
                  QStringLiteral("OK"));
    }
}

const RetryCase kRetryCases[] = {
    {"cut at half, retried",
     {"--ota-close-after", "500000:1", "--ota-flash-kBps", "5000"},
     {"-a", kPassword},
     {},
     0,
     ".",
     2,
     true},
    {"cut at half, stop-and-wait retried",
     {"--ota-close-after", "500000:1", "--ota-flash-kBps", "5000"},
     {"-a", kPassword, "--stop-and-wait"},
     {},
     0,
     ".",
     2,
     true},
    {"cut at half, no retries",
     {"--ota-close-after", "500000:1", "--ota-flash-kBps", "5000"},
     {"-a", kPassword, "--retries", "0"},
     {},
     1,
     " [ERROR]: Error Uploading: The remote host closed the connection\n",
     1,
     false},
    {"cut every time",
     {"--ota-close-after", "500000", "--ota-flash-kBps", "5000"},
     {"-a", kPassword},
     {},
     1,
     " [ERROR]: Error Uploading: The remote host closed the connection\n",
     2,
     true},
    {"wrong password", {}, {"-a", "WRONG"}, {}, 1, " [ERROR]: Authentication Failed\n", 0, false},
    {"rejected image",
     {},
     {"-a", kPassword},
     [](QByteArray& b) { b[0] = 0x00; },
     1,
     "[WARNING]: Unexpected response from device: 'Wrong Magic Byte'\n",
     1,
     false},
    {"no connection back",
     {"--ota-no-connect-back"},
     {"-a", kPassword},
     {},
     1,
     " [ERROR]: No response from device\n",
     2,
     true},
};

INSTANTIATE_TEST_SUITE_P(Failures, EspotaRetries, ::testing::ValuesIn(kRetryCases), CaseName<RetryCase>);

TEST_F(EspotaAgainstSim, ABoardThatListensLateCostsAMomentNotATry) {
    otaPort = FreeUdpPort();
    ASSERT_TRUE(sim.start({"--ota-at-start", "--ap-join-ms", "300", "--ota-port", QString::number(otaPort),
                           "--ota-auth", "none"}));
    const ToolRun run = espota(writeImage(QStringLiteral("fw.bin"), image(20000)));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("Sending invitation to 127.0.0.1 \n"))) << "no try went by";
    const auto join = sim.events(QStringLiteral("join"));
    const auto connect = sim.events(QStringLiteral("connect"));
    ASSERT_EQ(join.size(), 1);
    ASSERT_EQ(connect.size(), 1);
    EXPECT_LT(connect.first().value("t").toInteger() - join.first().value("t").toInteger(), 1000);
}

TEST_F(EspotaAgainstSim, ABoardThatNeverAnswersStillGetsTenTriesAndTheSameEnd) {
    startBoard({"--ota-ignore-invitations"});
    QElapsedTimer clock;
    clock.start();
    const ToolRun run = espota(writeImage(QStringLiteral("fw.bin")), {"-t", "0.5"});
    const qint64 ms = clock.elapsed();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("Sending invitation to 127.0.0.1 ..........\n")))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith(QStringLiteral(" [ERROR]: No response from the ESP\n")))
        << run.err.toStdString();
    EXPECT_GE(ms, 5000);
    EXPECT_LT(ms, 7000);
    // Sent at 0, 0.25 and 0.75 s, then every 0.5 s up to 4.75 s.
    EXPECT_EQ(sim.events(QStringLiteral("invitation")).size(), 11);
}

TEST_F(EspotaAgainstSim, FilesItCannotUploadEndAsTheClassicToolEnds) {
    startBoard({"--ota-auth", "none"});
    const auto emptyFile = [&] {
        QFile file(dir.filePath(QStringLiteral("empty.bin")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return file.fileName();
    };
    const struct {
        const char* what;
        QString file;
        QStringList extra;
        const char* lastLine;
    } cases[] = {
        // The board refuses an empty image before it connects.
        {"empty", emptyFile(), {"--retries", "0"}, " [ERROR]: No response from device\n"},
        {"missing", dir.filePath(QStringLiteral("none.bin")), {}, ": No such file or directory\n"},
        {"a folder", dir.path(), {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun run = espota(c.file, c.extra);
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.endsWith(QLatin1String(c.lastLine))) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String("[ERROR]: "))) << run.err.toStdString();
    }
    EXPECT_TRUE(sim.events(QStringLiteral("connect")).isEmpty());
}

// ---- the board's receiver against a PC driven by hand ----

class HandDrivenPc : public EspotaAgainstSim {
  protected:
    // Invites the board (no password) and returns the data connection it opens.
    QTcpSocket* invite(qint64 size, const QByteArray& md5) {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QUdpSocket udp;
        udp.writeDatagram(QByteArrayLiteral("0 ") + QByteArray::number(server.serverPort()) + ' ' +
                              QByteArray::number(size) + ' ' + md5 + '\n',
                          QHostAddress::LocalHost, otaPort);
        EXPECT_TRUE(udp.waitForReadyRead(2000));
        EXPECT_EQ(udp.receiveDatagram().data(), QByteArray("OK"));
        if (!server.waitForNewConnection(2000)) return nullptr;
        return server.nextPendingConnection();
    }
    QTcpServer server;
};

TEST_F(HandDrivenPc, APcThatVanishesMidUploadTimesOutAndTheBoardGoesBackToIdle) {
    startBoard({"--ota-auth", "none", "--ota-timeout-ms", "100"});
    // Garbage first: the receiver ignores it.
    QUdpSocket noise;
    for (const char* junk : {"hello", "0 1 2 short-md5\n", "\xff\xfe", "200 a b\n"})
        noise.writeDatagram(QByteArray(junk), QHostAddress::LocalHost, otaPort);
    ASSERT_TRUE(sim.waitForEvent(QStringLiteral("invitation"), 2000, [](const QJsonObject& e) {
        return e.value("text").toString() == QStringLiteral("200 a b\n");
    }));

    const QByteArray bytes = image(200000);
    QTcpSocket* data = invite(bytes.size(), ifb::ota::Md5Hex(bytes));
    ASSERT_NE(data, nullptr);
    data->write(bytes.left(3000));
    ASSERT_TRUE(data->waitForBytesWritten(2000));
    QByteArray counts;
    while (counts.size() < 8 && data->waitForReadyRead(1000)) counts += data->readAll();
    EXPECT_TRUE(counts.startsWith("1460")) << counts.toStdString();  // reads of at most one segment
    // ... and then the PC is gone without a word. The board prods three times, then gives up.
    const auto verdict = sim.waitForEvent(QStringLiteral("verdict"), 3000);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_EQ(verdict->value("result").toString(), QStringLiteral("Receive Failed"));
    EXPECT_EQ(verdict->value("received").toInt(), 3000);
    EXPECT_EQ(HexOf(*port.nextFrame(1000)), HexOf(kNoticeBr));
    while (data->waitForReadyRead(200)) counts += data->readAll();
    EXPECT_EQ(counts, QByteArray("14601460") + "80" + "80" + "80" + "80");

    const ToolRun run = espota(writeImage(QStringLiteral("fw.bin"), bytes));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
}

TEST_F(HandDrivenPc, ClosingTheConnectionEndsTheUploadAtOnce) {
    startBoard({"--ota-auth", "none"});
    const QByteArray bytes = image(200000);
    QTcpSocket* data = invite(bytes.size(), ifb::ota::Md5Hex(bytes));
    ASSERT_NE(data, nullptr);
    data->write(bytes.left(5000));
    data->waitForBytesWritten(2000);
    data->waitForReadyRead(1000);
    data->abort();
    const auto verdict = sim.waitForEvent(QStringLiteral("verdict"), 500);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_EQ(verdict->value("result").toString(), QStringLiteral("Receive Failed"));
}

TEST_F(HandDrivenPc, TheLinkEmulationDelaysEveryAnswerAndTheFlashSetsThePace) {
    startBoard({"--ota-auth", "none", "--ota-rtt-ms", "150", "--ota-flash-kBps", "200"});
    const QByteArray bytes = image(100000);
    QTcpSocket* data = invite(bytes.size(), ifb::ota::Md5Hex(bytes));
    ASSERT_NE(data, nullptr);
    QElapsedTimer clock;
    clock.start();
    data->write(bytes);  // all at once: the board's window holds it back
    QByteArray answers;
    qint64 firstAnswerMs = -1;
    while (!answers.contains("OK") && clock.elapsed() < 5000 && data->waitForReadyRead(2000)) {
        if (firstAnswerMs < 0) firstAnswerMs = clock.elapsed();
        answers += data->readAll();
    }
    EXPECT_TRUE(answers.endsWith("OK")) << answers.right(40).toStdString();
    EXPECT_GE(firstAnswerMs, 150);
    // 100 kB at 200 kB/s (less the few segments a board buffers), then the OK a round trip later.
    EXPECT_GE(clock.elapsed(), 470 + 150 - 20);
    EXPECT_LT(clock.elapsed(), 2000);
    const auto verdict = sim.events(QStringLiteral("verdict"));
    ASSERT_EQ(verdict.size(), 1);
    EXPECT_EQ(verdict.first().value("result").toString(), QStringLiteral("OK"));
}

TEST_F(HandDrivenPc, AnOversizedImageIsRefusedBeforeConnecting) {
    startBoard({"--ota-auth", "none", "--ota-partition", "100000"});
    EXPECT_EQ(invite(100004, QByteArray(32, 'a')), nullptr);
    const auto verdict = sim.events(QStringLiteral("verdict"));
    ASSERT_EQ(verdict.size(), 1);
    EXPECT_EQ(verdict.first().value("result").toString(), QStringLiteral("Bad Size Given"));
    EXPECT_FALSE(port.nextFrame(300).has_value()) << "no serial notice for a refused start";
}

// ---- espota against a board that misbehaves, driven by hand ----

enum class Misdeed { CoalescedAnswers, Garbage, NeverOk, OkEarly, CloseAfterLastByte, AcceptsTwice };

struct MisdeedCase {
    const char* name;
    Misdeed misdeed;
    int exitCode;
    const char* stderrText;
    const char* notInStderr;
};

void PrintTo(const MisdeedCase& c, std::ostream* os) {
    *os << c.name;
}

class EspotaBadBoard : public ::testing::TestWithParam<MisdeedCase> {
  protected:
    // Plays the board for one upload of size bytes with no password; returns the bytes it got.
    QByteArray playBoard(Misdeed misdeed, QProcess& espota) {
        const int invitations = misdeed == Misdeed::AcceptsTwice ? 2 : 1;  // the second one a re-send
        QList<QNetworkDatagram> seen;
        while (seen.size() < invitations && udp.waitForReadyRead(3000))
            while (udp.hasPendingDatagrams()) seen.append(udp.receiveDatagram());
        EXPECT_EQ(seen.size(), invitations);
        if (seen.isEmpty()) return {};
        for (const QNetworkDatagram& invitation : seen)
            udp.writeDatagram("OK", invitation.senderAddress(),
                              static_cast<quint16>(invitation.senderPort()));
        const QList<QByteArray> words = seen.first().data().trimmed().split(' ');
        const auto port = static_cast<quint16>(words.value(1).toUInt());
        const qint64 size = words.value(2).toLongLong();
        QTcpSocket data;
        data.connectToHost(QHostAddress::LocalHost, port);
        EXPECT_TRUE(data.waitForConnected(3000));
        QTcpSocket second;
        if (misdeed == Misdeed::AcceptsTwice) second.connectToHost(QHostAddress::LocalHost, port);

        QByteArray got;
        QByteArray pending;
        while (got.size() < size && data.waitForReadyRead(5000)) {
            const QByteArray bytes = data.readAll();
            got += bytes;
            const QByteArray count = QByteArray::number(bytes.size());
            switch (misdeed) {
                case Misdeed::CoalescedAnswers:
                    // Counts run together, a few at a time, the OK glued to the last ones.
                    pending += count;
                    if (pending.size() > 40 || got.size() == size) {
                        data.write(pending + (got.size() == size ? "OK" : ""));
                        pending.clear();
                    }
                    break;
                case Misdeed::Garbage:
                    data.write("\x01garbage?");
                    break;
                case Misdeed::OkEarly:
                    break;
                default:
                    data.write(count);
                    break;
            }
            data.flush();
            if (misdeed == Misdeed::OkEarly) {
                // ... and takes no more, so the rest of the image is still to be sent.
                data.write("OK");
                data.flush();
                break;
            }
        }
        if (misdeed == Misdeed::AcceptsTwice && got.size() == size) {
            data.write("OK");
            data.waitForBytesWritten(1000);
        }
        if (misdeed == Misdeed::CloseAfterLastByte || misdeed == Misdeed::AcceptsTwice)
            data.disconnectFromHost();
        // NeverOk keeps the connection open without a word until espota gives up.
        espota.waitForFinished(60000);
        if (misdeed == Misdeed::AcceptsTwice) {
            EXPECT_TRUE(second.state() != QAbstractSocket::ConnectedState || !second.waitForReadyRead(100))
                << "the second connection carries nothing";
        }
        return got;
    }
    QUdpSocket udp;
};

TEST_P(EspotaBadBoard, EndsWithTheRightVerdictAndNoHang) {
    const MisdeedCase& c = GetParam();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("fw.bin"));
    // More than the sockets' buffers hold, so a board that stops reading holds espota up.
    QByteArray bytes(3000000, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    ASSERT_TRUE(udp.bind(QHostAddress::LocalHost, 0));
    QProcess espota;
    espota.start(BinPath(QStringLiteral("espota")),
                 {"-i", "127.0.0.1", "-p", QString::number(udp.localPort()), "-f", file, "--retries", "0"});
    const QByteArray got = playBoard(c.misdeed, espota);
    ASSERT_EQ(espota.state(), QProcess::NotRunning);
    const QString err = QString::fromLocal8Bit(espota.readAllStandardError());
    EXPECT_EQ(espota.exitCode(), c.exitCode) << err.toStdString();
    EXPECT_TRUE(err.contains(QLatin1String(c.stderrText))) << err.toStdString();
    if (*c.notInStderr) {
        EXPECT_FALSE(err.contains(QLatin1String(c.notInStderr))) << err.toStdString();
    }
    if (c.exitCode == 0) {
        EXPECT_EQ(got, bytes);
    }
}

const MisdeedCase kMisdeeds[] = {
    {"coalesced answers", Misdeed::CoalescedAnswers, 0, "Uploading", "rror"},
    {"garbage answers", Misdeed::Garbage, 1, "[WARNING]: Unexpected response from device: '\x01garbage?", ""},
    {"never OK", Misdeed::NeverOk, 1, "[ERROR]: No response from device after upload completion\n", ""},
    // espota.py takes an early OK as success; a board cannot have checked an image it has not got.
    {"OK early", Misdeed::OkEarly, 1, "[WARNING]: Unexpected response from device: 'OK'\n", ""},
    {"closes after the last byte without a word", Misdeed::CloseAfterLastByte, 1,
     "[ERROR]: Error response from device\n", "Unexpected"},
    {"accepts the invitation twice", Misdeed::AcceptsTwice, 0, "Uploading", "rror"},
};

INSTANTIATE_TEST_SUITE_P(Misdeeds, EspotaBadBoard, ::testing::ValuesIn(kMisdeeds), CaseName<MisdeedCase>);

}  // namespace
