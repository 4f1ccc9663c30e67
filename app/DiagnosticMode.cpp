#include "DiagnosticMode.h"

#include "Session.h"
#include "TTComXDlg.h"

namespace ifb {

void EnableDiagnosticMode(Session& session, TTComXDlg* link) {
    session.VerboseLog = true;
    if (!link) return;
    link->fTrace = true;
    link->fRxTrace = true;
}

}  // namespace ifb
