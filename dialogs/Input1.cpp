#include "Input1.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "ClickableLabel.h"
#include "FileDrop.h"
#include "SystemShell.h"
#include "UiStyle.h"

namespace ifb {
namespace {

bool isSeparator(QChar c) {
#ifdef Q_OS_WIN
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
#else
    return c == QLatin1Char('/');
#endif
}

}  // namespace

TInputDlg1::TInputDlg1(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("InputDlg1"));
    ApplyUiFont(this);
    resize(460, 190);

    st1_ = new QLabel(this);
    st1_->setObjectName(QStringLiteral("ST1"));
    st1_->setAlignment(Qt::AlignCenter);
    st1_->setMinimumHeight(30);
    SetColours(st1_, Qt::black, kSkyBlue);

    ef1_ = new QLineEdit(this);
    ef1_->setObjectName(QStringLiteral("EF1"));
    ef1_->setMinimumWidth(360);
    sb1_ = new QToolButton(this);
    sb1_->setObjectName(QStringLiteral("SB1"));
    sb1_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    sb1_->setToolTip(QStringLiteral("参照"));
    fd1_ = new TFileDrop(ef1_);
    fd1_->setObjectName(QStringLiteral("FD1"));

    st2_ = new QLabel(this);
    st2_->setObjectName(QStringLiteral("ST2"));
    st2_->hide();
    url_ = new ClickableLabel(this);
    url_->setObjectName(QStringLiteral("URL"));
    url_->setCursor(Qt::PointingHandCursor);
    QFont urlFont = url_->font();
    urlFont.setUnderline(true);
    url_->setFont(urlFont);
    SetColours(url_, kBlue);
    url_->hide();

    button1_ = new QPushButton(QStringLiteral("OK"), this);
    button1_->setObjectName(QStringLiteral("Button1"));
    button1_->setDefault(true);
    button2_ = new QPushButton(QStringLiteral("キャンセル"), this);
    button2_->setObjectName(QStringLiteral("Button2"));
    button2_->setAutoDefault(false);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(ef1_, 1);
    pathRow->addWidget(sb1_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button1_);
    buttons->addWidget(button2_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(st1_);
    layout->addLayout(pathRow);
    layout->addSpacing(8);
    layout->addWidget(st2_);
    layout->addWidget(url_);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(sb1_, &QToolButton::clicked, this, &TInputDlg1::browse);
    connect(fd1_, &TFileDrop::filesDropped, this, &TInputDlg1::takeDroppedFiles);
    connect(url_, &ClickableLabel::clicked, this, [this] {
        if (!urlAddress_.isEmpty()) systemShell().openUrl(QUrl(urlAddress_));
    });
    connect(button1_, &QPushButton::clicked, this, &QDialog::accept);
    connect(button2_, &QPushButton::clicked, this, &QDialog::reject);

    chooser_ = [](QWidget* parent, const QString& folder, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, QString(), folder, filter);
    };
}

void TInputDlg1::setPrompt(const QString& text) {
    st1_->setText(text);
}

void TInputDlg1::setPath(const QString& path) {
    ef1_->setText(path);
}

QString TInputDlg1::path() const {
    return ef1_->text();
}

void TInputDlg1::setFilterText(const QString& filterText) {
    filterText_ = filterText;
}

QString TInputDlg1::qtFilter() const {
    const QStringList parts = filterText_.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns =
            parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        filters.append(parts.at(i) + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

void TInputDlg1::setAcceptedExtensions(const QStringList& extensions) {
    acceptedExtensions_ = extensions;
}

void TInputDlg1::setDownloadInfo(const QString& text, const QString& url) {
    st2_->setText(text);
    st2_->show();
    urlAddress_ = url;
    url_->setText(url);
    url_->show();
}

void TInputDlg1::setFileChooser(FileChooser chooser) {
    chooser_ = std::move(chooser);
}

QString TInputDlg1::FolderOf(const QString& path) {
    qsizetype cut = path.size();
    while (cut > 0 && !isSeparator(path.at(cut - 1))) --cut;
    if (cut == 0) return QString();
    QString folder = path.left(cut - 1);
    // A root keeps its separator: "/" and "C:\".
    if (folder.isEmpty() || (folder.size() == 2 && folder.at(1) == QLatin1Char(':'))) folder = path.left(cut);
    return folder;
}

void TInputDlg1::browse() {
    const QString chosen = chooser_ ? chooser_(this, FolderOf(ef1_->text()), qtFilter()) : QString();
    if (!chosen.isEmpty()) ef1_->setText(QDir::toNativeSeparators(chosen));
}

void TInputDlg1::takeDroppedFiles(const QStringList& paths) {
    raise();
    activateWindow();
    if (paths.isEmpty()) return;
    const QString& first = paths.first();
    const QFileInfo info(first);
    const QString extension = info.suffix();
    const bool accepted =
        info.isFile() &&
        std::any_of(acceptedExtensions_.begin(), acceptedExtensions_.end(),
                    [&](const QString& e) { return extension.compare(e, Qt::CaseInsensitive) == 0; });
    if (accepted) {
        ef1_->setText(first);
    } else {
        systemShell().beep();
    }
}

}  // namespace ifb
