#include "OperatorLog.h"

#include "LogPane.h"

namespace ifb {

void OperatorLog::WriteLog(const QString& text, bool always) {
    if (!always && !session_.VerboseLog) return;
    records_.writeLine(always ? LineClass::Always : LineClass::Verbose, text);
}

}  // namespace ifb
