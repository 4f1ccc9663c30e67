#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include "BoardDiscovery.h"
#include "OperationContext.h"

namespace ifb {

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

// The start-up sequence of the first show: the program's path, the board and
// its records, the upload tool. On failure the window is asked to close.
class StartUp {
  public:
    StartUp(const OperationContext& context, BoardDiscovery& discovery)
        : c_(context), discovery_(discovery) {}

    StartupResult run();
    // The records of a board taken later in the run (station mode), timed from
    // now; a refused board is recorded and told, and the window stays.
    StartupResult takeBoardRecords();

  private:
    // Ends the start-up: the window is asked to close.
    StartupResult stop(StartupResult why);
    // ROM version, model name and target ID, each refusing the board when
    // it cannot be read or does not fit this build.
    StartupResult readBoardRecords();
    // An installed program says where its files go.
    void logPlaces();
    // The record of a board that answered but is refused; written before the
    // box that says so.
    void recordRefusal();

    OperationContext c_;
    BoardDiscovery& discovery_;
    QDateTime startedAt_;
    QElapsedTimer stopwatch_;
};

}  // namespace ifb
