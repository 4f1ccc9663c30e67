#include "BoardCommands.h"

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

QString BoardCommands::replyText(int from) const {
    const int count = replyLen() - from;
    if (count <= 0) return QString();
    return QString::fromLatin1(reinterpret_cast<const char*>(link_.ReplyBuffer.data() + 4 + from), count);
}

bool BoardCommands::GetIFBMode(quint32 timeoutMs, quint16& mode) {
    send(bytes({0x00}), FrameTrace::Verbose);
    if (!link_.WaitReply(reply::kAck, timeoutMs)) return false;
    if (replyLen() < 3) return false;  // no mode in it
    mode = static_cast<quint16>(data(1) | data(2) << 8);
    return true;
}

bool BoardCommands::PollApConnection(quint16& port, quint32& address) {
    send(bytes({0x00}), FrameTrace::Verbose);
    if (!link_.WaitAck()) return false;
    const int len = replyLen();
    if ((len != 10 && len != 11) || data(3) != 1) return false;
    port = static_cast<quint16>(data(5) | data(6) << 8);
    address = static_cast<quint32>(data(7)) | static_cast<quint32>(data(8)) << 8 |
              static_cast<quint32>(data(9)) << 16 | static_cast<quint32>(data(10)) << 24;
    log_.WriteLog(QStringLiteral("OTA Port        : %1").arg(port), false);
    log_.WriteLog(
        QStringLiteral("OTA IP Address  : %1.%2.%3.%4").arg(data(7)).arg(data(8)).arg(data(9)).arg(data(10)),
        false);
    return true;
}

bool BoardCommands::SetIFBMode(quint16 mode, quint32 timeoutMs) {
    send(bytes({0x01, static_cast<quint8>(mode & 0xFF), static_cast<quint8>(mode >> 8)}),
         FrameTrace::Verbose);
    return link_.WaitReply(reply::kAck, timeoutMs);
}

bool BoardCommands::ESP32_RestartCmd(quint32 timeoutMs) {
    send(bytes({0x0A}), FrameTrace::Verbose, QStringLiteral("RESTART_CMD: "));
    return link_.WaitReply(reply::kAck, timeoutMs);
}

bool BoardCommands::GetWiFiConfig(quint32 timeoutMs, TCPIPPARAM& param) {
    send(bytes({0x03, 0x02}), FrameTrace::Verbose);
    if (link_.WaitReply(reply::kAck, timeoutMs)) {
        param.ssid = replyText(2);
        log_.WriteLog(param.ssid, false);
    }
    send(bytes({0x03, 0x03}), FrameTrace::Verbose);
    if (!link_.WaitReply(reply::kAck, timeoutMs)) return false;
    param.password = replyText(2);
    log_.WriteLog(param.password, false);
    return true;
}

bool BoardCommands::GetTCPIPParam(quint32 timeoutMs, TCPIPPARAM& param) {
    send(bytes({0x03, 0x04}), FrameTrace::Verbose);
    if (!link_.WaitReply(reply::kAck, timeoutMs)) {
        log_.WriteLog(QStringLiteral("NG"), false);
        return false;
    }
    if (replyLen() != 27) {
        log_.WriteLog(QStringLiteral("NG"), false);
        return true;
    }
    auto u16 = [this](int i) { return static_cast<quint16>(data(i) | data(i + 1) << 8); };
    auto u32 = [this](int i) {
        return static_cast<quint32>(data(i)) | static_cast<quint32>(data(i + 1)) << 8 |
               static_cast<quint32>(data(i + 2)) << 16 | static_cast<quint32>(data(i + 3)) << 24;
    };
    const int b = 2;  // the block starts at DATA[2]
    param.flags = data(b);
    param.netMask = u32(b + 1);
    param.tcpPort = u16(b + 5);
    param.ipAddress = u32(b + 7);
    param.value1 = u16(b + 11);
    param.value2 = u32(b + 13);
    param.value3 = u32(b + 17);
    param.value4 = u32(b + 21);
    log_.WriteLog(QStringLiteral("OK"), false);
    return true;
}

bool BoardCommands::GetApInfo(WiFi_AP& ap, bool always) {
    send(bytes({0x03, 0x71}), always ? FrameTrace::Always : FrameTrace::Verbose);
    // The address and port sit at DATA[2..7]; a shorter reply has neither.
    if (!link_.WaitAck() || replyLen() < 8 || data(1) != 0x71) {
        log_.WriteLog(QStringLiteral("NG"), always);
        return false;
    }
    ap.ipAddress = static_cast<quint32>(data(2)) | static_cast<quint32>(data(3)) << 8 |
                   static_cast<quint32>(data(4)) << 16 | static_cast<quint32>(data(5)) << 24;
    ap.port = static_cast<quint16>(data(6) | data(7) << 8);
    ap.ssid = replyText(8);
    log_.WriteLog(QStringLiteral("IP  : ") + DottedAddress(ap.ipAddress), always);
    log_.WriteLog(QStringLiteral("Port: %1").arg(ap.port), always);
    log_.WriteLog(QStringLiteral("AP  : ") + ap.ssid, always);
    return true;
}

bool BoardCommands::GetTargetId() {
    send(bytes({0x05}), FrameTrace::Verbose);
    if (!link_.WaitAck() || replyLen() != 7 || data(0) != 0x05) return false;
    const quint16 id = static_cast<quint16>(data(5) | data(6) << 8);
    log_.WriteLog(QStringLiteral("ターゲットID情報"), false);
    log_.WriteLog(QStringLiteral("ID : ") + QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toUpper(),
                  true);
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
    romVersion = replyText(1);
    return true;
}

bool BoardCommands::GetModelName(QString& modelName) {
    const QString banner = QStringLiteral("機種名（ModelName）の取得");
    log_.WriteLog(banner, false);
    send(bytes({0x93}), FrameTrace::Link, banner);
    if (!link_.WaitAck()) return false;
    modelName = replyText(1);
    return true;
}

}  // namespace ifb
