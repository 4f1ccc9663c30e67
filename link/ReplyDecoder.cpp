#include "ReplyDecoder.h"

#include <cstring>

namespace ifb {
namespace {

// Byte i of the frame, or 0 where a short frame has none.
quint8 at(const quint8* frame, int size, int i) {
    return i < size ? frame[i] : quint8{0};
}

QString latin1Text(const quint8* bytes, int count) {
    if (count <= 0) return QString();
    return QString::fromLatin1(reinterpret_cast<const char*>(bytes), count);
}

QString isoErrorText(quint8 detail) {
    switch (detail) {
        case 0x01:
            return QStringLiteral("The command is not supported, i.e. the request code is not recognised.");
        case 0x02:
            return QStringLiteral("he command is not recognised, for example: a format error occurred.");
        case 0x03:
            return QStringLiteral("The option is not supported.");
        case 0x0F:
            return QStringLiteral("Unknown error.");
        case 0x10:
            return QStringLiteral("The specified block is not available (doesn’t exist).");
        case 0x11:
            return QStringLiteral("The specified block is already -locked and thus cannot be locked again");
        case 0x12:
            return QStringLiteral("The specified block is locked and its content cannot be changed.");
        case 0x13:
            return QStringLiteral("The specified block was not successfully programmed.");
        case 0x14:
            return QStringLiteral("The specified block was not successfully locked.");
        case 0x15:
            return QStringLiteral("The specified block is read-protected.");
        default:
            return QStringLiteral("? 'DF' Custom command error codes");
    }
}

QString epcErrorText(quint8 detail) {
    switch (detail) {
        case 0x00:
            return QStringLiteral("Other error");
        case 0x03:
            return QStringLiteral("Memory overrun");
        case 0x04:
            return QStringLiteral("Memory locked");
        case 0x0B:
            return QStringLiteral("Insufficient power");
        case 0x0F:
            return QStringLiteral("Non-specific error");
        default:
            return QStringLiteral("??? error");
    }
}

void decodeLcd(const quint8* frame, int size, const TraceFn& trace) {
    switch (frame[4]) {
        case 0:
            trace(QStringLiteral("LCDB_RWLCDDATA受信"));
            break;
        case 1:
            trace(QStringLiteral("LCDB_SWINFO受信"));
            break;
        case 2:
            trace(QStringLiteral("LCDB_RWRTCDATA受信"));
            break;
        case 3: {
            quint8 bcd[7];
            for (int i = 0; i < 7; ++i) bcd[i] = at(frame, size, 5 + i);
            trace(ClockLine(bcd));
            trace(QStringLiteral("LCDB_RDRTCDATA受信"));
            break;
        }
        default:
            break;
    }
}

void decodeTag(const quint8* frame, const TraceFn& trace) {
    const int len = frame[3];
    const int dataEnd = len + 4;  // index of the ETX
    const quint8 kind = frame[4];
    if (kind > 8) {
        const int n = len - 1;
        QString line = QStringLiteral("DEBG: ");
        for (int i = 0; i < n; ++i) {
            const QString pair = HexForm(frame + 5 + i, 1);
            line += i < 5 ? pair : pair.left(2);
        }
        trace(line);
        return;
    }
    if (kind != 8) return;
    static const char* const labels[] = {"UII  : ", "data : ", "TID  : "};
    int pos = 5;
    for (int group = 0; group < 3; ++group) {
        if (group > 0 && pos >= dataEnd) break;
        const int count = pos < dataEnd ? frame[pos] : 0;
        ++pos;
        const int begin = pos < dataEnd ? pos : dataEnd;
        const int end = begin + count < dataEnd ? begin + count : dataEnd;
        trace(QLatin1String(labels[group]) + HexForm(frame + begin, end - begin));
        pos = end;
    }
}

}  // namespace

QString NackReasonText(quint8 reason, quint8 detail) {
    switch (reason) {
        case 1:
            return QStringLiteral("CRCエラー");
        case 2:
            return QStringLiteral("CMD_TIME_OVER受信");
        case 3:
            return QStringLiteral("タグデータ受信エラー");
        case 4:
            return QStringLiteral("タグからの応答なし");
        case 5:
            return isoErrorText(detail);
        case 10:
            return epcErrorText(detail);
        case 0x41:
            return QStringLiteral("データ数エラー");
        case 0x42:
            return QStringLiteral("コマンドのサム値エラー");
        case 0x43:
            return QStringLiteral("コマンドのＩＤ値のエラー");
        case 0x44:
            return QStringLiteral("不正なコマンド");
        case 0x45:
            return QStringLiteral("２度読みエラーー");
        case 0x46:
            return QStringLiteral("PassWordエラー");
        default:
            return QStringLiteral("??? NACK受信");
    }
}

QString ClockLine(const quint8* bcd7) {
    auto bcd = [](quint8 b, quint8 highMask) { return ((b >> 4) & highMask) * 10 + (b & 0x0F); };
    const int seconds = bcd(bcd7[0], 0x07);
    const int minutes = bcd(bcd7[1], 0x07);
    const int hours = bcd(bcd7[2], 0x03);
    const int day = bcd(bcd7[3], 0x03);
    const int month = bcd(bcd7[4], 0x01);
    const int year = bcd(bcd7[6], 0x0F) + 2000;
    static const char* const weekdays[] = {"", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", ""};
    return QStringLiteral("%1/%2/%3(%4) %5:%6:%7 ")
        .arg(year)
        .arg(month)
        .arg(day)
        .arg(QLatin1String(weekdays[bcd7[5] & 0x07]))
        .arg(hours)
        .arg(minutes)
        .arg(seconds);
}

void DecodeReply(const quint8* frame, int size, ReplyState& state, const TraceFn& trace) {
    const int len = frame[3];
    auto copyToReplyBuffer = [&] {
        const size_t n = static_cast<size_t>(size);
        std::memcpy(state.ReplyBuffer.data(), frame, n);
        std::memset(state.ReplyBuffer.data() + n, 0, state.ReplyBuffer.size() - n);
        state.ReplyCopied = true;
    };
    switch (frame[2]) {
        case '0':
            state.ReplyKind = Reply::Ack;
            copyToReplyBuffer();
            break;
        case 'E':
            if (trace && frame[4] == 'M') trace(latin1Text(frame + 5, len - 1));
            break;
        case 'b':
            state.ReplyKind = Reply::Lcd;
            if (trace) decodeLcd(frame, size, trace);
            break;
        case 'D': {
            state.ReplyKind = Reply::OtaResult;
            const char* text = reinterpret_cast<const char*>(frame + 4);
            if (len == 2 && std::memcmp(text, "OK", 2) == 0) {
                state.OtaResultReceived = true;
                state.OtaResultOk = true;
            } else if (len == 2 && std::memcmp(text, "BR", 2) == 0) {
                state.OtaResultReceived = true;
                state.OtaResultOk = false;
            }
            break;
        }
        case 'd':
            state.ReplyKind = Reply::NoticeD;
            break;
        case 'i':
            state.ReplyKind = Reply::NoticeI;
            break;
        case '1':
            state.ReplyKind = Reply::Nack;
            copyToReplyBuffer();
            if (trace) trace(NackReasonText(frame[4], frame[5]));
            break;
        case 'I':
            state.ReplyKind = Reply::Identifier;
            if (trace) {
                QString line = QStringLiteral("UID2: ");
                for (int i = 12; i >= 5; --i) {
                    const quint8 b = at(frame, size, i);
                    line += HexForm(&b, 1).left(2);
                }
                trace(line);
            }
            break;
        case 'L':
            state.ReplyKind = Reply::NoticeL;
            break;
        case 'l':
            state.ReplyKind = Reply::Tag;
            if (trace) decodeTag(frame, trace);
            break;
        case 'G':
            state.ReplyKind = Reply::G;
            copyToReplyBuffer();
            break;
        default:
            if (trace) trace(QStringLiteral("レスポンスフォーマットエラー"));
            break;
    }
}

}  // namespace ifb
