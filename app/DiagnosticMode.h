#pragma once

namespace ifb {

struct Session;
class TTComXDlg;

// The about box gesture: verbose log lines, and the link's frame and receive
// traces when a link exists.
void EnableDiagnosticMode(Session& session, TTComXDlg* link);

}  // namespace ifb
