#pragma once

#include <QString>
#include <memory>

#include "SerialPortList.h"

namespace ifb {

class HistoryDialog;
class TAboutBox;
class TVX7IFBProgAppForm;
class UpdaterApp;
class WidgetOperator;

// The main window as the program runs it: the widgets, the operator that shows
// the workflow on them, the workflow core behind them and the about box, wired
// together. The program and the GUI tests build the window through this one
// unit, so the tests drive exactly what the operator sees.
class UpdaterWindow {
  public:
    // exePath decides where the settings file is (<folder>/Vardelintool/<name>.ini).
    UpdaterWindow(const QString& exePath, const QString& firmwareId, SystemPortList ports = SystemPorts());
    ~UpdaterWindow();
    UpdaterWindow(const UpdaterWindow&) = delete;
    UpdaterWindow& operator=(const UpdaterWindow&) = delete;

    // Shows the window; its first show starts the start-up sequence.
    void show();

    TVX7IFBProgAppForm& form() const { return *form_; }
    WidgetOperator& op() const { return *op_; }
    UpdaterApp& core() const { return *core_; }
    TAboutBox& about() const { return *about_; }
    // "履歴(&H)...": the history window, read afresh, shown without blocking.
    HistoryDialog& openHistory();

  private:
    // Destroyed in reverse order: the about box and the core go before the
    // operator and the window they use.
    std::unique_ptr<TVX7IFBProgAppForm> form_;
    std::unique_ptr<WidgetOperator> op_;
    std::unique_ptr<UpdaterApp> core_;
    std::unique_ptr<TAboutBox> about_;
    std::unique_ptr<HistoryDialog> history_;
};

}  // namespace ifb
