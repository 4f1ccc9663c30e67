#pragma once

#include <QDialog>

#include "Operator.h"

class QLabel;
class QPushButton;

namespace ifb {

// The verdict at the end of an update: "OK" in blue or "NG" in red, a
// sentence for the outcome, and below it the NG code with its cause and
// remedy and the total time.
class TResultDlg final : public QDialog {
    Q_OBJECT
  public:
    explicit TResultDlg(QWidget* owner = nullptr);

    void setResult(const WriteResult& result);

    QLabel* ST1() const { return st1_; }
    QLabel* ST2() const { return st2_; }
    QLabel* diagnosis() const { return diagnosis_; }

  private:
    QLabel* st1_;
    QLabel* st2_;
    QLabel* diagnosis_;
    QPushButton* button1_;
};

// Shows the result dialog, modally, and releases it when closed.
void ShowWriteResult(QWidget* owner, const WriteResult& result);

}  // namespace ifb
