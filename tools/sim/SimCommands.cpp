#include "SimCommands.h"

#include "FrameCodec.h"

namespace ifb::sim {
namespace {

void appendLe16(QByteArray& out, quint16 value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

void appendLe32(QByteArray& out, quint32 value) {
    for (int i = 0; i < 4; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

Answer ack(QByteArray data) {
    Answer answer;
    answer.data = std::move(data);
    return answer;
}

Answer refuse(quint8 reason) {
    Answer answer;
    answer.ack = false;
    answer.data = QByteArray(1, static_cast<char>(reason));
    return answer;
}

QByteArray modeReply(const BoardState& board) {
    QByteArray out(1, static_cast<char>(cmd::kGetMode));
    appendLe16(out, board.mode);
    out.append(board.apJoined ? '\x01' : '\x00');
    out.append('\x00');
    appendLe16(out, board.otaPort);
    // The mode reply carries the OTA address in dotted order.
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>((board.otaAddress >> shift) & 0xFF));
    return out;
}

Answer readItem(const BoardState& board, const QByteArray& data) {
    if (data.size() < 2) return refuse(nack::kDataCount);
    const quint8 item = static_cast<quint8>(data[1]);
    QByteArray out = data.left(2);
    switch (item) {
        case cmd::kItemSsid:
            return ack(out + board.ssid);
        case cmd::kItemPassword:
            return ack(out + board.password);
        case cmd::kItemNetwork:
            out.append(static_cast<char>(board.netFlags));
            appendLe32(out, board.netMask);
            appendLe16(out, board.tcpPort);
            appendLe32(out, board.address);
            appendLe16(out, board.carried1);
            appendLe32(out, board.carried2);
            appendLe32(out, board.carried3);
            appendLe32(out, board.carried4);
            return ack(out);
        case cmd::kItemAccessPoint:
            appendLe32(out, board.otaAddress);
            appendLe16(out, board.otaPort);
            return ack(out + board.apSsid);
        default:
            return refuse(nack::kBadCommand);
    }
}

}  // namespace

Answer AnswerRequest(const BoardState& board, quint8 command, const QByteArray& data) {
    if (command != frame::kCmdIfbRequest || data.isEmpty()) return refuse(nack::kBadCommand);
    switch (static_cast<quint8>(data[0])) {
        case cmd::kGetMode:
            return ack(modeReply(board));
        case cmd::kSetMode: {
            if (data.size() < 3) return refuse(nack::kDataCount);
            Answer answer = ack(data);
            answer.effect = Answer::Effect::SetMode;
            answer.newMode =
                static_cast<quint16>(static_cast<quint8>(data[1]) | (static_cast<quint8>(data[2]) << 8));
            return answer;
        }
        case cmd::kReadItem:
            return readItem(board, data);
        case cmd::kTargetId: {
            QByteArray out = QByteArray::fromHex("0500000000");
            appendLe16(out, board.targetId);
            return ack(out);
        }
        case cmd::kRestart: {
            Answer answer = ack(data);
            answer.effect = Answer::Effect::Restart;
            return answer;
        }
        case cmd::kSetOtaMode: {
            if (data.size() < 2) return refuse(nack::kDataCount);
            Answer answer = ack(data);
            answer.effect = Answer::Effect::OtaMode;
            answer.otaMode = static_cast<quint8>(data[1]);
            answer.otaExtra = data.size() >= 3 && data[2] != 0;
            return answer;
        }
        case cmd::kRomVersion:
            return ack(QByteArray(1, static_cast<char>(cmd::kRomVersion)) + board.rom);
        case cmd::kModelName:
            return ack(QByteArray(1, static_cast<char>(cmd::kModelName)) + board.model);
        default:
            return refuse(nack::kBadCommand);
    }
}

QString CommandName(quint8 command, const QByteArray& data) {
    if (command != frame::kCmdIfbRequest)
        return QStringLiteral("Cmd") +
               QString::number(command, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    if (data.isEmpty()) return QStringLiteral("Empty");
    switch (static_cast<quint8>(data[0])) {
        case cmd::kGetMode:
            return QStringLiteral("GetIFBMode");
        case cmd::kSetMode:
            return QStringLiteral("SetIFBMode");
        case cmd::kReadItem:
            if (data.size() >= 2) {
                switch (static_cast<quint8>(data[1])) {
                    case cmd::kItemSsid:
                    case cmd::kItemPassword:
                        return QStringLiteral("GetWiFiConfig");
                    case cmd::kItemNetwork:
                        return QStringLiteral("GetTCPIPParam");
                    case cmd::kItemAccessPoint:
                        return QStringLiteral("GetApInfo");
                    default:
                        break;
                }
            }
            return QStringLiteral("ReadItem");
        case cmd::kTargetId:
            return QStringLiteral("GetTargetId");
        case cmd::kRestart:
            return QStringLiteral("ESP32_RestartCmd");
        case cmd::kSetOtaMode:
            return QStringLiteral("SetOtaMode");
        case cmd::kRomVersion:
            return QStringLiteral("GetRomVersion");
        case cmd::kModelName:
            return QStringLiteral("GetModelName");
        default:
            return QStringLiteral("Unknown");
    }
}

QByteArray ChatterNotice(int index, quint8 id, char* kind) {
    switch (index % 4) {
        case 0:
            *kind = 'M';
            return BuildFrame(id, frame::kCmdIfbRequest, QByteArray("MIFB idle"));
        case 1:
            *kind = 'b';  // clock: 2024/5/17(Fri) 9:30:5
            return BuildFrame(id, 'b', QByteArray::fromHex("0305300917050524"));
        case 2:
            *kind = 'l';  // tag: UII, data and TID groups
            return BuildFrame(id, 'l', QByteArray::fromHex("0804E200341202ABCD0411223344"));
        default:
            *kind = 'I';
            return BuildFrame(id, 'I', QByteArray::fromHex("00D4C3B2A1500104E0"));
    }
}

}  // namespace ifb::sim
