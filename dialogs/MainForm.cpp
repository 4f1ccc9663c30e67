#include "MainForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTextCursor>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "RecordsMessages.h"
#include "StationMessages.h"
#include "UiStyle.h"

namespace ifb {
namespace {

QString CaptionFor(const QString& firmwareId) {
    return QStringLiteral("I/Fボード ファームウェアアップデート") + QStringLiteral(" for PL-RZ41") +
           QStringLiteral(" (") + firmwareId + QStringLiteral(")");
}

}  // namespace

LogMemo::LogMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("Memo1"));
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    // The log itself starts over at 2000 lines; an upload tool's output goes in
    // unchecked, and a tool that floods it must not eat the memory.
    setMaximumBlockCount(kToolOutputLineLimit);
    setContextMenuPolicy(Qt::CustomContextMenu);
    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("PopupMenu1"));
    clearAction_ = popup_->addAction(QStringLiteral("クリア"));
    clearAction_->setObjectName(QStringLiteral("MnClear"));
    connect(clearAction_, &QAction::triggered, this, [this] { clear(); });
    connect(this, &QPlainTextEdit::customContextMenuRequested, this,
            [this](const QPoint& pos) { popup_->popup(viewport()->mapToGlobal(pos)); });
    // Emptied some other way (QPlainTextEdit::clear through a base pointer).
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (!appending_ && document()->isEmpty()) hasLines_ = false;
    });
}

int LogMemo::lineCount() const {
    return hasLines_ ? document()->blockCount() : 0;
}

void LogMemo::clear() {
    QPlainTextEdit::clear();
    hasLines_ = false;
}

