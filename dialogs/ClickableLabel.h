#pragma once

#include <QLabel>

namespace ifb {

// A label that reports a left click (the program icon, the download link).
class ClickableLabel final : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace ifb
