#pragma once

#include <QPointer>
#include <QWidget>

#include "MessageBox.h"

namespace ifb {

// QMessageBox behind the message-box seam. The owner window is the main window
// set here (or none).
class WidgetMessageBoxes final : public MessageBoxes {
  public:
    static WidgetMessageBoxes& instance();
    void setMainWindow(QWidget* window) { mainWindow_ = window; }
    MsgAnswer show(const MessageBoxRequest& request) override;

  private:
    QPointer<QWidget> mainWindow_;
};

}  // namespace ifb
