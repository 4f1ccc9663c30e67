#include "UpdaterWindow.h"

#include "About.h"
#include "HistoryDialog.h"
#include "MainForm.h"
#include "UpdaterApp.h"
#include "WidgetMessageBoxes.h"
#include "WidgetOperator.h"

namespace ifb {

UpdaterWindow::UpdaterWindow(const QString& exePath, const QString& firmwareId, SystemPortList ports)
    : form_(std::make_unique<TVX7IFBProgAppForm>(firmwareId)),
      op_(std::make_unique<WidgetOperator>(*form_, std::move(ports))),
      core_(std::make_unique<UpdaterApp>(*op_, exePath, firmwareId)),
      about_(std::make_unique<TAboutBox>(form_.get())) {
    UpdaterApp* core = core_.get();
    TAboutBox* about = about_.get();
    about_->setDiagnosticModeHandler([core] { core->enableDiagnosticMode(); });
    QObject::connect(form_.get(), &TVX7IFBProgAppForm::firstShown, core, [core] { core->startUp(); });
    // Direct: the close sequence runs before the window goes away.
    QObject::connect(
        form_.get(), &TVX7IFBProgAppForm::closeRequested, core, [core] { core->closeSequence(); },
        Qt::DirectConnection);
    QObject::connect(form_.get(), &TVX7IFBProgAppForm::writeRequested, core,
                     [core] { core->writeCommand(); });
    QObject::connect(form_.get(), &TVX7IFBProgAppForm::reselectEspotaRequested, core,
                     [core] { core->reselectEspota(); });
    QObject::connect(form_.get(), &TVX7IFBProgAppForm::aboutRequested, about, [about] { about->exec(); });
    QObject::connect(form_.get(), &TVX7IFBProgAppForm::historyRequested, core, [this] { openHistory(); });
    QObject::connect(form_.get(), &TVX7IFBProgAppForm::stationModeToggled, core,
                     [core](bool on) { core->setStationMode(on); });
    QObject::connect(form_.get(), &TVX7IFBProgAppForm::resetCountersRequested, core,
                     [core] { core->station().resetCounters(); });
    QObject::connect(form_.get(), &TVX7IFBProgAppForm::nextBoardRequested, core,
                     [core] { core->nextBoardCommand(); });
    // A board that arrives is taken like a command: never inside another one.
    TVX7IFBProgAppForm* form = form_.get();
    QObject::connect(&core->station(), &Station::boardArrived, form,
                     [form] { form->runCommand(&TVX7IFBProgAppForm::nextBoardRequested); });
    setMessageBoxes(&WidgetMessageBoxes::instance());
}

// The about box leaves its parent window's children when it is deleted first.
UpdaterWindow::~UpdaterWindow() {
    history_.reset();
    setMessageBoxes(nullptr);
}

HistoryDialog& UpdaterWindow::openHistory() {
    RecordKeeper& records = core_->records();
    if (!history_)
        history_ =
            std::make_unique<HistoryDialog>(records.store(), records.sessionLog().folder(), form_.get());
    history_->model().reload();
    history_->applyFilter();
    history_->show();
    history_->raise();
    return *history_;
}

void UpdaterWindow::show() {
    form_->show();
}

}  // namespace ifb
