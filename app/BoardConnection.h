#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

#include "BoardCommands.h"
#include "Session.h"

namespace ifb {

class LogPane;
class TTComXDlg;

// The one link to the board and what drives it: the board commands on top
// of it and the 50 ms poll. The board discovery opens it; the close sequence
// ends it.
class BoardConnection : public QObject {
    Q_OBJECT
  public:
    BoardConnection(Session& session, LogSink& log);
    ~BoardConnection() override;

    // Makes the link for the port the session holds, with what the settings
    // file's "ComDebug" section says; traces go to traceMemo.
    void open(LogPane& traceMemo);
    void startPolling();
    // Stops the poll and destroys the commands and the link.
    void close();

    // Null until open and after close.
    TTComXDlg* link() const { return link_.get(); }
    // Only while a link exists.
    BoardCommands& commands() const { return *commands_; }

  private:
    void pollLink();

    Session& session_;
    LogSink& log_;
    std::unique_ptr<TTComXDlg> link_;
    std::unique_ptr<BoardCommands> commands_;
    QTimer timer1_;
    // Brings the next poll forward when bytes arrive, so that a reply does not
    // wait for the next tick of timer1_.
    QTimer rxPoll_;
};

}  // namespace ifb
