#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "WriteMessages.h"

namespace ifb {

class LogPane;

// What the port dialog is filled with (items are "name(description)").
struct PortDialogSetup {
    QString caption;
    QStringList items;
    int selectedIndex = -1;  // -1: nothing selected
    int speedItem = 1;       // 0 "9600bps" .. 4 "115.2kbps"
    int parityItem = 0;      // 0 none, 1 odd, 2 even
};

// What the operator left in the port dialog. The items may have been refilled
// after a device change, in which case nothing is selected.
struct PortDialogResult {
    bool opened = false;  // closed with "Open"
    QStringList items;
    int selectedIndex = -1;
    int speedItem = 1;
    int parityItem = 0;
};

// How one update ended. The numbers are the outcome codes of the result
// dialog and of batch mode's exit code.
enum class UpdateOutcome : int { Ok = 0, Aborted = 1, TimeOut = 2, ToolFailed = 3 };

// What the window shows of station mode.
struct StationView {
    bool enabled = false;
    bool waiting = false;  // for the next board
    QString counters;      // empty while station mode is off
};

// What the result dialog shows of one update.
struct WriteResult {
    UpdateOutcome outcome = UpdateOutcome::Aborted;
    std::optional<NgCode> ng;  // why it is NG, when known
    QString toolName;          // the upload tool's file name, for the remedy
    qint64 totalMs = 0;        // the update's total time
};

// Where an open progress dialog's wait or transfer stands.
struct ProgressReport {
    QString stage;     // the current stage's name
    int percent = -1;  // the bar, 0..100; -1: nothing to show
    QString detail;    // bytes, speed and time left, or the time waited
};

// The three uses of the progress dialog.
enum class ProgressKind { BoardCheck, ConnectionWait, FirmwareWrite };

struct ProgressSetup {
    ProgressKind kind = ProgressKind::BoardCheck;
    QString caption;  // "しばらくお待ちください"
    QString banner;   // Label1
};

// How an automatic Wi-Fi join went: text says so, or why not.
struct AutoJoinResult {
    bool joined = false;
    QString text;
};

// The Wi-Fi join instruction (the message dialog).
struct JoinInstruction {
    QString caption;
    QString message1;
    QString message2;
    QStringList memoLines;
    // Joins the PC to the access point by itself (stop() ends the wait);
    // empty when this PC cannot.
    std::function<AutoJoinResult(const std::function<bool()>& stop)> autoJoin;
    QString joiningText;      // shown while autoJoin runs
    QString autoJoinMissing;  // why autoJoin is empty
    bool joinAtOnce = false;  // join without waiting for the button
    // The window shows "自動接続" only when the settings ask for it, so the
    // dialog stays as it was by default.
    bool offerButton = false;
};

// The one interface between the workflow and the person at the screen. The
// widgets implement it, tests script it, the batch mode prints it. Message
// boxes go through the platform's message-box seam, not through here.
class Operator {
  public:
    virtual ~Operator() = default;

    virtual LogPane& logPane() = 0;
    virtual void setStatusText(const QString& text) = 0;
    virtual void setMainWindowEnabled(bool enabled) = 0;
    // The write button and the write menu item together.
    virtual void setWriteCommandAvailable(bool available) = 0;
    virtual void showEspotaPath(const QString& path) = 0;
    virtual void showFirmwareVersion(const QString& text) = 0;
    // Asks the main window to close once the current handler has returned.
    virtual void requestClose() = 0;

    virtual PortDialogResult runPortDialog(const PortDialogSetup& setup) = 0;

    // Non-modal progress dialog: at most one is open at a time.
    virtual void openProgress(const ProgressSetup& setup) = 0;
    // The write configuration's "書き込み中" label and the dot animation.
    virtual void setProgressDots(const QString& dots) = 0;
    // The stage line, the bar and its figures of the open progress dialog.
    virtual void showProgressReport(const ProgressReport& report) = 0;
    virtual bool progressOpen() const = 0;
    virtual void closeProgress() = 0;

    // Modal; true when confirmed with OK.
    virtual bool confirmJoin(const JoinInstruction& instruction) = 0;
    // Modal result dialog for an update's outcome.
    virtual void showWriteResult(const WriteResult& result) = 0;
    // The upload-tool dialog, filled with the current path; the path in the
    // field when closed with OK, nothing when cancelled.
    virtual std::optional<QString> runEspotaDialog(const QString& currentPath) = 0;
    // How many records wait for the central database (only when one is set up).
    virtual void showRecordsWaiting(int /*count*/) {}
    // Station mode's state: on or off, waiting for the next board, the counters.
    virtual void showStation(const StationView& /*view*/) {}
};

}  // namespace ifb
