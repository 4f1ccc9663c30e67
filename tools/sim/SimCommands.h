#pragma once

#include <QByteArray>
#include <QString>

namespace ifb::sim {

// What the board knows and reports.
struct BoardState {
    quint16 mode = 3;
    QByteArray model;
    QByteArray rom;
    quint16 targetId = 0;
    QByteArray ssid;
    QByteArray password;
    QByteArray apSsid;
    quint32 otaAddress = 0x7F000001;  // first octet in the most significant byte
    quint16 otaPort = 3232;
    bool apJoined = false;
    // Network block (item 0x04).
    quint8 netFlags = 0x20;  // DHCP
    quint32 netMask = 0xFFFFFF00;
    quint16 tcpPort = 5000;
    quint32 address = 0xC0A80014;  // 192.168.0.20
    quint16 carried1 = 5001;
    quint32 carried2 = 0xC0A8000A;
    quint32 carried3 = 0;
    quint32 carried4 = 0;
};

namespace cmd {
constexpr quint8 kGetMode = 0x00;
constexpr quint8 kSetMode = 0x01;
constexpr quint8 kReadItem = 0x03;
constexpr quint8 kTargetId = 0x05;
constexpr quint8 kRestart = 0x0A;
constexpr quint8 kSetOtaMode = 0x0B;
constexpr quint8 kRomVersion = 0x90;
constexpr quint8 kModelName = 0x93;
constexpr quint8 kItemSsid = 0x02;
constexpr quint8 kItemPassword = 0x03;
constexpr quint8 kItemNetwork = 0x04;
constexpr quint8 kItemAccessPoint = 0x71;
}  // namespace cmd

namespace nack {
constexpr quint8 kDataCount = 0x41;
constexpr quint8 kSum = 0x42;
constexpr quint8 kBadCommand = 0x44;
}  // namespace nack

// The board's answer to one request frame, and what it makes the board do.
struct Answer {
    enum class Effect { None, SetMode, Restart, OtaMode };
    bool ack = true;
    QByteArray data;  // ACK data, or the NACK reason byte
    Effect effect = Effect::None;
    quint16 newMode = 0;
    quint8 otaMode = 0;
    bool otaExtra = false;
};

Answer AnswerRequest(const BoardState& board, quint8 command, const QByteArray& data);

// The command's name for the log ("GetIFBMode", "GetWiFiConfig", ...).
QString CommandName(quint8 command, const QByteArray& data);

// One of the unsolicited notices a busy board sends (index picks the kind):
// 'E' with an 'M' text, 'b' clock, 'l' tag, 'I' identifier. Returns the frame
// and its kind letter.
QByteArray ChatterNotice(int index, quint8 id, char* kind);

}  // namespace ifb::sim
