#pragma once

#include <QElapsedTimer>
#include <QString>
#include <optional>

#include "BoardRestore.h"
#include "OperationContext.h"
#include "StageTimeline.h"
#include "TickClock.h"
#include "ToolOutputReader.h"

namespace ifb {

// The firmware write over Wi-Fi: the board into OTA mode, the operator's
// join, the upload tool, the board's verdict and the new ROM version, and the
// closing steps that give the board its mode back.
class OtaUpdate {
  public:
    OtaUpdate(const OperationContext& context, BoardRestore& restore) : c_(context), restore_(restore) {}

    void RunOtaUpdate();
    // Polls the board until it reports the PC on its access point, at most
    // CONECT_WAIT_TIME.
    bool WaitWiFiConnection();
    // Stops a running update as soon as it can; the closing steps still run.
    void requestAbort() { abortRequested_ = true; }

    // How the last update ended: none for the cancel end (the closing steps
    // did not run), and its NG code.
    std::optional<UpdateOutcome> lastOutcome() const { return lastOutcome_; }
    const std::optional<NgCode>& lastNg() const { return ng_; }
    // The stages of the last update with their timings.
    const StageTimeline& stages() const { return stages_; }

  private:
    // The access point's records, the OTA mode and the operator's join:
    // false when the update ends with the cancel end.
    bool startOtaMode();
    // Whether the board's connection back can reach this PC; false when the
    // upload cannot work.
    bool checkNetwork();
    bool writeFirmwareFile(QString& firmwarePath);
    // The upload tool and what follows it up to the outcome.
    UpdateOutcome upload(const QString& firmwarePath);
    void readToolOutput(ToolOutputReader& reader, const QString& text);
    // The board's verdict on the image, then its new ROM version.
    UpdateOutcome judgeVerdict(const ToolOutputReader& reader);
    UpdateOutcome checkNewFirmware();
    void enterStage(UpdateStage stage, int percent = -1, const QString& detail = QString());
    void logStages();
    void finishUpdate(UpdateOutcome outcome, const QString& firmwarePath);
    void cancelUpdate();
    // The record's facts known when the operator confirmed the join.
    void beginFacts();
    // The outcome and its time, then the record: before the result is shown.
    void commitFacts(UpdateOutcome outcome);

    OperationContext c_;
    BoardRestore& restore_;
    TickTimeout tickTimeout_;
    QElapsedTimer updateStopwatch_;
    StageTimeline stages_;
    QElapsedTimer transferClock_;
    std::optional<NgCode> ng_;
    std::optional<UpdateOutcome> lastOutcome_;
    QElapsedTimer recordStopwatch_;
    UpdateFacts facts_;
    bool abortRequested_ = false;
};

}  // namespace ifb
