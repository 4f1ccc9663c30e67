#pragma once

#include <QString>
#include <optional>

#include "BoardRecords.h"
#include "ReplyDecoder.h"

namespace ifb {

// Readers of the reply frame in ReplyBuffer for the board commands. DATA[i] is
// frame byte 4 + i and LEN frame byte 3. Each reads only bytes of the frame
// (STX .. CR), never what an earlier, longer frame left behind.

// DATA[from .. LEN-1] as text, one character per byte (Latin-1); empty if none.
QString ReplyText(const ReplyState& reply, int from);

// Board operation mode, DATA[1..2]; none if LEN < 3.
std::optional<quint16> ReadIfbMode(const ReplyState& reply);

// Access-point connection of the mode reply: only for LEN 10 or 11 with DATA[3] = 1.
struct ApConnection {
    quint16 port = 0;     // DATA[5..6]
    quint32 address = 0;  // DATA[7..10], DATA[7] in the lowest byte
};
std::optional<ApConnection> ReadApConnection(const ReplyState& reply);

// Network block of a LEN 27 reply; false (record untouched) for any other LEN.
bool ReadNetworkBlock(const ReplyState& reply, TCPIPPARAM& param);

// Access-point reply: only if DATA[1] = 0x71 and LEN >= 8. Fills ipAddress, port, ssid.
bool ReadApInfo(const ReplyState& reply, WiFi_AP& ap);

// Target ID, DATA[5..6]: only for LEN 7 with DATA[0] = 5.
std::optional<quint16> ReadTargetId(const ReplyState& reply);

}  // namespace ifb
