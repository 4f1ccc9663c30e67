#pragma once

#include <QString>

#include "Operator.h"

namespace ifb {

// The result dialog's texts, shared by the window and batch mode.
QString ResultVerdict(UpdateOutcome outcome);  // "OK" or "NG"
// The sentences under the verdict, starting with a line break.
QString ResultExplanation(UpdateOutcome outcome);
// What follows them: the NG code with its cause and remedy, and the total time.
QString ResultDiagnosis(const WriteResult& result);

}  // namespace ifb
