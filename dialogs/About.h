#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

namespace ifb {

class ClickableLabel;

// The about box, created once and shown again on every request. Its program
// icon holds the hidden gesture: the third click with Ctrl down (counted over
// all showings, never reset) and every click after it switch diagnostic mode on.
class TAboutBox final : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* owner = nullptr);

    // Called on every icon click once three Ctrl-clicks were counted.
    void setDiagnosticModeHandler(std::function<void()> handler) { diagnosticMode_ = std::move(handler); }

    ClickableLabel* ProgramIcon() const { return programIcon_; }
    // What the icon's click does.
    void ProgramIconClick();

  signals:
    void diagnosticModeRequested();

  private:
    ClickableLabel* programIcon_;
    QLabel* productName_;
    QLabel* version_;
    QLabel* copyright_;
    QLabel* comments_;
    QPushButton* okButton_;
    std::function<void()> diagnosticMode_;
    qint32 ctrlClicks_ = 0;
};

}  // namespace ifb
