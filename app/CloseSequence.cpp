#include "CloseSequence.h"

#include "MessageBox.h"
#include "TTComXDlg.h"
#include "WorkflowTimings.h"

namespace ifb {
namespace {

const QString kUsbModeLeft = QStringLiteral(
    "動作モードが「USBモード」に切り替わっています。\n\n設定ツールで任意のモードに切り替えてください。");

}  // namespace

void CloseSequence::run() {
    if (closed_) return;
    closed_ = true;
    Session& s = c_.session;
    if (WriteSettings(s.settingsPath, s.option, s.program, s.SavedBoardMode))
        WriteStationSettings(s.settingsPath, s.station);
    const TTComXDlg* link = c_.board.link();
    if (!link) return;
    // A board station mode has given back is not touched again.
    if (s.option.fNoVerCheck == 0 && !s.boardReleased) releaseBoard();
    WriteLinkSettings(s.settingsPath, s.option.UseUSB, link->serialLine(), link->linkSettings());
    c_.board.close();
}

void CloseSequence::releaseBoard() {
    const Session& s = c_.session;
    // A board the update restarted a moment ago is let finish booting first.
    if (s.boardBooting) restore_.waitForBoard(s.program.checkBoardMs());
    if (!s.UsbModeRun) return restore_.restoreBoardMode();
    if (restore_.restartBoard(kRestoreReplyTimeoutMs))
        showMessage(kUsbModeLeft, QStringLiteral("動作モードの再設定"), MsgIcon::Information);
}

}  // namespace ifb
