#include "ReplyReaders.h"

namespace ifb {
namespace {

int replyLen(const ReplyState& r) {
    return r.ReplyBuffer[3];
}
quint8 data(const ReplyState& r, int i) {
    return r.ReplyBuffer[4 + static_cast<size_t>(i)];
}
quint16 u16(const ReplyState& r, int i) {
    return static_cast<quint16>(data(r, i) | data(r, i + 1) << 8);
}
quint32 u32(const ReplyState& r, int i) {
    return static_cast<quint32>(data(r, i)) | static_cast<quint32>(data(r, i + 1)) << 8 |
           static_cast<quint32>(data(r, i + 2)) << 16 | static_cast<quint32>(data(r, i + 3)) << 24;
}

}  // namespace

QString ReplyText(const ReplyState& reply, int from) {
    const int count = replyLen(reply) - from;
    if (from < 0 || count <= 0) return QString();
    return QString::fromLatin1(reinterpret_cast<const char*>(reply.ReplyBuffer.data() + 4 + from), count);
}

std::optional<quint16> ReadIfbMode(const ReplyState& reply) {
    if (replyLen(reply) < 3) return std::nullopt;
    return u16(reply, 1);
}

std::optional<ApConnection> ReadApConnection(const ReplyState& reply) {
    const int len = replyLen(reply);
    if ((len != 10 && len != 11) || data(reply, 3) != 1) return std::nullopt;
    // With LEN 10 the last octet is the frame's ETX position, as the board's
    // short mode reply has always been read.
    ApConnection c;
    c.port = u16(reply, 5);
    c.address = u32(reply, 7);
    return c;
}

bool ReadNetworkBlock(const ReplyState& reply, TCPIPPARAM& param) {
    if (replyLen(reply) != 27) return false;
    const int b = 2;  // the block starts at DATA[2]
    param.flags = data(reply, b);
    param.netMask = u32(reply, b + 1);
    param.tcpPort = u16(reply, b + 5);
    param.ipAddress = u32(reply, b + 7);
    param.value1 = u16(reply, b + 11);
    param.value2 = u32(reply, b + 13);
    param.value3 = u32(reply, b + 17);
    param.value4 = u32(reply, b + 21);
    return true;
}

bool ReadApInfo(const ReplyState& reply, WiFi_AP& ap) {
    if (replyLen(reply) < 8 || data(reply, 1) != 0x71) return false;
    ap.ipAddress = u32(reply, 2);
    ap.port = u16(reply, 6);
    ap.ssid = ReplyText(reply, 8);
    return true;
}

std::optional<quint16> ReadTargetId(const ReplyState& reply) {
    if (replyLen(reply) != 7 || data(reply, 0) != 0x05) return std::nullopt;
    return u16(reply, 5);
}

}  // namespace ifb
