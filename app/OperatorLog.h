#pragma once

#include "LogSink.h"
#include "Operator.h"
#include "RecordKeeper.h"
#include "Session.h"

namespace ifb {

// The operator's log pane as the operations write to it: verbose lines only
// in diagnostic mode. What reaches the pane also reaches the session log.
class OperatorLog final : public LogSink {
  public:
    OperatorLog(RecordKeeper& records, const Session& session) : records_(records), session_(session) {}
    void WriteLog(const QString& text, bool always) override;

  private:
    RecordKeeper& records_;
    const Session& session_;
};

}  // namespace ifb
