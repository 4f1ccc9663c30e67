#pragma once

#include <QElapsedTimer>
#include <QList>
#include <optional>

#include "WriteMessages.h"

namespace ifb {

struct StageTiming {
    UpdateStage stage;
    qint64 ms;
};

// When each stage of one update began and how long it took. Entering a stage
// ends the one before it.
class StageTimeline {
  public:
    void start();
    void enter(UpdateStage stage);
    // Ends the current stage; the timings are then complete.
    void finish();

    std::optional<UpdateStage> current() const { return current_; }
    // The stages that ran, in order, each with its duration.
    const QList<StageTiming>& timings() const { return timings_; }
    // From start() to finish() (or to now while running).
    qint64 totalMs() const;

  private:
    void closeCurrent();

    QElapsedTimer clock_;
    qint64 stageStartMs_ = 0;
    qint64 endMs_ = -1;
    std::optional<UpdateStage> current_;
    QList<StageTiming> timings_;
};

}  // namespace ifb
