#include "OperationContext.h"

#include "EventWait.h"
#include "TTComXDlg.h"

namespace ifb {

void OperationContext::startProgress(ProgressKind kind, const QString& banner, bool statusShowsBanner) const {
    op.openProgress({kind, QStringLiteral("しばらくお待ちください"), banner});
    op.setStatusText(statusShowsBanner ? banner : QString());
    ProcessPendingEvents();
}

UpdateFacts OperationContext::boardFacts() const {
    UpdateFacts facts;
    facts.startedAt = QDateTime::currentDateTimeUtc();
    if (const TTComXDlg* link = board.link()) facts.port = link->serialLine().port;
    facts.model = session.ModelName;
    facts.targetId = session.TargetId;
    facts.romBefore = session.RomVersion;
    facts.uploader = session.option.App_ESPOta;
    if (session.stationUnit > 0) facts.unit = session.stationUnit;
    return facts;
}

}  // namespace ifb
