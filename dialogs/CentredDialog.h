#pragma once

#include <QDialog>

namespace ifb {

// A dialog that opens in the middle of the screen instead of over its owner.
class CentredDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CentredDialog(QWidget* owner = nullptr, Qt::WindowFlags flags = {}) : QDialog(owner, flags) {}

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    bool centred_ = false;
};

}  // namespace ifb
