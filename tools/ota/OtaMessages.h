#pragma once

#include <QByteArray>
#include <optional>

// Texts of the Arduino OTA exchange: the UDP invitation and login messages the
// PC sends, and the board's answers.
namespace ifb::ota {

constexpr int kCommandFlash = 0;
constexpr int kCommandFilesystem = 100;
constexpr int kCommandAuth = 200;
constexpr quint16 kDefaultBoardPort = 3232;

constexpr char kAnswerOk[] = "OK";
constexpr char kAnswerAuth[] = "AUTH";
constexpr char kAnswerAuthFailed[] = "Authentication Failed";

// Update error texts the board sends (followed by CR LF) when it rejects an image.
constexpr char kErrorMd5[] = "MD5 Check Failed";
constexpr char kErrorMagic[] = "Wrong Magic Byte";
constexpr char kErrorActivate[] = "Could Not Activate The Firmware";
constexpr char kErrorBadSize[] = "Bad Size Given";
constexpr char kErrorReceive[] = "Receive Failed";

struct Invitation {
    int command = kCommandFlash;
    int hostPort = 0;
    qint64 size = 0;
    QByteArray md5;  // 32 hex chars
};

// "<command> <port> <size> <md5>\n"
QByteArray FormatInvitation(const Invitation& invitation);

// The board's lenient reading: numbers after optional blanks, one separator
// character, then the MD5 up to LF, NUL or the end. Anything it would ignore
// (unknown command, MD5 not 32 chars, port out of range) gives nullopt.
std::optional<Invitation> ParseInvitation(const QByteArray& datagram);

struct AuthMessage {
    QByteArray cnonce;
    QByteArray response;
};

// "200 <cnonce> <response>\n"
QByteArray FormatAuthMessage(const AuthMessage& message);

// nullopt when the first number is not 200; lengths are the caller's to check.
std::optional<AuthMessage> ParseAuthMessage(const QByteArray& datagram);

}  // namespace ifb::ota
