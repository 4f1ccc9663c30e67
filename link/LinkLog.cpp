#include "LinkLog.h"

namespace ifb {
// Below warnings nothing shows until a rule switches the category on.
Q_LOGGING_CATEGORY(lcLink, "ifb.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWire, "ifb.wire", QtWarningMsg)
}  // namespace ifb
