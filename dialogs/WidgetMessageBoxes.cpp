#include "WidgetMessageBoxes.h"

#include <QMessageBox>

namespace ifb {
namespace {

QMessageBox::Icon toQtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Error:
            return QMessageBox::Critical;
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons toQtButtons(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Yes:
            return QMessageBox::Yes;
        case MsgButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MsgButtons::Ok:
            break;
    }
    return QMessageBox::Ok;
}

// A box without a caption of its own gets the system's default title, "Error".
QString defaultCaption() {
    return QStringLiteral("エラー");
}

}  // namespace

WidgetMessageBoxes& WidgetMessageBoxes::instance() {
    static WidgetMessageBoxes boxes;
    return boxes;
}

MsgAnswer WidgetMessageBoxes::show(const MessageBoxRequest& request) {
    QWidget* owner = request.owner == MsgOwner::MainWindow ? mainWindow_.data() : nullptr;
    QMessageBox box(toQtIcon(request.icon), request.caption.value_or(defaultCaption()), request.text,
                    toQtButtons(request.buttons), owner);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        case QMessageBox::Ok:
            return MsgAnswer::Ok;
        default:
            break;
    }
    return request.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
}

}  // namespace ifb
