#pragma once

#include <QStringList>

#include "CentredDialog.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ifb {

// The two-message dialog: the instruction to join the board's access point,
// with the values to type in a fixed-width memo. OK confirms; Cancel, Escape
// and the close box refuse.
class TMsg1Dlg final : public CentredDialog {
    Q_OBJECT
  public:
    explicit TMsg1Dlg(QWidget* owner = nullptr);

    void setMessages(const QString& message1, const QString& message2);
    void setMemoLines(const QStringList& lines);

    QLabel* lMessage1() const { return lMessage1_; }
    QLabel* lMessage2() const { return lMessage2_; }
    QPlainTextEdit* Memo1() const { return memo1_; }

  private:
    QLabel* lMessage1_;
    QLabel* lMessage2_;
    QPlainTextEdit* memo1_;
    QPushButton* okBtn_;
    QPushButton* cancelBtn_;
};

}  // namespace ifb
