#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

namespace ifb::sim {

enum class TransportKind { Pty, TcpListen, TcpConnect };
enum class OtaAuth { None, Md5, Pbkdf2, Pbkdf2Md5 };
enum class OtaResult { Verdict, ForceBr, NoNotice };

// Everything the command line of ifb-sim sets.
struct SimConfig {
    // transport
    TransportKind transport = TransportKind::Pty;
    QString linkPath;  // symlink to the pty slave
    QString tcpHost = QStringLiteral("127.0.0.1");
    quint16 tcpPort = 0;

    // board
    quint16 mode = 3;
    QByteArray model = "PL-RZ41-IFB";
    QByteArray rom = "1021IFB00";
    QByteArray romAfterUpdate;  // empty: the received image's version
    quint16 targetId = 0x1234;
    QByteArray ssid = "IFB-STATION";
    QByteArray password = "ifb-station-pass";
    QByteArray apSsid = "IFB-OTA-1234";
    int restartMs = 300;
    int updateBootMs = -1;  // quiet time of the restart into a new image; -1: restartMs
    bool keepMode = false;  // SetIFBMode is acknowledged but changes nothing
    // Network block (item 0x04): the board's TCP port, its address and the two
    // fields after the address.
    quint16 netTcpPort = 5000;
    quint32 netAddress = 0xC0A80014;  // 192.168.0.20
    quint16 netField1 = 5001;
    quint32 netField2 = 0xC0A8000A;

    // OTA
    QHostAddress otaHost{QHostAddress::LocalHost};
    quint16 otaPort = 3232;
    std::optional<quint16> apPort;  // port reported for the access point; unset: otaPort
    QByteArray otaPassword = "QN5KDL4072";
    OtaAuth otaAuth = OtaAuth::Md5;
    int apJoinMs = 500;
    bool neverJoin = false;
    OtaResult otaResult = OtaResult::Verdict;
    qint64 otaPartitionSize = 0x1E0000;
    bool otaAtStart = false;
    int otaTimeoutMs = 1000;  // the receiver's idle time-out per read
    bool otaCorrupt = false;  // flip one received byte: the MD5 check fails
    int otaRttMs = 0;         // every OTA answer leaves this long after what it answers
    int otaFlashKBps = 0;     // the receiver takes at most this many kB/s; 0: no limit
    bool otaIgnoreInvitations = false;
    bool otaNoConnectBack = false;
    qint64 otaCloseAfter = 0;  // the data connection is cut after this many bytes; 0: never
    int otaCloseUploads = 0;   // of the first this many uploads; 0: of every one

    // faults
    bool silent = false;
    int ignoreFirst = 0;
    int nackFirst = 0;
    quint8 nackReason = 0x00;
    int badSumFirst = 0;
    bool noise = false;
    bool split = false;
    int replyDelayMs = 0;
    int hangupAfter = -1;  // requests; -1 = never
    bool chatter = false;

    QString logPath;
};

// nullopt and *error set on a bad command line; *helpText gets the usage text.
std::optional<SimConfig> ParseSimCommandLine(const QStringList& arguments, QString* error, QString* helpText,
                                             bool* helpRequested);

}  // namespace ifb::sim
