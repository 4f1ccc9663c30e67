#include "BoardDiscovery.h"

#include "EventWait.h"
#include "MessageBox.h"
#include "SerialPortList.h"
#include "TTComXDlg.h"
#include "WorkflowTimings.h"

namespace ifb {
namespace {

const QString kCheckBanner = QStringLiteral("------- Check IFB ----------");
const QString kBoardFound = QStringLiteral("Find VX7 IFB");

QString UsbModeQuestion(int usbWaitMode) {
    const QString head = QStringLiteral(
        "I/Fボードに接続できませんでした。\n\n動作モードをUSBモードに変更して再接続しますか。\n");
    if (usbWaitMode == 0)
        return head + QStringLiteral("(ソフト終了時に手動で動作モードを再選択する必要があります。)");
    return head + QStringLiteral(
                      "※ ソフト終了時に手動で動作モードを再選択する必要があります。\n"
                      "※ 接続検証に最長2分程かかる場合があります。");
}

PortDialogSetup PortDialogFor(const Option& option) {
    PortDialogSetup setup;
    setup.caption = QStringLiteral("シリアルポートのオープン");
    TEnumCom ports;
    ports.Enumerate(option.ComPort);
    setup.items = ports.items();
    for (int i = 0; i < setup.items.size(); ++i) {
        if (TEnumCom::PortNameOfItem(setup.items[i]) == option.ComPort) {
            setup.selectedIndex = i;
            break;
        }
    }
    if (setup.selectedIndex < 0 && !setup.items.isEmpty()) setup.selectedIndex = 0;
    setup.speedItem = SpeedItemFromCode(option.ComSpeed);
    setup.parityItem = ParityItemFromCode(option.Parity);
    return setup;
}

}  // namespace

bool BoardDiscovery::FindBoard() {
    const PortDialogResult chosen = c_.op.runPortDialog(PortDialogFor(c_.session.option));
    bool result = false;
    bool closeWindow = false;
    QString outcome;
    if (!chosen.opened) {
        closeWindow = true;
    } else {
        // An empty port list leaves nothing to open: that ends like a port
        // that does not open, without a link.
        if (takePortChoice(chosen)) c_.board.open(c_.records.pane(LineClass::Trace));
        c_.op.setMainWindowEnabled(false);
        c_.board.startPolling();
        const TTComXDlg* link = c_.board.link();
        if (!link || !link->IsLinkOpen()) {
            outcome = QStringLiteral("NG: Port Open");
            closeWindow = true;
        } else {
            c_.session.option.fNoVerCheck = 0;
            c_.session.UsbModeRun = false;
            result = CheckBoard(c_.session.program.checkBoardMs()) || checkInUsbMode();
            if (result) {
                outcome = kBoardFound;
            } else if (c_.session.UsbModeRun) {
                outcome = QStringLiteral("Not Find VX7 IFB");
                c_.session.UsbModeRun = false;
            }
        }
    }
    c_.op.setMainWindowEnabled(true);
    c_.WriteLog(outcome, false);
    if (closeWindow) c_.op.requestClose();
    return result;
}

bool BoardDiscovery::takePortChoice(const PortDialogResult& chosen) {
    Option& option = c_.session.option;
    const int index = chosen.selectedIndex >= 0 ? chosen.selectedIndex : 0;
    const bool havePort = index < chosen.items.size();
    if (havePort) option.ComPort = TEnumCom::PortNameOfItem(chosen.items[index]);
    option.ComSpeed = SpeedCodeFromItem(chosen.speedItem);
    option.Parity = ParityCodeFromItem(chosen.parityItem);
    return havePort;
}

bool BoardDiscovery::checkInUsbMode() {
    if (showMessage(UsbModeQuestion(c_.session.program.USBWait_Mode), QStringLiteral("USBモードでの実行"),
                    MsgIcon::Warning, MsgButtons::YesNo) != MsgAnswer::Yes)
        return false;
    c_.session.UsbModeRun = true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        PauseWithEvents(kBoardSettlePauseMs);
        if (CheckBoard(c_.session.program.checkBoardMs())) return true;
    }
    return false;
}

bool BoardDiscovery::CheckBoard(quint32 timeoutMs) {
    ProcessPendingEvents();
    c_.startProgress(ProgressKind::BoardCheck, kCheckBanner, true);
    c_.op.setMainWindowEnabled(false);
    Session& s = c_.session;
    BoardCommands& commands = c_.board.commands();
    s.boardModeKnown = false;
    bool ok = s.UsbModeRun ? setUsbMode(timeoutMs) : prepareBoard(timeoutMs);
    if (ok) {
        PauseWithEvents(kBoardSettlePauseMs);
        ok = ReadBoardNetwork(kNetworkReadTimeoutMs);
    }
    if (!ok && s.program.USBWait_Mode == 0) commands.ESP32_RestartCmd(timeoutMs);
    // The USB mode the fallback set is as good as one read from the board.
    if (s.UsbModeRun) s.boardModeKnown = ok;
    c_.op.closeProgress();
    return ok;
}

bool BoardDiscovery::setUsbMode(quint32 timeoutMs) {
    BoardCommands& commands = c_.board.commands();
    c_.session.SavedBoardMode = 0;
    if (commands.SetIFBMode(0, timeoutMs)) return true;
    if (c_.session.program.USBWait_Mode != 1) return false;
    // A board that is still switching may acknowledge late.
    PauseWithEvents(kBoardSettlePauseMs);
    if (c_.board.link()->WaitReply(Reply::Ack, kUsbModeAckWaitMs)) {
        quint16 mode = 0;
        return commands.GetIFBMode(timeoutMs, mode) && (mode & 7) == 0;
    }
    return commands.SetIFBMode(0, timeoutMs);
}

bool BoardDiscovery::prepareBoard(quint32 timeoutMs) {
    Session& s = c_.session;
    BoardCommands& commands = c_.board.commands();
    const bool read =
        commands.GetIFBMode(timeoutMs, s.SavedBoardMode) || commands.GetIFBMode(timeoutMs, s.SavedBoardMode);
    s.boardModeKnown = read;
    if (!read) return false;
    c_.WriteLog(QStringLiteral("OK: GetIFBMode"), false);
    const bool ok =
        s.program.USBchange == 1 ? commands.SetIFBMode(0, timeoutMs) : commands.ESP32_RestartCmd(timeoutMs);
    if (ok) {
        commands.ESP32_RestartCmd(timeoutMs);
        c_.WriteLog(QStringLiteral("OK: ESP32_RestartCmd"), false);
        PauseWithEvents(kBoardSettlePauseMs);
    } else {
        commands.ESP32_RestartCmd(timeoutMs);
        PauseWithEvents(kBoardSettlePauseMs);
        commands.SetIFBMode(0, timeoutMs);
    }
    return ok;
}

bool BoardDiscovery::ReadBoardNetwork(quint32 timeoutMs) {
    Session& s = c_.session;
    BoardCommands& commands = c_.board.commands();
    if (!commands.GetWiFiConfig(timeoutMs, s.tcpipParam)) return false;
    if (!commands.GetTCPIPParam(timeoutMs, s.tcpipParam)) return false;
    s.option.TCPPort = s.tcpipParam.tcpPort;
    s.option.fTCPServer = static_cast<int>(s.tcpipParam.ipAddress);
    s.option.TCPServPort = s.tcpipParam.value1;
    s.option.TCPServAddr = QString::number(s.tcpipParam.value2);
    return true;
}

}  // namespace ifb
