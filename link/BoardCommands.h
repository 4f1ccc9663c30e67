#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "BoardRecords.h"
#include "LogSink.h"
#include "TTComXDlg.h"

namespace ifb {

// The interface-board command set: each command sends one 'E' frame with the
// link's ID byte, waits for the board and reads the reply from ReplyBuffer.
// Results are whether the board acknowledged in time (and, where noted, whether
// the reply had the expected shape); failures change no record. Time-outs are
// in milliseconds. With the link's fTrace set, each frame's hex form is logged
// before it is sent (verbose WriteLog; GetRomVersion/GetModelName: TraceLine).
class BoardCommands {
  public:
    // reopenLink runs when SetOtaMode finds the link closed: it reopens the link
    // on the configured port and enables the poll timer.
    BoardCommands(TTComXDlg& link, LogSink& log, std::function<void()> reopenLink = {});

    // 00, WaitReply(2). mode = DATA[1..2]; a reply shorter than that fails.
    bool GetIFBMode(quint32 timeoutMs, quint16& mode);
    // 00, WaitAck. True only for LEN 10 or 11 with DATA[3] = 1 (a station joined):
    // port = DATA[5..6], address = DATA[7..10] with DATA[7] in the lowest byte.
    // Logs "OTA Port        : " and "OTA IP Address  : " lines (verbose).
    bool PollApConnection(quint16& port, quint32& address);
    // 01 lo hi, WaitReply(2).
    bool SetIFBMode(quint16 mode, quint32 timeoutMs);
    // 0A, WaitReply(2). The frame trace is preceded by "RESTART_CMD: ".
    bool ESP32_RestartCmd(quint32 timeoutMs);
    // 03 02 then 03 03, WaitReply(2) each; fills ssid and password from their
    // own ACKs and logs each text (verbose). The result is the password's.
    bool GetWiFiConfig(quint32 timeoutMs, TCPIPPARAM& param);
    // 03 04, WaitReply(2). A 27-byte reply fills the network fields and logs
    // "OK"; any other ACK is still true, changes nothing and logs "NG"; no ACK
    // logs "NG" (all verbose).
    bool GetTCPIPParam(quint32 timeoutMs, TCPIPPARAM& param);
    // 03 71, WaitAck. True only if DATA[1] = 0x71 and the reply holds the
    // address and port; fills ssid, ipAddress, port and logs "IP  : ",
    // "Port: ", "AP  : " lines, or "NG" on failure, in the class asked for.
    bool GetApInfo(WiFi_AP& ap, bool always);
    // 05, WaitAck. True only for LEN 7 with DATA[0] = 5; logs "ターゲットID情報"
    // (verbose) and "ID : " + DATA[5..6] as four hex digits (always).
    bool GetTargetId(QString* shownId = nullptr);
    // 0B mode [01], WaitAck; logs "OK" (verbose). Reopens a closed link first.
    bool SetOtaMode(quint8 mode, bool extra);
    // 90, WaitAck. romVersion is emptied first, then DATA[1..LEN-1] on ACK.
    bool GetRomVersion(QString& romVersion);
    // 93, WaitAck. modelName becomes DATA[1..LEN-1] on ACK, else keeps its value.
    bool GetModelName(QString& modelName);

  private:
    enum class FrameTrace { Verbose, Always, Link };
    void send(const QByteArray& payload, FrameTrace via, const QString& before = QString());

    TTComXDlg& link_;
    LogSink& log_;
    std::function<void()> reopenLink_;
};

}  // namespace ifb
