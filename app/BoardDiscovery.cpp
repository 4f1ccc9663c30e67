// Board discovery: the port choice, the link, the board check and the
// board's network settings.
#include "AppPaths.h"
#include "EventWait.h"
#include "MessageBox.h"
#include "SerialPortList.h"
#include "TTComXDlg.h"
#include "UpdaterApp.h"
#include "WorkflowTimings.h"

namespace ifb {
namespace {

const QString kCheckBanner = QStringLiteral("------- Check IFB ----------");

QString UsbModeQuestion(int usbWaitMode) {
    const QString head = QStringLiteral(
        "I/Fボードに接続できませんでした。\n\n動作モードをUSBモードに変更して再接続しますか。\n");
    if (usbWaitMode == 0)
        return head + QStringLiteral("(ソフト終了時に手動で動作モードを再選択する必要があります。)");
    return head + QStringLiteral(
                      "※ ソフト終了時に手動で動作モードを再選択する必要があります。\n"
                      "※ 接続検証に最長2分程かかる場合があります。");
}

}  // namespace

bool UpdaterApp::FindBoard() {
    PortDialogSetup setup;
    setup.caption = QStringLiteral("シリアルポートのオープン");
    {
        TEnumCom ports;
        ports.Enumerate(option.ComPort);
        setup.items = ports.items();
    }
    for (int i = 0; i < setup.items.size(); ++i) {
        if (TEnumCom::PortNameOfItem(setup.items[i]) == option.ComPort) {
            setup.selectedIndex = i;
            break;
        }
    }
    if (setup.selectedIndex < 0 && !setup.items.isEmpty()) setup.selectedIndex = 0;
    setup.speedItem = SpeedItemFromCode(option.ComSpeed);
    setup.parityItem = ParityItemFromCode(option.Parity);

    const PortDialogResult chosen = op_.runPortDialog(setup);
    bool result = false;
    bool closeWindow = false;
    QString outcome;
    if (!chosen.opened) {
        closeWindow = true;
    } else {
        const int index = chosen.selectedIndex >= 0 ? chosen.selectedIndex : 0;
        const bool havePort = index < chosen.items.size();
        if (havePort) option.ComPort = TEnumCom::PortNameOfItem(chosen.items[index]);
        option.ComSpeed = SpeedCodeFromItem(chosen.speedItem);
        option.Parity = ParityCodeFromItem(chosen.parityItem);

        // An empty port list leaves nothing to open: that ends like a port
        // that does not open, without a link.
        if (havePort) {
            SerialLine line;
            LinkSettings settings;
            ReadLinkSettings(settingsPath, option.UseUSB, line, settings);
            link_ = std::make_unique<TTComXDlg>(
                option.TCPPort, option.fTCPServer, option.TCPServPort, option.TCPServAddr, option.UseUSB,
                option.ComPort, option.ComSpeed, option.Parity, &op_.logPane(), line, settings);
            // Received bytes are decoded at once (from the event loop, like a
            // tick), not only at the next 50 ms tick: each command would
            // otherwise wait most of a tick for its reply.
            connect(link_.get(), &TTComXDlg::BytesArrived, this, [this] {
                if (timer1_.isActive() && !rxPoll_.isActive()) rxPoll_.start();
            });
            commands_ = std::make_unique<BoardCommands>(*link_, *this, [this] {
                link_->ReopenOnPort(option.ComPort);
                timer1_.start();
            });
        }
        op_.setMainWindowEnabled(false);
        timer1_.start();
        if (!link_ || !link_->IsLinkOpen()) {
            outcome = QStringLiteral("NG: Port Open");
            closeWindow = true;
        } else {
            option.fNoVerCheck = 0;
            UsbModeRun = false;
            if (CheckBoard(program.checkBoardMs())) {
                outcome = QStringLiteral("Find VX7 IFB");
                result = true;
            } else if (showMessage(UsbModeQuestion(program.USBWait_Mode), QStringLiteral("USBモードでの実行"),
                                   MsgIcon::Warning, MsgButtons::YesNo) == MsgAnswer::Yes) {
                UsbModeRun = true;
                PauseWithEvents(kBoardSettlePauseMs);
                result = CheckBoard(program.checkBoardMs());
                if (!result) {
                    PauseWithEvents(kBoardSettlePauseMs);
                    result = CheckBoard(program.checkBoardMs());
                }
                outcome = result ? QStringLiteral("Find VX7 IFB") : QStringLiteral("Not Find VX7 IFB");
                if (!result) UsbModeRun = false;
            }
        }
    }
    op_.setMainWindowEnabled(true);
    WriteLog(outcome, false);
    if (closeWindow) op_.requestClose();
    return result;
}

bool UpdaterApp::CheckBoard(quint32 timeoutMs) {
    ProcessPendingEvents();
    startProgress(ProgressKind::BoardCheck, kCheckBanner, true);
    op_.setMainWindowEnabled(false);
    bool ok = false;
    boardModeKnown_ = false;
    if (UsbModeRun) {
        ok = commands_->SetIFBMode(0, timeoutMs);
        SavedBoardMode = 0;
        if (!ok && program.USBWait_Mode == 1) {
            PauseWithEvents(kBoardSettlePauseMs);
            if (link_->WaitReply(reply::kAck, kUsbModeAckWaitMs)) {
                quint16 mode = 0;
                ok = commands_->GetIFBMode(timeoutMs, mode) && (mode & 7) == 0;
            } else {
                ok = commands_->SetIFBMode(0, timeoutMs);
            }
        }
    } else {
        ok = commands_->GetIFBMode(timeoutMs, SavedBoardMode) ||
             commands_->GetIFBMode(timeoutMs, SavedBoardMode);
        boardModeKnown_ = ok;
        if (ok) {
            WriteLog(QStringLiteral("OK: GetIFBMode"), false);
            ok = program.USBchange == 1 ? commands_->SetIFBMode(0, timeoutMs)
                                        : commands_->ESP32_RestartCmd(timeoutMs);
            if (ok) {
                commands_->ESP32_RestartCmd(timeoutMs);
                WriteLog(QStringLiteral("OK: ESP32_RestartCmd"), false);
                PauseWithEvents(kBoardSettlePauseMs);
            } else {
                commands_->ESP32_RestartCmd(timeoutMs);
                PauseWithEvents(kBoardSettlePauseMs);
                commands_->SetIFBMode(0, timeoutMs);
            }
        }
    }
    if (ok) {
        PauseWithEvents(kBoardSettlePauseMs);
        ok = ReadBoardNetwork(kNetworkReadTimeoutMs);
    }
    if (!ok && program.USBWait_Mode == 0) commands_->ESP32_RestartCmd(timeoutMs);
    // The USB mode the fallback set is as good as one read from the board.
    if (UsbModeRun) boardModeKnown_ = ok;
    op_.closeProgress();
    return ok;
}

bool UpdaterApp::ReadBoardNetwork(quint32 timeoutMs) {
    if (!commands_->GetWiFiConfig(timeoutMs, tcpipParam)) return false;
    if (!commands_->GetTCPIPParam(timeoutMs, tcpipParam)) return false;
    option.TCPPort = tcpipParam.tcpPort;
    option.fTCPServer = static_cast<int>(tcpipParam.ipAddress);
    option.TCPServPort = tcpipParam.value1;
    option.TCPServAddr = QString::number(tcpipParam.value2);
    return true;
}

}  // namespace ifb
