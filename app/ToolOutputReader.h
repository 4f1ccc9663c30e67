#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "WriteMessages.h"

namespace ifb {

// Reads the upload tool's output as it arrives, in whatever pieces the reads
// cut it into: the stages it announces, the transfer's progress and the
// failures it names. espota.py, espota.exe and our espota print the same.
class ToolOutputReader {
  public:
    // totalBytes: the firmware file's size, what 100 % means.
    explicit ToolOutputReader(qint64 totalBytes) : totalBytes_(qMax<qint64>(0, totalBytes)) {}

    // The stages this piece reached, in order (Invitation, Authentication,
    // Transfer); each at most once per run.
    QList<UpdateStage> feed(const QString& text);

    qint64 totalBytes() const { return totalBytes_; }
    // Never more than the total, never smaller than before.
    qint64 bytesSent() const { return bytesSent_; }
    // 0..100; 0 while nothing is known (also for an empty file).
    int percent() const;
    bool transferStarted() const { return reached_ >= static_cast<int>(UpdateStage::Transfer); }

    // The failure the output names, if any: U01 to U05.
    std::optional<NgCode> failure() const { return failure_; }

  private:
    void reach(UpdateStage stage, QList<UpdateStage>& reached);
    void takeMarkers(QList<UpdateStage>& reached);
    void noteFailure(NgCode code);
    void setSent(qint64 bytes);

    qint64 totalBytes_;
    qint64 bytesSent_ = 0;
    qint64 dots_ = 0;
    int reached_ = -1;           // the last UpdateStage reached, as int
    bool countingDots_ = false;  // between "Uploading" and the first other character
    QString line_;               // the line read so far (up to CR or LF)
    std::optional<NgCode> failure_;
};

}  // namespace ifb
