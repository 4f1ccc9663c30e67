#include "ToolOutputReader.h"

namespace ifb {

namespace {

// How a failure shows in the output; a later one in the list never replaces
// an earlier find.
struct FailureMark {
    const char* text;
    NgCode code;
};

const FailureMark kFailureMarks[] = {
    {"No response from the ESP", NgCode::U01},
    {"Authentication Failed", NgCode::U02},
    {"No Answer to our Authentication", NgCode::U02},
    {"Error Uploading", NgCode::U04},
    {"Error response from device", NgCode::U04},
    // The shell's and cmd.exe's words for a program that is not there.
    {": not found", NgCode::U05},
    {"No such file or directory", NgCode::U05},
    {"Permission denied", NgCode::U05},
    {"is not recognized as an internal or external command", NgCode::U05},
};

constexpr qint64 kChunkBytes = 1024;

}  // namespace

int ToolOutputReader::percent() const {
    if (totalBytes_ == 0) return 0;
    return static_cast<int>(bytesSent_ * 100 / totalBytes_);
}

void ToolOutputReader::reach(UpdateStage stage, QList<UpdateStage>& reached) {
    if (static_cast<int>(stage) <= reached_) return;
    reached_ = static_cast<int>(stage);
    reached.append(stage);
}

void ToolOutputReader::noteFailure(NgCode code) {
    if (!failure_) failure_ = code;
}

void ToolOutputReader::setSent(qint64 bytes) {
    bytesSent_ = qMax(bytesSent_, qMin(bytes, totalBytes_));
}

void ToolOutputReader::takeMarkers(QList<UpdateStage>& reached) {
    if (line_.contains(QLatin1String("Sending invitation"))) reach(UpdateStage::Invitation, reached);
    if (line_.contains(QLatin1String("Authenticating"))) reach(UpdateStage::Authentication, reached);
    // Silence once the invitation was answered: the board never came back
    // before the transfer, or stopped answering during it.
    if (line_.contains(QLatin1String("No response from device")))
        noteFailure(transferStarted() ? NgCode::U04 : NgCode::U03);
    for (const FailureMark& mark : kFailureMarks) {
        if (line_.contains(QLatin1String(mark.text))) noteFailure(mark.code);
    }
}

QList<UpdateStage> ToolOutputReader::feed(const QString& text) {
    QList<UpdateStage> reached;
    for (const QChar c : text) {
        if (countingDots_) {
            if (c == QLatin1Char('.')) {
                ++dots_;
                setSent(dots_ * kChunkBytes);
                continue;
            }
            if (!c.isSpace()) countingDots_ = false;
        }
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            takeMarkers(reached);
            line_.clear();
            continue;
        }
        line_.append(c);
        if (line_.endsWith(QLatin1String("Uploading"))) {
            reach(UpdateStage::Transfer, reached);
            // A tool that tries again counts its dots from the start; the
            // figure shown waits until the new count passes it.
            if (!countingDots_) dots_ = 0;
            countingDots_ = true;
        } else if (c == QLatin1Char('%') && transferStarted()) {
            // "Uploading: [====    ] 45% "
            qsizetype start = line_.size() - 1;
            while (start > 0 && line_.at(start - 1).isDigit()) --start;
            bool ok = false;
            const int value = QStringView(line_).mid(start, line_.size() - 1 - start).toInt(&ok);
            if (ok && value >= 0 && value <= 100) setSent(totalBytes_ * value / 100);
        }
        // Markers are looked for once their line is long enough to hold them;
        // a line that never ends (dots, CR frames) is still read.
        if (line_.size() > 4096) line_ = line_.right(256);
    }
    takeMarkers(reached);
    return reached;
}

}  // namespace ifb
