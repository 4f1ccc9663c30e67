#pragma once

#include <QLoggingCategory>

// Developer traces, apart from the operator's log pane and from diagnostic
// mode. All are off unless switched on, e.g. QT_LOGGING_RULES="ifb.*=true".
// They never carry the OTA password.
namespace ifb {
// "ifb.update": the update's steps, with their times.
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)
// "ifb.tool": the upload tool's start, its output as it arrives, its end.
Q_DECLARE_LOGGING_CATEGORY(lcTool)
}  // namespace ifb
