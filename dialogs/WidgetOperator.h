#pragma once

#include <QPointer>

#include "Guage1Dlg.h"
#include "Operator.h"
#include "SerialPortList.h"

namespace ifb {

class TVX7IFBProgAppForm;

// The operator at the screen: the main window and the dialogs it owns. Every
// dialog is made for one use with the main window as owner and deleted after
// it; the progress dialog lives from openProgress to closeProgress.
class WidgetOperator final : public Operator {
  public:
    // ports: where the port dialog re-reads the list after a device change.
    explicit WidgetOperator(TVX7IFBProgAppForm& window, SystemPortList ports = SystemPorts());
    ~WidgetOperator() override;

    LogPane& logPane() override;
    void showRecordsWaiting(int count) override;
    void showStation(const StationView& view) override;
    void setStatusText(const QString& text) override;
    void setMainWindowEnabled(bool enabled) override;
    void setWriteCommandAvailable(bool available) override;
    void showEspotaPath(const QString& path) override;
    void showFirmwareVersion(const QString& text) override;
    void requestClose() override;

    PortDialogResult runPortDialog(const PortDialogSetup& setup) override;

    void openProgress(const ProgressSetup& setup) override;
    void setProgressDots(const QString& dots) override;
    bool progressOpen() const override;
    void showProgressReport(const ProgressReport& report) override;
    void closeProgress() override;

    bool confirmJoin(const JoinInstruction& instruction) override;
    void showWriteResult(const WriteResult& result) override;
    std::optional<QString> runEspotaDialog(const QString& currentPath) override;

    // The open progress dialog, if any.
    TGuage1Dlg* progressDialog() const { return progress_; }

  private:
    TVX7IFBProgAppForm& window_;
    SystemPortList ports_;
    QPointer<TGuage1Dlg> progress_;
};

// The upload tool's download page.
QString EspotaDownloadUrl();

}  // namespace ifb
