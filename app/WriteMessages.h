#pragma once

#include <QString>

namespace ifb {

// Why an update ended in NG, with fixed codes that records, scripts and
// support staff rely on.
enum class NgCode {
    W01,  // the board did not report the PC as joined in time
    W02,  // no address of this PC in the board's network
    F01,  // the firmware file could not be written
    U01,  // no answer to the tool's invitation
    U02,  // authentication failed
    U03,  // the board never connected back to the PC
    U04,  // the transfer broke off
    U05,  // the tool could not be started
    U06,  // the tool's output held an error although the board took the image
    B01,  // the board rejected the image
    B02,  // no verdict from the board in time
    B03,  // the version read back differs or could not be read
};

// The stages of one update, in the order they run.
enum class UpdateStage {
    AccessPoint,
    OtaMode,
    WiFiWait,
    Preflight,
    ToolStart,
    Invitation,
    Authentication,
    Transfer,
    BoardVerify,
    RestartCheck,
    ModeRestore,
};

// The operator's texts of the write's progress and diagnosis, in one table so
// that they can be reviewed and translated together.
namespace write_messages {

QString StageName(UpdateStage stage);
// "NG-U03"
QString NgCodeText(NgCode code);
QString NgCause(NgCode code);
// toolName names the program a firewall must allow (NG-U03).
QString NgRemedy(NgCode code, const QString& toolName);
// The log line after the outcome lines: "NG-U03: <cause> <remedy>".
QString NgLogLine(NgCode code, const QString& toolName);

// "工程 転送: 4012ms"
QString StageLogLine(UpdateStage stage, qint64 ms);
// "所要時間: 12.3秒"
QString TotalTimeText(qint64 ms);

// "820 / 1600 KB  180 kB/s  残り 4秒"; speed and time left only when known.
QString TransferDetail(qint64 sentBytes, qint64 totalBytes, double bytesPerSecond);
// "12 / 60秒"
QString WaitDetail(qint64 waitedMs, qint64 limitMs);

// Pre-flight results for the log.
QString PreflightPcAddress(const QString& address, int prefixLength, const QString& adapter);
QString PreflightNotInNetwork(const QString& boardAddress);
QString PreflightSecondAdapter(const QString& adapter, const QString& address);
QString PreflightCannotListen(const QString& address, const QString& error);
QString PreflightNoAdapterList();

}  // namespace write_messages
}  // namespace ifb
