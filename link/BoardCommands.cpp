#include "BoardCommands.h"

#include "ReplyReaders.h"

namespace ifb {
namespace {

QByteArray bytes(std::initializer_list<quint8> list) {
    QByteArray out;
    for (quint8 b : list) out.append(static_cast<char>(b));
    return out;
}

}  // namespace

BoardCommands::BoardCommands(TTComXDlg& link, LogSink& log, std::function<void()> reopenLink)
    : link_(link), log_(log), reopenLink_(std::move(reopenLink)) {}

void BoardCommands::send(const QByteArray& payload, FrameTrace via, const QString& before) {
    const QByteArray frame = BuildFrame(link_.linkSettings().idNo, frame::kCmdIfbRequest, payload);
    if (link_.fTrace) {
        const QString hex = HexForm(frame);
        if (via == FrameTrace::Link) {
            if (!before.isNull()) link_.TraceLine(before);
            link_.TraceLine(hex);
        } else {
            const bool always = via == FrameTrace::Always;
            if (!before.isNull()) log_.WriteLog(before, always);
            log_.WriteLog(hex, always);
        }
    }
    link_.SendFrame(frame);
}

bool BoardCommands::GetIFBMode(quint32 timeoutMs, quint16& mode) {
    send(bytes({0x00}), FrameTrace::Verbose);
    if (!link_.WaitReply(Reply::Ack, timeoutMs)) return false;
    const auto read = ReadIfbMode(link_);
    if (!read) return false;
    mode = *read;
    return true;
}

bool BoardCommands::PollApConnection(quint16& port, quint32& address) {
    send(bytes({0x00}), FrameTrace::Verbose);
    if (!link_.WaitAck()) return false;
    const auto c = ReadApConnection(link_);
    if (!c) return false;
    port = c->port;
    address = c->address;
    log_.WriteLog(QStringLiteral("OTA Port        : %1").arg(port), false);
    log_.WriteLog(QStringLiteral("OTA IP Address  : %1.%2.%3.%4")
                      .arg(address & 0xFFu)
                      .arg((address >> 8) & 0xFFu)
                      .arg((address >> 16) & 0xFFu)
                      .arg(address >> 24),
                  false);
    return true;
}

bool BoardCommands::SetIFBMode(quint16 mode, quint32 timeoutMs) {
    send(bytes({0x01, static_cast<quint8>(mode & 0xFF), static_cast<quint8>(mode >> 8)}),
         FrameTrace::Verbose);
    return link_.WaitReply(Reply::Ack, timeoutMs);
}

bool BoardCommands::ESP32_RestartCmd(quint32 timeoutMs) {
    send(bytes({0x0A}), FrameTrace::Verbose, QStringLiteral("RESTART_CMD: "));
    return link_.WaitReply(Reply::Ack, timeoutMs);
}

bool BoardCommands::GetWiFiConfig(quint32 timeoutMs, TCPIPPARAM& param) {
    send(bytes({0x03, 0x02}), FrameTrace::Verbose);
    if (link_.WaitReply(Reply::Ack, timeoutMs)) {
        param.ssid = ReplyText(link_, 2);
        log_.WriteLog(param.ssid, false);
    }
    send(bytes({0x03, 0x03}), FrameTrace::Verbose);
    if (!link_.WaitReply(Reply::Ack, timeoutMs)) return false;
    param.password = ReplyText(link_, 2);
    log_.WriteLog(param.password, false);
    return true;
}

bool BoardCommands::GetTCPIPParam(quint32 timeoutMs, TCPIPPARAM& param) {
    send(bytes({0x03, 0x04}), FrameTrace::Verbose);
    if (!link_.WaitReply(Reply::Ack, timeoutMs)) {
        log_.WriteLog(QStringLiteral("NG"), false);
        return false;
    }
    log_.WriteLog(ReadNetworkBlock(link_, param) ? QStringLiteral("OK") : QStringLiteral("NG"), false);
    return true;
}

bool BoardCommands::GetApInfo(WiFi_AP& ap, bool always) {
    send(bytes({0x03, 0x71}), always ? FrameTrace::Always : FrameTrace::Verbose);
    if (!link_.WaitAck() || !ReadApInfo(link_, ap)) {
        log_.WriteLog(QStringLiteral("NG"), always);
        return false;
    }
    log_.WriteLog(QStringLiteral("IP  : ") + DottedAddress(ap.ipAddress), always);
    log_.WriteLog(QStringLiteral("Port: %1").arg(ap.port), always);
    log_.WriteLog(QStringLiteral("AP  : ") + ap.ssid, always);
    return true;
}

bool BoardCommands::GetTargetId(QString* shownId) {
    send(bytes({0x05}), FrameTrace::Verbose);
    if (!link_.WaitAck()) return false;
    const auto id = ReadTargetId(link_);
    if (!id) return false;
    const QString shown = QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0')).toUpper();
    log_.WriteLog(QStringLiteral("ターゲットID情報"), false);
    log_.WriteLog(QStringLiteral("ID : ") + shown, true);
    if (shownId) *shownId = shown;
    return true;
}

bool BoardCommands::SetOtaMode(quint8 mode, bool extra) {
    if (!link_.IsLinkOpen() && reopenLink_) reopenLink_();
    QByteArray payload = bytes({0x0B, mode});
    if (extra) payload.append('\x01');
    send(payload, FrameTrace::Verbose);
    if (!link_.WaitAck()) return false;
    log_.WriteLog(QStringLiteral("OK"), false);
    return true;
}

bool BoardCommands::GetRomVersion(QString& romVersion) {
    log_.WriteLog(QStringLiteral("I/FボードのＲＯＭのバージョン情報"), false);
    romVersion.clear();
    send(bytes({0x90}), FrameTrace::Link);
    if (!link_.WaitAck()) return false;
    romVersion = ReplyText(link_, 1);
    return true;
}

bool BoardCommands::GetModelName(QString& modelName) {
    const QString banner = QStringLiteral("機種名（ModelName）の取得");
    log_.WriteLog(banner, false);
    send(bytes({0x93}), FrameTrace::Link, banner);
    if (!link_.WaitAck()) return false;
    modelName = ReplyText(link_, 1);
    return true;
}

}  // namespace ifb
