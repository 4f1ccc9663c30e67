#pragma once

#include <QObject>
#include <QString>

#include "BoardConnection.h"
#include "BoardDiscovery.h"
#include "BoardRestore.h"
#include "CloseSequence.h"
#include "OperationContext.h"
#include "OperatorLog.h"
#include "OtaUpdate.h"
#include "RecordKeeper.h"
#include "Session.h"
#include "StartUp.h"
#include "Station.h"

namespace ifb {

class TTComXDlg;

// The main window's state and operations (TVX7IFBProgAppForm) without any
// widget: the window owns one and forwards its events here, the batch mode
// drives the same object through the console operator. It holds the run's
// session and the board's link and hands them to the operation units.
// Everything runs on the UI thread; waits keep the event loop running.
class UpdaterApp : public QObject {
    Q_OBJECT
  public:
    // Runs the constructor steps: settings path and program folder, settings,
    // the update's built-in records, the firmware identifier.
    UpdaterApp(Operator& op, QString exePath, QString firmwareId, QObject* parent = nullptr,
               SystemPortList ports = SystemPorts());
    ~UpdaterApp() override;

    // The start-up sequence (first show). On failure the operator has been
    // asked to close the window.
    StartupResult startUp();
    // The close sequence; runs once, later calls do nothing.
    void closeSequence() { close_.run(); }
    // The write command: the update with the main window disabled. In station
    // mode a board skipped as current is taken again first.
    void writeCommand();
    // "次のボード" (station mode), or the station's port gone and back: the
    // next board.
    void nextBoardCommand();
    // "連続書き込み".
    void setStationMode(bool on) { station_.setEnabled(on); }
    // "実行ファイル再設定".
    void reselectEspota();
    // The about box gesture: verbose log, frame and receive traces.
    void enableDiagnosticMode();
    // Asks a running update to stop as soon as it can (batch mode's Ctrl+C):
    // the tool is stopped and the closing steps restore the board.
    void requestAbort() { update_.requestAbort(); }

    Session& session() { return session_; }
    LogSink& log() { return log_; }
    RecordKeeper& records() { return records_; }
    BoardDiscovery& discovery() { return discovery_; }
    Station& station() { return station_; }
    TTComXDlg* link() const { return board_.link(); }

  private:
    void showStation();

    Operator& op_;
    Session session_;
    RecordKeeper records_;
    OperatorLog log_;
    BoardConnection board_;
    OperationContext context_;
    BoardRestore restore_;
    BoardDiscovery discovery_;
    StartUp startUp_;
    OtaUpdate update_;
    CloseSequence close_;
    Station station_;
};

}  // namespace ifb
