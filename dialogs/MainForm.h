#pragma once

#include <QMainWindow>
#include <QPlainTextEdit>

#include "LogPane.h"
#include "Operator.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class QToolButton;

namespace ifb {

// The main window's log: read-only, with a pop-up menu whose one item,
// "クリア", empties it.
class LogMemo final : public QPlainTextEdit, public LogPane {
    Q_OBJECT
  public:
    // The most lines the pane keeps; older lines go first beyond it.
    static constexpr int kToolOutputLineLimit = 50000;

    explicit LogMemo(QWidget* parent = nullptr);

    int lineCount() const override;
    void clear() override;
    void appendLine(const QString& text) override;

    QAction* clearAction() const { return clearAction_; }
    QMenu* popupMenu() const { return popup_; }

  private:
    QMenu* popup_;
    QAction* clearAction_;
    // An empty document is no line; a pane holding one empty line is one.
    bool hasLines_ = false;
    bool appending_ = false;
};

// The main window's widgets. The workflow behind them lives in app/ and is
// connected to the signals below; the window only reports the operator's
// commands and shows what it is told.
class TVX7IFBProgAppForm final : public QMainWindow {
    Q_OBJECT
  public:
    // The caption names the firmware image built into the program.
    explicit TVX7IFBProgAppForm(const QString& firmwareId, QWidget* parent = nullptr);

    LogMemo& Memo1() const { return *memo1_; }
    void setStatusText(const QString& text);
    QString statusText() const;
    void setEspotaPath(const QString& path);  // Sel_espota
    QString espotaPath() const;
    void setFirmwareVersionText(const QString& text);  // Sel_firm
    QString firmwareVersionText() const;
    // Station mode: the menu's check, the "次のボード" button, the waiting
    // notice and the counters (in the window and the status bar).
    void setStationView(const StationView& view);
    QString stationNoticeText() const;
    QString stationCountersText() const;
    QAction* stationModeItem() const { return stationItem_; }
    QToolButton* nextBoardButton() const { return nextBoard_; }
    // Records waiting for the central database; nothing shown for none.
    void setRecordsWaiting(int count);
    QString recordsWaitingText() const;

    // The write button and the write menu item together.
    void setWriteCommandAvailable(bool available);
    bool writeCommandAvailable() const { return writeAvailable_; }
    // The window's commands (menus, tool bar, the log's pop-up menu) on or off.
    // Owned dialogs stay usable, unlike with QWidget::setEnabled.
    void setWorkEnabled(bool enabled);
    bool workEnabled() const { return workEnabled_; }

    // Closes the window once the command handler now running has returned.
    void requestClose();
    // True once the close handler has run.
    bool closeHandled() const { return closeHandled_; }

  signals:
    // Once, right after the window first appears (the start-up sequence).
    void firstShown();
    // Every close: emitted synchronously before the window closes, once. Connect
    // directly; closing is never refused.
    void closeRequested();
    void writeRequested();
    void reselectEspotaRequested();
    void aboutRequested();
    void historyRequested();
    void stationModeToggled(bool on);
    void resetCountersRequested();
    void nextBoardRequested();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  public:
    // Runs a command handler; a close asked for meanwhile waits for its end,
    // so the close sequence never runs inside another command.
    void runCommand(void (TVX7IFBProgAppForm::*signal)());

  private:
    void updateActions();

    LogMemo* memo1_;
    QLabel* statusLabel_;
    QLabel* selEspota_;
    QLabel* selFirm_;
    QToolBar* toolBar_;
    QToolButton* toolButton2_;
    QToolButton* tbExit_;
    QAction* fileSaveItem_;
    QAction* fileExitItem_;
    QAction* exitAction_;
    QAction* reselectItem_;
    QAction* helpAbout1_;
    QAction* historyItem_;
    QLabel* recordsWaiting_;
    QAction* stationItem_;
    QAction* resetCountersItem_;
    QToolButton* nextBoard_;
    QAction* nextBoardAction_;
    QLabel* stationNotice_;
    QLabel* stationCounters_;
    QLabel* stationStatus_;
    bool writeAvailable_ = true;
    bool workEnabled_ = true;
    bool shown_ = false;
    int commandDepth_ = 0;
    bool closePending_ = false;
    bool closing_ = false;
    bool closeHandled_ = false;
};

}  // namespace ifb
