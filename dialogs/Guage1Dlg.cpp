#include "Guage1Dlg.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "UiStyle.h"

namespace ifb {

TGuage1Dlg::TGuage1Dlg(QWidget* owner)
    : CentredDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Guage1Dlg"));
    setWindowTitle(QStringLiteral("変換実行中"));
    ApplyUiFont(this);
    setFixedSize(333, 125);

    label1_ = new QLabel(this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setAlignment(Qt::AlignCenter);
    label1_->setGeometry(10, 8, 313, 25);

    panel2_ = new QFrame(this);
    panel2_->setObjectName(QStringLiteral("Panel2"));
    panel2_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel2_->setGeometry(8, 48, 318, 20);
    progressBar1_ = new QProgressBar(panel2_);
    progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar1_->setTextVisible(false);
    auto* panelLayout = new QVBoxLayout(panel2_);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    panelLayout->addWidget(progressBar1_);

    ct_ = new QLabel(QStringLiteral("書き込み中"), this);
    ct_->setObjectName(QStringLiteral("CT"));
    ct_->setFont(TahomaPx(40));
    ct_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ct_->setGeometry(20, 36, 230, 56);
    ct_->hide();
    dot_ = new QLabel(QStringLiteral("・・・"), this);
    dot_->setObjectName(QStringLiteral("dot"));
    dot_->setFont(TahomaPx(20));
    dot_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    dot_->setGeometry(254, 56, 76, 32);
    dot_->hide();

    button1_ = new QPushButton(QStringLiteral("&Cancel"), this);
    button1_->setObjectName(QStringLiteral("Button1"));
    button1_->setGeometry(129, 92, 75, 25);
    connect(button1_, &QPushButton::clicked, this, &QDialog::reject);
}

void TGuage1Dlg::setMarquee(bool running) {
    if (running) {
        progressBar1_->setRange(0, 0);
    } else {
        progressBar1_->setRange(0, 100);
        progressBar1_->setValue(0);
    }
}

void TGuage1Dlg::finish() {
    finishing_ = true;
    close();
}

// Escape and the window's close request end up here; QDialog keeps the
// dialog open when this does not close it.
void TGuage1Dlg::reject() {
    if (finishing_ || !button1_->isHidden()) QDialog::reject();
}

}  // namespace ifb
