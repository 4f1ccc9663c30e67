#include "StageTimeline.h"

namespace ifb {

void StageTimeline::start() {
    clock_.start();
    stageStartMs_ = 0;
    endMs_ = -1;
    current_.reset();
    timings_.clear();
}

void StageTimeline::closeCurrent() {
    if (!current_) return;
    const qint64 now = clock_.elapsed();
    timings_.append({*current_, now - stageStartMs_});
    stageStartMs_ = now;
    current_.reset();
}

void StageTimeline::enter(UpdateStage stage) {
    if (!clock_.isValid()) start();
    if (current_ == stage) return;
    closeCurrent();
    current_ = stage;
    stageStartMs_ = clock_.elapsed();
}

void StageTimeline::finish() {
    if (!clock_.isValid()) return;
    closeCurrent();
    if (endMs_ < 0) endMs_ = clock_.elapsed();
}

qint64 StageTimeline::totalMs() const {
    if (!clock_.isValid()) return 0;
    return endMs_ >= 0 ? endMs_ : clock_.elapsed();
}

}  // namespace ifb
