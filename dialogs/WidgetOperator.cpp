#include "WidgetOperator.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "EventWait.h"
#include "Guage1Dlg.h"
#include "Input1.h"
#include "MainForm.h"
#include "MsgDlg1.h"
#include "OpenCom1Dlg.h"
#include "Result1.h"
#include "WidgetMessageBoxes.h"

namespace ifb {
namespace {

// Owns a per-use dialog; the dialog may already be gone with its owner.
template <typename Dialog>
class DialogForOneUse {
  public:
    explicit DialogForOneUse(QWidget* owner) : dialog_(new Dialog(owner)) {}
    ~DialogForOneUse() { delete dialog_.data(); }
    DialogForOneUse(const DialogForOneUse&) = delete;
    DialogForOneUse& operator=(const DialogForOneUse&) = delete;

    Dialog* operator->() const { return dialog_.data(); }
    explicit operator bool() const { return !dialog_.isNull(); }
    // exec(); false also when the dialog died meanwhile.
    bool accepted() { return dialog_->exec() == QDialog::Accepted && dialog_; }

  private:
    QPointer<Dialog> dialog_;
};

}  // namespace

QString EspotaDownloadUrl() {
    return QStringLiteral("https://github.com/espressif/arduino-esp32/tree/master/tools");
}

WidgetOperator::WidgetOperator(TVX7IFBProgAppForm& window, SystemPortList ports)
    : window_(window), ports_(std::move(ports)) {
    WidgetMessageBoxes::instance().setMainWindow(&window_);
}

WidgetOperator::~WidgetOperator() {
    closeProgress();
}

LogPane& WidgetOperator::logPane() {
    return window_.Memo1();
}

void WidgetOperator::showRecordsWaiting(int count) {
    window_.setRecordsWaiting(count);
}

void WidgetOperator::showStation(const StationView& view) {
    window_.setStationView(view);
}

void WidgetOperator::setStatusText(const QString& text) {
    window_.setStatusText(text);
}

void WidgetOperator::setMainWindowEnabled(bool enabled) {
    window_.setWorkEnabled(enabled);
}

void WidgetOperator::setWriteCommandAvailable(bool available) {
    window_.setWriteCommandAvailable(available);
}

void WidgetOperator::showEspotaPath(const QString& path) {
    window_.setEspotaPath(path);
}

void WidgetOperator::showFirmwareVersion(const QString& text) {
    window_.setFirmwareVersionText(text);
}

void WidgetOperator::requestClose() {
    window_.requestClose();
}

PortDialogResult WidgetOperator::runPortDialog(const PortDialogSetup& setup) {
    DialogForOneUse<TOpenCom1Dlg> dialog(&window_);
    dialog->setWindowTitle(setup.caption);
    dialog->setParityEnabled(false);
    dialog->setNoVersionCheck(false);
    dialog->setUseUsbOta(false);
    dialog->setItems(setup.items);
    dialog->setSelectedIndex(setup.selectedIndex);
    dialog->setSpeedItem(setup.speedItem);
    dialog->setParityItem(setup.parityItem);
    // The preselected port is the configured one when it is listed; it stays
    // listed across refills while its device exists.
    const QString configured = setup.selectedIndex >= 0 && setup.selectedIndex < setup.items.size()
                                   ? TEnumCom::PortNameOfItem(setup.items.at(setup.selectedIndex))
                                   : QString();
    dialog->setPortSource(ports_, configured);

    PortDialogResult result;
    result.opened = dialog.accepted();
    if (!dialog) return result;
    result.items = dialog->items();
    result.selectedIndex = dialog->selectedIndex();
    result.speedItem = dialog->speedItem();
    result.parityItem = dialog->parityItem();
    return result;
}

void WidgetOperator::openProgress(const ProgressSetup& setup) {
    closeProgress();
    auto* dialog = new TGuage1Dlg(&window_);
    progress_ = dialog;
    dialog->setWindowTitle(setup.caption);
    dialog->Label1()->setText(setup.banner);
    dialog->Button1()->hide();
    switch (setup.kind) {
        case ProgressKind::BoardCheck:
            dialog->Panel2()->show();
            dialog->ProgressBar1()->setEnabled(true);
            dialog->setMarquee(true);
            break;
        case ProgressKind::ConnectionWait:
            dialog->Panel2()->hide();
            break;
        case ProgressKind::FirmwareWrite:
            dialog->Panel2()->hide();
            dialog->CT()->setText(QStringLiteral("書き込み中"));
            dialog->CT()->show();
            dialog->dot()->show();
            break;
    }
    ProcessPendingEvents();
    if (!progress_) return;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    ProcessPendingEvents();
}

void WidgetOperator::setProgressDots(const QString& dots) {
    if (progress_) progress_->dot()->setText(dots);
}

void WidgetOperator::showProgressReport(const ProgressReport& report) {
    if (progress_) progress_->showReport(report);
}

bool WidgetOperator::progressOpen() const {
    return !progress_.isNull();
}

void WidgetOperator::closeProgress() {
    if (!progress_) return;
    TGuage1Dlg* dialog = progress_.data();
    progress_.clear();
    dialog->finish();
    delete dialog;
}

bool WidgetOperator::confirmJoin(const JoinInstruction& instruction) {
    DialogForOneUse<TMsg1Dlg> dialog(&window_);
    dialog->setWindowTitle(instruction.caption);
    dialog->setMessages(instruction.message1, instruction.message2);
    dialog->setMemoLines(instruction.memoLines);
    dialog->offerAutoJoin(instruction);
    if (instruction.autoJoin && instruction.offerButton && instruction.joinAtOnce)
        QTimer::singleShot(0, dialog.operator->(), &TMsg1Dlg::startAutoJoin);
    return dialog.accepted();
}

void WidgetOperator::showWriteResult(const WriteResult& result) {
    ShowWriteResult(&window_, result);
}

std::optional<QString> WidgetOperator::runEspotaDialog(const QString& currentPath) {
    DialogForOneUse<TInputDlg1> dialog(&window_);
#ifdef Q_OS_WIN
    dialog->setAcceptedExtensions({QStringLiteral("exe")});
    dialog->setFilterText(QStringLiteral("espota実行ファイル|*.exe"));
#else
    dialog->setAcceptedExtensions({QStringLiteral("py"), QString()});
    dialog->setFilterText(
        QStringLiteral("espota実行ファイル|espota.py;espota;ESPOTA.PY;ESPOTA|すべてのファイル|*"));
#endif
    dialog->setPath(currentPath);
    dialog->setWindowTitle(QStringLiteral("OTA書換ツールの選択"));
    dialog->setPrompt(QStringLiteral("OTA書換ツール「espota.exe」を選択してください。"));
    dialog->setDownloadInfo(QStringLiteral("espota.exeは下記URLよりダウンロードしてください。"),
                            EspotaDownloadUrl());
    if (!dialog.accepted()) return std::nullopt;
    return dialog->path();
}

}  // namespace ifb