void LogMemo::appendLine(const QString& text) {
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    appending_ = true;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (hasLines_) cursor.insertBlock();
    cursor.insertText(line);
    hasLines_ = true;
    appending_ = false;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

TVX7IFBProgAppForm::TVX7IFBProgAppForm(const QString& firmwareId, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("VX7IFBProgAppForm"));
    setWindowTitle(CaptionFor(firmwareId));
    ApplyUiFont(this);
    if (windowIcon().isNull()) setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    resize(620, 460);

    fileSaveItem_ =
        new QAction(style()->standardIcon(QStyle::SP_ArrowUp), QStringLiteral("書き込み開始"), this);
    fileSaveItem_->setObjectName(QStringLiteral("FileSaveItem"));
    fileSaveItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    fileExitItem_ = new QAction(QStringLiteral("終了(&X)"), this);
    fileExitItem_->setObjectName(QStringLiteral("FileExitItem"));
    exitAction_ =
        new QAction(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Exit"), this);
    exitAction_->setObjectName(QStringLiteral("FileExit1"));
    reselectItem_ = new QAction(QStringLiteral("実行ファイル再設定"), this);
    reselectItem_->setObjectName(QStringLiteral("N7"));
    helpAbout1_ = new QAction(QStringLiteral("バージョン情報(&A)..."), this);
    helpAbout1_->setObjectName(QStringLiteral("HelpAbout1"));
    historyItem_ = new QAction(RecordsMessages::menuHistory(), this);
    historyItem_->setObjectName(QStringLiteral("HistoryItem"));
    stationItem_ = new QAction(StationMessages::menuItem(), this);
    stationItem_->setObjectName(QStringLiteral("StationModeItem"));
    stationItem_->setCheckable(true);
    resetCountersItem_ = new QAction(StationMessages::resetCountersItem(), this);
    resetCountersItem_->setObjectName(QStringLiteral("ResetCountersItem"));
    nextBoardAction_ = new QAction(style()->standardIcon(QStyle::SP_MediaSkipForward),
                                   StationMessages::nextBoardButton(), this);
    nextBoardAction_->setObjectName(QStringLiteral("NextBoardItem"));

    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    fileMenu->setObjectName(QStringLiteral("File1"));
    fileMenu->addAction(fileSaveItem_);
    fileMenu->addSeparator();
    fileMenu->addAction(fileExitItem_);
    QMenu* settingsMenu = menuBar()->addMenu(QStringLiteral("設定"));
    settingsMenu->setObjectName(QStringLiteral("N6"));
    settingsMenu->addAction(reselectItem_);
    QMenu* recordsMenu = menuBar()->addMenu(RecordsMessages::menuRecords());
    recordsMenu->setObjectName(QStringLiteral("RecordsMenu"));
    recordsMenu->addAction(historyItem_);
    QMenu* stationMenu = menuBar()->addMenu(StationMessages::menu());
    stationMenu->setObjectName(QStringLiteral("StationMenu"));
    stationMenu->addAction(stationItem_);
    stationMenu->addAction(resetCountersItem_);
    QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    helpMenu->setObjectName(QStringLiteral("Help1"));
    helpMenu->addAction(helpAbout1_);

    toolBar_ = addToolBar(QStringLiteral("ToolBar1"));
    toolBar_->setObjectName(QStringLiteral("ToolBar1"));
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolButton2_ = new QToolButton(toolBar_);
    toolButton2_->setObjectName(QStringLiteral("ToolButton2"));
    toolButton2_->setDefaultAction(fileSaveItem_);
    toolButton2_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar_->addWidget(toolButton2_);
    toolBar_->addSeparator();
    tbExit_ = new QToolButton(toolBar_);
    tbExit_->setObjectName(QStringLiteral("TBExit"));
    tbExit_->setDefaultAction(exitAction_);
    tbExit_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar_->addWidget(tbExit_);
    nextBoard_ = new QToolButton(toolBar_);
    nextBoard_->setObjectName(QStringLiteral("NextBoardButton"));
    nextBoard_->setDefaultAction(nextBoardAction_);
    nextBoard_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar_->addWidget(nextBoard_)->setVisible(false);

    auto* central = new QWidget(this);
    auto* espotaLabel = new QLabel(QStringLiteral("実行ファイル(espota.exe)"), central);
    espotaLabel->setObjectName(QStringLiteral("Label1"));
    selEspota_ = new QLabel(central);
    selEspota_->setObjectName(QStringLiteral("Sel_espota"));
    selEspota_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    selEspota_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    selEspota_->setMinimumHeight(22);
    auto* firmLabel = new QLabel(QStringLiteral("書き込むファームウェアバージョン"), central);
    firmLabel->setObjectName(QStringLiteral("Label2"));
    selFirm_ = new QLabel(central);
    selFirm_->setObjectName(QStringLiteral("Sel_firm"));
    selFirm_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    selFirm_->setMinimumHeight(22);
    memo1_ = new LogMemo(central);
    stationNotice_ = new QLabel(central);
    stationNotice_->setObjectName(QStringLiteral("StationNotice"));
    stationNotice_->setStyleSheet(QStringLiteral("font-weight: bold; color: #b05000;"));
    stationNotice_->hide();
    stationCounters_ = new QLabel(central);
    stationCounters_->setObjectName(QStringLiteral("StationCounters"));
    stationCounters_->hide();

    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setVerticalSpacing(4);
    grid->addWidget(espotaLabel, 0, 0, 1, 2);
    grid->addWidget(selEspota_, 1, 0, 1, 2);
    grid->addWidget(firmLabel, 2, 0);
    grid->addWidget(selFirm_, 2, 1);
    grid->addWidget(stationNotice_, 3, 0);
    grid->addWidget(stationCounters_, 3, 1, Qt::AlignRight);
    grid->addWidget(memo1_, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);
    setCentralWidget(central);

    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setSizeGripEnabled(false);
    statusLabel_ = new QLabel(statusBar());
    statusLabel_->setObjectName(QStringLiteral("StatusText"));
    statusBar()->addWidget(statusLabel_, 1);
    recordsWaiting_ = new QLabel(statusBar());
    recordsWaiting_->setObjectName(QStringLiteral("RecordsWaiting"));
    recordsWaiting_->hide();
    statusBar()->addPermanentWidget(recordsWaiting_);
    stationStatus_ = new QLabel(statusBar());
    stationStatus_->setObjectName(QStringLiteral("StationStatus"));
    stationStatus_->hide();
    statusBar()->addPermanentWidget(stationStatus_);

    connect(fileSaveItem_, &QAction::triggered, this,
            [this] { runCommand(&TVX7IFBProgAppForm::writeRequested); });
    connect(reselectItem_, &QAction::triggered, this,
            [this] { runCommand(&TVX7IFBProgAppForm::reselectEspotaRequested); });
    connect(helpAbout1_, &QAction::triggered, this,
            [this] { runCommand(&TVX7IFBProgAppForm::aboutRequested); });
    connect(historyItem_, &QAction::triggered, this,
            [this] { runCommand(&TVX7IFBProgAppForm::historyRequested); });
    connect(stationItem_, &QAction::toggled, this, [this](bool on) { emit stationModeToggled(on); });
    connect(resetCountersItem_, &QAction::triggered, this, [this] { emit resetCountersRequested(); });
    connect(nextBoardAction_, &QAction::triggered, this,
            [this] { runCommand(&TVX7IFBProgAppForm::nextBoardRequested); });
    connect(fileExitItem_, &QAction::triggered, this, &QWidget::close);
    connect(exitAction_, &QAction::triggered, this, &QWidget::close);
}

void TVX7IFBProgAppForm::setStationView(const StationView& view) {
    {
        const QSignalBlocker quiet(stationItem_);
        stationItem_->setChecked(view.enabled);
    }
    for (QAction* action : toolBar_->actions()) {
        if (toolBar_->widgetForAction(action) == nextBoard_) action->setVisible(view.enabled);
    }
    stationNotice_->setText(view.waiting ? StationMessages::waitingForBoard() : QString());
    stationNotice_->setVisible(view.enabled && view.waiting);
    for (QLabel* label : {stationCounters_, stationStatus_}) {
        label->setText(view.counters);
        label->setVisible(view.enabled);
    }
}

QString TVX7IFBProgAppForm::stationNoticeText() const {
    return stationNotice_->isVisibleTo(this) ? stationNotice_->text() : QString();
}

QString TVX7IFBProgAppForm::stationCountersText() const {
    return stationCounters_->isVisibleTo(this) ? stationCounters_->text() : QString();
}

void TVX7IFBProgAppForm::setRecordsWaiting(int count) {
    recordsWaiting_->setText(count > 0 ? RecordsMessages::waitingForCentral(count) : QString());
    recordsWaiting_->setVisible(count > 0);
}

QString TVX7IFBProgAppForm::recordsWaitingText() const {
    return recordsWaiting_->text();
}

void TVX7IFBProgAppForm::setStatusText(const QString& text) {
    statusLabel_->setText(text);
}

QString TVX7IFBProgAppForm::statusText() const {
    return statusLabel_->text();
}

void TVX7IFBProgAppForm::setEspotaPath(const QString& path) {
    selEspota_->setText(path);
}

QString TVX7IFBProgAppForm::espotaPath() const {
    return selEspota_->text();
}

void TVX7IFBProgAppForm::setFirmwareVersionText(const QString& text) {
    selFirm_->setText(text);
}

QString TVX7IFBProgAppForm::firmwareVersionText() const {
    return selFirm_->text();
}

void TVX7IFBProgAppForm::setWriteCommandAvailable(bool available) {
    writeAvailable_ = available;
    updateActions();
}

void TVX7IFBProgAppForm::setWorkEnabled(bool enabled) {
    workEnabled_ = enabled;
    menuBar()->setEnabled(enabled);
    toolBar_->setEnabled(enabled);
    updateActions();
}

void TVX7IFBProgAppForm::updateActions() {
    // The tool button follows the item's enabled state but stays in the tool
    // bar; only the menu item disappears while the write is not available.
    fileSaveItem_->setVisible(writeAvailable_);
    fileSaveItem_->setEnabled(workEnabled_ && writeAvailable_);
    for (QAction* action : {fileExitItem_, exitAction_, reselectItem_, helpAbout1_, memo1_->clearAction(),
                            stationItem_, resetCountersItem_, nextBoardAction_})
        action->setEnabled(workEnabled_);
}

void TVX7IFBProgAppForm::requestClose() {
    QTimer::singleShot(0, this, &QWidget::close);
}

void TVX7IFBProgAppForm::runCommand(void (TVX7IFBProgAppForm::*signal)()) {
    // Commands do not nest: their waits share one time-out slot.
    if (commandDepth_ > 0 || closing_ || closeHandled_) return;
    ++commandDepth_;
    emit(this->*signal)();
    --commandDepth_;
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

void TVX7IFBProgAppForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // Queued, so that the window is on the screen before the start-up runs.
    QTimer::singleShot(0, this, [this] { runCommand(&TVX7IFBProgAppForm::firstShown); });
}

void TVX7IFBProgAppForm::closeEvent(QCloseEvent* event) {
    if (closeHandled_) {
        event->accept();
        return;
    }
    if (closing_ || commandDepth_ > 0) {
        closePending_ = commandDepth_ > 0;
        event->ignore();
        return;
    }
    closing_ = true;
    emit closeRequested();
    closing_ = false;
    closeHandled_ = true;
    event->accept();
}

}  // namespace ifb
