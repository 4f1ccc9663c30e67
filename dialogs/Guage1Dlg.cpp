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

    stage_ = new QLabel(this);
    stage_->setObjectName(QStringLiteral("StageLine"));
    stage_->setAlignment(Qt::AlignCenter);
    stage_->hide();
    detail_ = new QLabel(this);
    detail_->setObjectName(QStringLiteral("DetailLine"));
    detail_->setAlignment(Qt::AlignCenter);
    detail_->hide();
}

void TGuage1Dlg::showReport(const ProgressReport& report) {
    if (!reportPlaced_) {
        reportPlaced_ = true;
        // While writing, "書き込み中" takes the bar's usual place.
        const bool writing = !ct_->isHidden();
        const int barTop = writing ? 96 : 48;
        if (writing) setFixedSize(333, 168);
        panel2_->move(8, barTop);
        stage_->setGeometry(10, barTop + 22, 313, 18);
        detail_->setGeometry(10, barTop + 40, 313, 18);
        stage_->show();
        detail_->show();
    }
    stage_->setText(report.stage);
    detail_->setText(report.detail);
    panel2_->setVisible(report.percent >= 0);
    if (report.percent >= 0) {
        progressBar1_->setRange(0, 100);
        progressBar1_->setValue(qBound(0, report.percent, 100));
    }
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
