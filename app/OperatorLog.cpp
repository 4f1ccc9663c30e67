#include "OperatorLog.h"

#include "LogPane.h"

namespace ifb {

void OperatorLog::WriteLog(const QString& text, bool always) {
    if (!always && !session_.VerboseLog) return;
    AppendLogLine(op_.logPane(), text);
}

}  // namespace ifb
