#include "Result1.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "ResultTexts.h"
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
    diagnosis_ = new QLabel(this);
    diagnosis_->setObjectName(QStringLiteral("Diagnosis"));
    diagnosis_->setFont(TahomaPx(12));
    diagnosis_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    diagnosis_->setWordWrap(true);
    SetColours(diagnosis_, Qt::black);

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
    layout->addWidget(diagnosis_);
    layout->addWidget(bar);
}

void TResultDlg::setResult(const WriteResult& result) {
    setWindowTitle(QStringLiteral("書き込み結果"));
    const bool ok = result.outcome == UpdateOutcome::Ok;
    st1_->setText(ResultVerdict(result.outcome));
    SetColours(st1_, ok ? kBlue : kRed);
    st2_->setText(ResultExplanation(result.outcome));
    diagnosis_->setText(ResultDiagnosis(result));
    SetColours(diagnosis_, result.ng ? kRed : Qt::black);
    // The diagnosis adds lines below the fixed layout's sentences.
    resize(width(), qMax(height(), sizeHint().height()));
}

void ShowWriteResult(QWidget* owner, const WriteResult& result) {
    QPointer<TResultDlg> dialog = new TResultDlg(owner);
    dialog->setResult(result);
    dialog->exec();
    delete dialog.data();
}

}  // namespace ifb
