#include "About.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <limits>

#include "ClickableLabel.h"
#include "SystemShell.h"
#include "UiStyle.h"
#include "VersionInfo.h"

namespace ifb {

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    ApplyUiFont(this);

    programIcon_ = new ClickableLabel(this);
    programIcon_->setObjectName(QStringLiteral("ProgramIcon"));
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    programIcon_->setPixmap(icon.pixmap(48, 48));
    programIcon_->setFixedSize(52, 52);
    programIcon_->setAlignment(Qt::AlignCenter);

    productName_ = new QLabel(GetVersionInfo(7), this);
    productName_->setObjectName(QStringLiteral("ProductName"));
    QFont bold = productName_->font();
    bold.setBold(true);
    productName_->setFont(bold);
    version_ = new QLabel(QStringLiteral("     Version ") + GetVersionInfo(2), this);
    version_->setObjectName(QStringLiteral("Version"));
    copyright_ = new QLabel(GetVersionInfo(4), this);
    copyright_->setObjectName(QStringLiteral("Copyright"));
    comments_ = new QLabel(GetVersionInfo(1), this);
    comments_->setObjectName(QStringLiteral("Comments"));
    comments_->setAlignment(Qt::AlignCenter);
    comments_->setWordWrap(true);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("OKButton"));
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(programIcon_, &ClickableLabel::clicked, this, &TAboutBox::ProgramIconClick);

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* grid = new QGridLayout(panel);
    grid->addWidget(programIcon_, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(productName_, 0, 1);
    grid->addWidget(version_, 1, 1);
    grid->addWidget(copyright_, 2, 1);
    grid->addWidget(comments_, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    setMinimumWidth(320);
}

void TAboutBox::ProgramIconClick() {
    // The key state at this moment, not the click's own modifiers.
    if (systemShell().keyboardModifiers().testFlag(Qt::ControlModifier) &&
        ctrlClicks_ < std::numeric_limits<qint32>::max())
        ++ctrlClicks_;
    if (ctrlClicks_ >= 3) {
        if (diagnosticMode_) diagnosticMode_();
        emit diagnosticModeRequested();
    }
}

}  // namespace ifb
