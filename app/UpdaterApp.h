#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "BoardCommands.h"
#include "BoardRecords.h"
#include "NetworkAdapters.h"
#include "Operator.h"
#include "Settings.h"
#include "TickClock.h"
#include "ToolRunner.h"

namespace ifb {

class TTComXDlg;
class ToolRunner;

// How the start-up sequence ended.
enum class StartupResult {
    Ready,
    PathCheckFailed,
    BoardNotFound,  // port dialog cancelled, port not opened, or no board answering
    RomVersionFailed,
    ModelNameFailed,
    ModelRejected,
    TargetIdFailed,
    EspotaNotChosen,
};

// Whether this build takes a board reporting model: SelectModel 0 wants
// "PL-RZ42", 1 "PL-RZ41" (letter case counts), any other value any model.
bool ModelAccepted(const QString& model, int selectModel);

// The main window's state and operations (TVX7IFBProgAppForm) without any
// widget: the window owns one and forwards its events here, the batch mode
// drives the same object through the console operator. Everything runs on the
// UI thread; waits keep the event loop running.
class UpdaterApp : public QObject, public LogSink {
    Q_OBJECT
  public:
    // Runs the constructor steps: settings path and program folder, settings,
    // the update's built-in records, the firmware identifier.
    UpdaterApp(Operator& op, QString exePath, QString firmwareId, QObject* parent = nullptr);
    ~UpdaterApp() override;

    // The start-up sequence (first show). On failure the operator has been
    // asked to close the window.
    StartupResult startUp();
    // The close sequence; runs once, later calls do nothing.
    void closeSequence();
    // The write command: the update with the main window disabled.
    void writeCommand();
    // "実行ファイル再設定".
    void reselectEspota();
    // The about box gesture: verbose log, frame and receive traces.
    void enableDiagnosticMode();
    // Asks a running update to stop as soon as it can (batch mode's Ctrl+C):
    // the tool is stopped and the closing steps restore the board.
    void requestAbort();

    void WriteLog(const QString& text, bool always) override;

    bool FindBoard();
    bool CheckBoard(quint32 timeoutMs);
    bool ReadBoardNetwork(quint32 timeoutMs);
    void RunOtaUpdate();
    bool WaitWiFiConnection();

    // State, named after the settings keys and the records they mirror.
    Option option;
    ProgramSettings program;
    QString settingsPath;
    bool VerboseLog = false;
    quint16 SavedBoardMode = 0;
    bool UsbModeRun = false;
    QString FirmwareId;
    QString RomVersion;
    QString ModelName;
    TCPIPPARAM tcpipParam;
    WiFi_AP wifiAp;
    QString otaPassword;
    bool ToolOutputOk = true;
    // The least time the upload tool may run before it counts as hung and is
    // stopped; the limit the update uses is HungToolLimitMs(this, Prog_WAIT_TIME).
    quint32 toolTimeLimitMs = kHungToolMinimumMs;
    // The PC's network adapters as the Wi-Fi check sees them.
    std::function<QList<NetworkAdapter>()> networkAdapters = ListNetworkAdapters;

    TTComXDlg* link() const { return link_.get(); }

  private:
    // Ends the start-up: the window is asked to close.
    StartupResult stop(StartupResult why);
    void pollLink();
    void startProgress(ProgressKind kind, const QString& banner, bool statusShowsBanner);
    void finishUpdate(UpdateOutcome outcome, const QString& firmwarePath);
    void cancelUpdate();
    bool writeFirmwareFile(QString& firmwarePath);
    // The close sequence's part for the board: the notice after the USB-mode
    // fallback, or the mode restore.
    void restoreBoardAtClose();
    // SetIFBMode with SavedBoardMode and a restart, only for a mode read from
    // this board in this run; otherwise the log says the restore is skipped.
    void restoreBoardMode();
    // ESP32_RestartCmd; an acknowledged restart leaves the board booting.
    bool restartBoard(quint32 timeoutMs);
    // Asks the board for its mode until it answers or limitMs have passed (at
    // least once), so that a board still booting is not taken for a lost one.
    bool waitForBoard(quint32 limitMs);

    Operator& op_;
    QString exePath_;
    std::unique_ptr<TTComXDlg> link_;
    std::unique_ptr<BoardCommands> commands_;
    QTimer timer1_;
    // Brings the next poll forward when bytes arrive, so that a reply does not
    // wait for the next tick of timer1_.
    QTimer rxPoll_;
    TickTimeout tickTimeout_;
    QElapsedTimer updateStopwatch_;
    bool closed_ = false;
    bool abortRequested_ = false;
    // SavedBoardMode holds what this board reported in this run (or the USB
    // mode the fallback put it in), not just its initial 0.
    bool boardModeKnown_ = false;
    // A restart was acknowledged and the board has not answered since.
    bool boardBooting_ = false;
};

}  // namespace ifb
