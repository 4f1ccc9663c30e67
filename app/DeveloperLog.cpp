#include "DeveloperLog.h"

namespace ifb {
// Below warnings nothing shows until a rule switches the category on.
Q_LOGGING_CATEGORY(lcUpdate, "ifb.update", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTool, "ifb.tool", QtWarningMsg)
}  // namespace ifb
