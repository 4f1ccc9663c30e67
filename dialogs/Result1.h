#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace ifb {

// The verdict at the end of an update: "OK" in blue or "NG" in red, and a
// sentence for the outcome (0 done, 1 aborted, 2 time-out, 3 tool failed;
// any other code reads as aborted).
class TResultDlg final : public QDialog {
    Q_OBJECT
  public:
    explicit TResultDlg(QWidget* owner = nullptr);

    void setOutcome(int outcome);

    QLabel* ST1() const { return st1_; }
    QLabel* ST2() const { return st2_; }

  private:
    QLabel* st1_;
    QLabel* st2_;
    QPushButton* button1_;
};

// Shows the result dialog for an outcome, modally, and releases it when closed.
void ShowWriteResult(QWidget* owner, int outcome);

}  // namespace ifb
