#include "MsgDlg1.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "UiStyle.h"
#include "WifiMessages.h"

namespace ifb {

TMsg1Dlg::TMsg1Dlg(QWidget* owner) : CentredDialog(owner) {
    setObjectName(QStringLiteral("Msg1Dlg"));
    setWindowTitle(QStringLiteral("ダイアログ"));
    ApplyUiFont(this);
    SetColours(this, palette().color(QPalette::WindowText), kCream);
    resize(384, 214);

    lMessage1_ = new QLabel(this);
    lMessage1_->setObjectName(QStringLiteral("lMessage1"));
    lMessage1_->setFont(TahomaPx(13));
    lMessage1_->setWordWrap(true);
    lMessage2_ = new QLabel(this);
    lMessage2_->setObjectName(QStringLiteral("lMessage2"));
    lMessage2_->setFont(TahomaPx(13));
    lMessage2_->setWordWrap(true);

    memo1_ = new QPlainTextEdit(this);
    memo1_->setObjectName(QStringLiteral("Memo1"));
    memo1_->setReadOnly(true);
    memo1_->setFont(FixedWidthPx(13));
    memo1_->setFixedHeight(54);
    memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo1_->setFrameStyle(QFrame::NoFrame);
    SetColours(memo1_, kNavy, kCream);

    // Kept for the form's completeness; nothing shows them.
    for (const char* name : {"STMessage1", "STMessage2"}) {
        auto* hidden = new QLabel(this);
        hidden->setObjectName(QLatin1String(name));
        hidden->hide();
    }

    okBtn_ = new QPushButton(QStringLiteral("OK"), this);
    okBtn_->setObjectName(QStringLiteral("OKBtn"));
    okBtn_->setDefault(true);
    cancelBtn_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
    cancelBtn_->setAutoDefault(false);
    connect(okBtn_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
    autoJoinBtn_ = new QPushButton(wifi_messages::AutoJoinButton(), this);
    autoJoinBtn_->setObjectName(QStringLiteral("AutoJoinBtn"));
    autoJoinBtn_->setAutoDefault(false);
    autoJoinBtn_->hide();
    connect(autoJoinBtn_, &QPushButton::clicked, this, &TMsg1Dlg::startAutoJoin);
    autoJoinStatus_ = new QLabel(this);
    autoJoinStatus_->setObjectName(QStringLiteral("AutoJoinStatus"));
    autoJoinStatus_->setFont(TahomaPx(13));
    autoJoinStatus_->setWordWrap(true);
    autoJoinStatus_->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(autoJoinBtn_);
    buttons->addWidget(okBtn_);
    buttons->addWidget(cancelBtn_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 10);
    layout->addWidget(lMessage1_);
    layout->addSpacing(6);
    layout->addWidget(lMessage2_);
    layout->addStretch();
    layout->addWidget(memo1_);
    layout->addWidget(autoJoinStatus_);
    layout->addSpacing(6);
    layout->addLayout(buttons);
}

void TMsg1Dlg::setMessages(const QString& message1, const QString& message2) {
    lMessage1_->setText(message1);
    lMessage2_->setText(message2);
}

void TMsg1Dlg::setMemoLines(const QStringList& lines) {
    memo1_->setPlainText(lines.join(QLatin1Char('\n')));
}

void TMsg1Dlg::offerAutoJoin(const JoinInstruction& instruction) {
    autoJoin_ = instruction;
    autoJoinBtn_->setVisible(autoJoin_.autoJoin && autoJoin_.offerButton);
}

void TMsg1Dlg::reject() {
    // A join in progress sees this and stops.
    refused_ = true;
    QDialog::reject();
}

void TMsg1Dlg::startAutoJoin() {
    if (!autoJoin_.autoJoin) return;
    refused_ = false;
    autoJoinBtn_->setEnabled(false);
    okBtn_->setEnabled(false);
    autoJoinStatus_->setText(autoJoin_.joiningText);
    autoJoinStatus_->show();
    const QPointer<TMsg1Dlg> self(this);
    const AutoJoinResult result = autoJoin_.autoJoin([self] { return !self || self->refused_; });
    if (!self || refused_) return;
    autoJoinBtn_->setEnabled(true);
    okBtn_->setEnabled(true);
    if (result.joined) {
        autoJoinStatus_->setText(result.text);
        accept();
        return;
    }
    autoJoinStatus_->setText(result.text + QLatin1Char('\n') + wifi_messages::ManualWay());
}

}  // namespace ifb
