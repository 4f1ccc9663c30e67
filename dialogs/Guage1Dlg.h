#pragma once

#include "CentredDialog.h"
#include "Operator.h"

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

namespace ifb {

// The progress dialog shown while the program waits on the board or on the
// upload tool. It has no close box and the operator cannot close it (Escape
// and Alt+F4 are refused while its Cancel button is hidden); its user closes it.
class TGuage1Dlg final : public CentredDialog {
    Q_OBJECT
  public:
    explicit TGuage1Dlg(QWidget* owner = nullptr);

    QLabel* Label1() const { return label1_; }
    QFrame* Panel2() const { return panel2_; }
    QProgressBar* ProgressBar1() const { return progressBar1_; }
    QLabel* CT() const { return ct_; }
    QLabel* dot() const { return dot_; }
    QPushButton* Button1() const { return button1_; }

    // Runs the bar as a marquee (or stops it).
    void setMarquee(bool running);
    // The stage line, the bar with the real figure and the detail line,
    // below what the dialog shows already (the dialog grows for them).
    void showReport(const ProgressReport& report);
    QLabel* stageLine() const { return stage_; }
    QLabel* detailLine() const { return detail_; }
    // Closes the dialog from its user's side.
    void finish();

  public slots:
    void reject() override;

  private:
    QLabel* label1_;
    QFrame* panel2_;
    QProgressBar* progressBar1_;
    QLabel* ct_;
    QLabel* dot_;
    QPushButton* button1_;
    QLabel* stage_;
    QLabel* detail_;
    bool reportPlaced_ = false;
    bool finishing_ = false;
};

}  // namespace ifb
