#include "OperationContext.h"

#include "EventWait.h"

namespace ifb {

void OperationContext::startProgress(ProgressKind kind, const QString& banner, bool statusShowsBanner) const {
    op.openProgress({kind, QStringLiteral("しばらくお待ちください"), banner});
    op.setStatusText(statusShowsBanner ? banner : QString());
    ProcessPendingEvents();
}

}  // namespace ifb
