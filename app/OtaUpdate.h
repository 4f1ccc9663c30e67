#pragma once

#include <QElapsedTimer>
#include <QString>

#include "BoardRestore.h"
#include "OperationContext.h"
#include "TickClock.h"

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

  private:
    // The access point's records, the OTA mode and the operator's join:
    // false when the update ends with the cancel end.
    bool startOtaMode();
    bool writeFirmwareFile(QString& firmwarePath);
    // The upload tool and what follows it up to the outcome.
    UpdateOutcome upload(const QString& firmwarePath);
    // The board's verdict on the image, then its new ROM version.
    UpdateOutcome judgeVerdict();
    UpdateOutcome checkNewFirmware();
    void finishUpdate(UpdateOutcome outcome, const QString& firmwarePath);
    void cancelUpdate();

    OperationContext c_;
    BoardRestore& restore_;
    TickTimeout tickTimeout_;
    QElapsedTimer updateStopwatch_;
    bool abortRequested_ = false;
};

}  // namespace ifb
