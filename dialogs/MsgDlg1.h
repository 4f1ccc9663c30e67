#pragma once

#include <QStringList>

#include "CentredDialog.h"
#include "Operator.h"

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
    // Offers the automatic join: the button "自動接続" beside OK. Its progress
    // and outcome show in the dialog; a join closes it as OK does, a failed
    // one leaves it open for the manual way.
    void offerAutoJoin(const JoinInstruction& instruction);
    // What the button does.
    void startAutoJoin();

    QLabel* lMessage1() const { return lMessage1_; }
    QLabel* lMessage2() const { return lMessage2_; }
    QLabel* autoJoinStatus() const { return autoJoinStatus_; }
    QPlainTextEdit* Memo1() const { return memo1_; }

  public slots:
    void reject() override;

  private:
    QLabel* lMessage1_;
    QLabel* lMessage2_;
    QPlainTextEdit* memo1_;
    QPushButton* okBtn_;
    QPushButton* cancelBtn_;
    QPushButton* autoJoinBtn_;
    QLabel* autoJoinStatus_;
    JoinInstruction autoJoin_;
    bool refused_ = false;
};

}  // namespace ifb
