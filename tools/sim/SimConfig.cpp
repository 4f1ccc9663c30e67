#include "SimConfig.h"

#include <QCommandLineParser>

namespace ifb::sim {
namespace {

struct Parse {
    QCommandLineParser& parser;
    QString* error;

    bool fail(const QString& message) {
        if (error->isEmpty()) *error = message;
        return false;
    }

    bool integer(const QString& name, int min, int max, int* out) {
        if (!parser.isSet(name)) return true;
        bool ok = false;
        const int value = parser.value(name).toInt(&ok, 10);
        if (!ok || value < min || value > max)
            return fail(QStringLiteral("--%1 needs a number from %2 to %3").arg(name).arg(min).arg(max));
        *out = value;
        return true;
    }

    bool port(const QString& text, const QString& name, quint16* out) {
        bool ok = false;
        const uint value = text.toUInt(&ok);
        if (!ok || value > 65535) return fail(QStringLiteral("--%1: bad port \"%2\"").arg(name, text));
        *out = static_cast<quint16>(value);
        return true;
    }

    void text(const QString& name, QByteArray* out) {
        if (parser.isSet(name)) *out = parser.value(name).toLatin1();
    }
};

}  // namespace

std::optional<SimConfig> ParseSimCommandLine(const QStringList& arguments, QString* error, QString* helpText,
                                             bool* helpRequested) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated interface board: serial frames on a pty or TCP, "
                       "and the board's OTA receiver."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const auto flag = [&](const char* name, const char* help) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help)));
    };
    const auto value = [&](const char* name, const char* help, const char* valueName) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help),
                                            QString::fromLatin1(valueName)));
    };
    parser.addHelpOption();
    flag("pty", "Serve the frames on a new pty (default); its path is the first line on stdout.");
    value("link", "With --pty: make PATH a symlink to the pty.", "PATH");
    value("tcp-listen", "Serve the frames to a TCP client on 127.0.0.1:PORT (0 = any free port).", "PORT");
    value("tcp-connect", "Serve the frames over a TCP connection to HOST:PORT.", "HOST:PORT");
    value("mode", "Board operation mode (default 3).", "N");
    value("model", "Model name (default PL-RZ41-IFB).", "TEXT");
    value("rom", "ROM version (default 1021IFB00).", "TEXT");
    value("rom-after-update", "ROM version after a good update (default: the image's version).", "TEXT");
    value("target-id", "Target id, hexadecimal (default 1234).", "HEX");
    value("ssid", "Station SSID.", "TEXT");
    value("password", "Station pass phrase.", "TEXT");
    value("ap-ssid", "SSID of the board's access point.", "TEXT");
    value("restart-ms", "Quiet time after a restart (default 300).", "N");
    value("update-boot-ms",
          "Quiet time of the restart that boots a newly received image (default: --restart-ms).", "N");
    flag("keep-mode", "Acknowledge SetIFBMode but keep the mode.");
    value("net-tcp-port", "TCP port in the network block (default 5000).", "PORT");
    value("net-address", "IPv4 address in the network block (default 192.168.0.20).", "ADDR");
    value("net-field1", "16-bit field after the address in the network block (default 5001).", "N");
    value("net-field2", "32-bit field after that (default 3232235530).", "N");
    value("ota-host", "OTA receiver address, also reported by the board (default 127.0.0.1).", "ADDR");
    value("ota-port", "OTA UDP port (default 3232).", "PORT");
    value("ap-port",
          "Port the board reports for its access point (default: the OTA port); "
          "the receiver stays on --ota-port.",
          "PORT");
    value("ota-password", "OTA password (default QN5KDL4072; empty = none).", "TEXT");
    value("ota-auth", "OTA login: md5, pbkdf2, pbkdf2-md5 or none (default md5).", "KIND");
    value("ota-partition", "Size of the app partition in bytes (default 1966080).", "N");
    value("ap-join-ms", "Time until the PC counts as joined in OTA mode (default 500).", "N");
    flag("never-join", "The PC never joins the access point.");
    value("ota-result", "Serial notice after an upload: ok (the verdict), br, none.", "KIND");
    flag("ota-at-start", "Start in OTA mode, as if told so on the serial link.");
    value("ota-timeout-ms", "OTA receiver's idle time-out per read (default 1000).", "N");
    flag("ota-corrupt", "Flip one received image byte (a bad flash write): the MD5 check fails.");
    value("ota-rtt-ms",
          "Every answer of the OTA receiver (UDP and TCP) leaves N ms after what it answers, as over a link "
          "with that round trip; data keeps being read meanwhile (default 0).",
          "N");
    value("ota-flash-kBps",
          "The OTA receiver takes at most N kB/s (1 kB = 1000 bytes), as a board's flash does; TCP's window "
          "closes while it is busy (default 0: no limit).",
          "N");
    flag("ota-ignore-invitations", "The OTA receiver never answers an invitation.");
    flag("ota-no-connect-back",
         "The OTA receiver answers the invitation (and the login) but never connects back to the PC.");
    value("ota-close-after",
          "Cut the OTA data connection (reset) after N bytes received, in the first K uploads "
          "(default: every upload).",
          "N[:K]");
    flag("silent", "Answer nothing.");
    value("ignore-first", "Ignore the first N requests.", "N");
    value("nack-first", "NACK the first N requests (reason default 0).", "N[:REASON]");
    value("bad-sum-first", "Send the first N replies with a wrong sum.", "N");
    flag("noise", "Send garbage bytes before each reply.");
    flag("split", "Send replies byte by byte.");
    value("reply-delay-ms", "Delay every reply by N ms.", "N");
    value("hangup-after", "Close the port after answering N requests.", "N");
    flag("chatter", "Send unsolicited notices after replies.");
    value("log", "Write one JSON object per line for every frame and event.", "FILE");

    *helpRequested = false;
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        *helpText = parser.helpText();
        return std::nullopt;
    }
    *helpText = parser.helpText();
    if (parser.isSet(QStringLiteral("help"))) {
        *helpRequested = true;
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }

    SimConfig config;
    error->clear();
    Parse p{parser, error};
    const int transports = int(parser.isSet(QStringLiteral("pty"))) +
                           int(parser.isSet(QStringLiteral("tcp-listen"))) +
                           int(parser.isSet(QStringLiteral("tcp-connect")));
    if (transports > 1) p.fail(QStringLiteral("choose one of --pty, --tcp-listen, --tcp-connect"));
    if (parser.isSet(QStringLiteral("tcp-listen"))) {
        config.transport = TransportKind::TcpListen;
        p.port(parser.value(QStringLiteral("tcp-listen")), QStringLiteral("tcp-listen"), &config.tcpPort);
    } else if (parser.isSet(QStringLiteral("tcp-connect"))) {
        config.transport = TransportKind::TcpConnect;
        const QString target = parser.value(QStringLiteral("tcp-connect"));
        const qsizetype colon = target.lastIndexOf(QLatin1Char(':'));
        if (colon <= 0)
            p.fail(QStringLiteral("--tcp-connect needs HOST:PORT"));
        else {
            config.tcpHost = target.left(colon);
            p.port(target.mid(colon + 1), QStringLiteral("tcp-connect"), &config.tcpPort);
        }
    }
    config.linkPath = parser.value(QStringLiteral("link"));
    if (!config.linkPath.isEmpty() && config.transport != TransportKind::Pty)
        p.fail(QStringLiteral("--link goes with --pty"));

    int mode = config.mode;
    p.integer(QStringLiteral("mode"), 0, 0xFFFF, &mode);
    config.mode = static_cast<quint16>(mode);
    p.text(QStringLiteral("model"), &config.model);
    p.text(QStringLiteral("rom"), &config.rom);
    p.text(QStringLiteral("rom-after-update"), &config.romAfterUpdate);
    if (parser.isSet(QStringLiteral("target-id"))) {
        bool ok = false;
        const uint id = parser.value(QStringLiteral("target-id")).toUInt(&ok, 16);
        if (!ok || id > 0xFFFF) p.fail(QStringLiteral("--target-id needs 1 to 4 hex digits"));
        config.targetId = static_cast<quint16>(id);
    }
    p.text(QStringLiteral("ssid"), &config.ssid);
    p.text(QStringLiteral("password"), &config.password);
    p.text(QStringLiteral("ap-ssid"), &config.apSsid);
    p.integer(QStringLiteral("restart-ms"), 0, 600000, &config.restartMs);
    p.integer(QStringLiteral("update-boot-ms"), 0, 600000, &config.updateBootMs);
    config.keepMode = parser.isSet(QStringLiteral("keep-mode"));
    if (parser.isSet(QStringLiteral("net-tcp-port")))
        p.port(parser.value(QStringLiteral("net-tcp-port")), QStringLiteral("net-tcp-port"),
               &config.netTcpPort);
    if (parser.isSet(QStringLiteral("net-address"))) {
        const QHostAddress address(parser.value(QStringLiteral("net-address")));
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            p.fail(QStringLiteral("--net-address needs an IPv4 address"));
        config.netAddress = address.toIPv4Address();
    }
    if (parser.isSet(QStringLiteral("net-field1")))
        p.port(parser.value(QStringLiteral("net-field1")), QStringLiteral("net-field1"), &config.netField1);
    if (parser.isSet(QStringLiteral("net-field2"))) {
        bool ok = false;
        config.netField2 = parser.value(QStringLiteral("net-field2")).toUInt(&ok, 10);
        if (!ok) p.fail(QStringLiteral("--net-field2 needs a number from 0 to 4294967295"));
    }

    if (parser.isSet(QStringLiteral("ota-host"))) {
        config.otaHost = QHostAddress(parser.value(QStringLiteral("ota-host")));
        if (config.otaHost.protocol() != QAbstractSocket::IPv4Protocol)
            p.fail(QStringLiteral("--ota-host needs an IPv4 address"));
    }
    if (parser.isSet(QStringLiteral("ota-port")))
        p.port(parser.value(QStringLiteral("ota-port")), QStringLiteral("ota-port"), &config.otaPort);
    if (parser.isSet(QStringLiteral("ap-port"))) {
        quint16 apPort = 0;
        if (p.port(parser.value(QStringLiteral("ap-port")), QStringLiteral("ap-port"), &apPort))
            config.apPort = apPort;
    }
    p.text(QStringLiteral("ota-password"), &config.otaPassword);
    if (parser.isSet(QStringLiteral("ota-auth"))) {
        const QString kind = parser.value(QStringLiteral("ota-auth"));
        if (kind == QLatin1String("md5"))
            config.otaAuth = OtaAuth::Md5;
        else if (kind == QLatin1String("pbkdf2"))
            config.otaAuth = OtaAuth::Pbkdf2;
        else if (kind == QLatin1String("pbkdf2-md5"))
            config.otaAuth = OtaAuth::Pbkdf2Md5;
        else if (kind == QLatin1String("none"))
            config.otaAuth = OtaAuth::None;
        else
            p.fail(QStringLiteral("--ota-auth: md5, pbkdf2, pbkdf2-md5 or none"));
    }
    if (config.otaPassword.isEmpty()) config.otaAuth = OtaAuth::None;
    int partition = static_cast<int>(config.otaPartitionSize);
    p.integer(QStringLiteral("ota-partition"), 1, 16 * 1024 * 1024, &partition);
    config.otaPartitionSize = partition;
    p.integer(QStringLiteral("ap-join-ms"), 0, 600000, &config.apJoinMs);
    config.neverJoin = parser.isSet(QStringLiteral("never-join"));
    if (parser.isSet(QStringLiteral("ota-result"))) {
        const QString kind = parser.value(QStringLiteral("ota-result"));
        if (kind == QLatin1String("ok"))
            config.otaResult = OtaResult::Verdict;
        else if (kind == QLatin1String("br"))
            config.otaResult = OtaResult::ForceBr;
        else if (kind == QLatin1String("none"))
            config.otaResult = OtaResult::NoNotice;
        else
            p.fail(QStringLiteral("--ota-result: ok, br or none"));
    }
    config.otaAtStart = parser.isSet(QStringLiteral("ota-at-start"));
    p.integer(QStringLiteral("ota-timeout-ms"), 10, 600000, &config.otaTimeoutMs);
    config.otaCorrupt = parser.isSet(QStringLiteral("ota-corrupt"));
    p.integer(QStringLiteral("ota-rtt-ms"), 0, 60000, &config.otaRttMs);
    p.integer(QStringLiteral("ota-flash-kBps"), 0, 1000000, &config.otaFlashKBps);
    config.otaIgnoreInvitations = parser.isSet(QStringLiteral("ota-ignore-invitations"));
    config.otaNoConnectBack = parser.isSet(QStringLiteral("ota-no-connect-back"));
    if (parser.isSet(QStringLiteral("ota-close-after"))) {
        const QStringList parts = parser.value(QStringLiteral("ota-close-after")).split(QLatin1Char(':'));
        bool ok = parts.size() <= 2;
        const int bytes = ok ? parts[0].toInt(&ok) : 0;
        const int uploads = ok && parts.size() == 2 ? parts[1].toInt(&ok) : 0;
        if (!ok || bytes < 1 || uploads < 0)
            p.fail(QStringLiteral("--ota-close-after needs N (1 or more) or N:K"));
        config.otaCloseAfter = bytes;
        config.otaCloseUploads = uploads;
    }

    config.silent = parser.isSet(QStringLiteral("silent"));
    p.integer(QStringLiteral("ignore-first"), 0, 1000000, &config.ignoreFirst);
    if (parser.isSet(QStringLiteral("nack-first"))) {
        const QStringList parts = parser.value(QStringLiteral("nack-first")).split(QLatin1Char(':'));
        bool ok = parts.size() <= 2;
        const int count = ok ? parts[0].toInt(&ok) : 0;
        if (!ok || count < 0) p.fail(QStringLiteral("--nack-first needs N or N:REASON"));
        config.nackFirst = count;
        if (ok && parts.size() == 2) {
            const uint reason = parts[1].toUInt(&ok, 0);
            if (!ok || reason > 255)
                p.fail(QStringLiteral("--nack-first: REASON is a byte (e.g. 68 or 0x44)"));
            config.nackReason = static_cast<quint8>(reason);
        }
    }
    p.integer(QStringLiteral("bad-sum-first"), 0, 1000000, &config.badSumFirst);
    config.noise = parser.isSet(QStringLiteral("noise"));
    config.split = parser.isSet(QStringLiteral("split"));
    p.integer(QStringLiteral("reply-delay-ms"), 0, 600000, &config.replyDelayMs);
    p.integer(QStringLiteral("hangup-after"), 0, 1000000, &config.hangupAfter);
    config.chatter = parser.isSet(QStringLiteral("chatter"));
    config.logPath = parser.value(QStringLiteral("log"));

    if (!error->isEmpty()) return std::nullopt;
    return config;
}

}  // namespace ifb::sim
