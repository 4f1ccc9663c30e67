#pragma once

#include <QLoggingCategory>

// Developer traces of the link, apart from its trace lines in the log pane and
// from diagnostic mode; off unless switched on (QT_LOGGING_RULES="ifb.*=true").
namespace ifb {
// "ifb.link": the transport's events, opens, waits that time out.
Q_DECLARE_LOGGING_CATEGORY(lcLink)
// "ifb.wire": every frame sent (TX) and every read of received bytes (RX), in hex.
Q_DECLARE_LOGGING_CATEGORY(lcWire)
}  // namespace ifb
