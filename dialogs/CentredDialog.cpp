#include "CentredDialog.h"

#include "UiStyle.h"

namespace ifb {

void CentredDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CentreOnScreen(this);
    }
}

}  // namespace ifb
