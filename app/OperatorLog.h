#pragma once

#include "LogSink.h"
#include "Operator.h"
#include "Session.h"

namespace ifb {

// The operator's log pane as the operations write to it: verbose lines only
// in diagnostic mode.
class OperatorLog final : public LogSink {
  public:
    OperatorLog(Operator& op, const Session& session) : op_(op), session_(session) {}
    void WriteLog(const QString& text, bool always) override;

  private:
    Operator& op_;
    const Session& session_;
};

}  // namespace ifb
