#include "Result1.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "UiStyle.h"

namespace ifb {

TResultDlg::TResultDlg(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("ResultDlg"));
    setWindowTitle(QStringLiteral("Res"));
    ApplyUiFont(this);
    resize(459, 186);

    st1_ = new QLabel(this);
    st1_->setObjectName(QStringLiteral("ST1"));
    st1_->setFont(TahomaPx(64));
    st1_->setAlignment(Qt::AlignCenter);
    st1_->setFixedHeight(96);
    st2_ = new QLabel(this);
    st2_->setObjectName(QStringLiteral("ST2"));
    st2_->setFont(TahomaPx(13));
    st2_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetColours(st2_, Qt::black);

    button1_ = new QPushButton(QStringLiteral("OK"), this);
    button1_->setObjectName(QStringLiteral("Button1"));
    button1_->setDefault(true);
    connect(button1_, &QPushButton::clicked, this, &QDialog::accept);

    auto* bar = new QFrame(this);
    bar->setFixedHeight(37);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(0, 4, 8, 4);
    barLayout->addStretch();
    barLayout->addWidget(button1_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 0, 8, 0);
    layout->setSpacing(0);
    layout->addWidget(st1_);
    layout->addWidget(st2_, 1);
    layout->addWidget(bar);
}

void TResultDlg::setOutcome(int outcome) {
    setWindowTitle(QStringLiteral("書き込み結果"));
    QString text;
    switch (outcome) {
        case 0:
            text = QStringLiteral("\nファームウェア書き込みが正常に完了しました。");
            break;
        case 2:
            text = QStringLiteral(
                "\nタイムアウトしました。\n\n接続を確認し、もう一度書き込みを行ってください。");
            break;
        case 3:
            text = QStringLiteral(
                "\nespota.exeでエラーが発生しました。\n\n接続製品とソフトを再起動してください。");
            break;
        default:
            text = QStringLiteral(
                "\nファームウェア書き込みを中止しました。\n\nソフトを再起動し、もう一度書き込みを行ってくださ"
                "い。");
            break;
    }
    st1_->setText(outcome == 0 ? QStringLiteral("OK") : QStringLiteral("NG"));
    SetColours(st1_, outcome == 0 ? kBlue : kRed);
    st2_->setText(text);
}

void ShowWriteResult(QWidget* owner, int outcome) {
    QPointer<TResultDlg> dialog = new TResultDlg(owner);
    dialog->setOutcome(outcome);
    dialog->exec();
    delete dialog.data();
}

}  // namespace ifb
