#pragma once

#include "BoardConnection.h"
#include "LogSink.h"
#include "Operator.h"
#include "RecordKeeper.h"
#include "Session.h"

namespace ifb {

// What every operation of the main window works with: the person at the
// screen, the run's state, the board's link, the log and the records.
struct OperationContext {
    Operator& op;
    Session& session;
    BoardConnection& board;
    LogSink& log;
    RecordKeeper& records;

    void WriteLog(const QString& text, bool always) const { log.WriteLog(text, always); }
    // The progress dialog with its caption and banner; the status bar shows
    // the banner or nothing.
    void startProgress(ProgressKind kind, const QString& banner, bool statusShowsBanner) const;
    // A record's facts about the attached board, starting now.
    UpdateFacts boardFacts() const;
};

}  // namespace ifb
