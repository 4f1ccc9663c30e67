#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

namespace ifb {

class LogPane;
class LogSink;
class Operator;

// A console tool as each system runs it.
struct ToolCommand {
    // POSIX: program first, then its arguments; each reaches the tool unchanged.
    QStringList words;
    // Windows: the text after "cmd.exe /C ", already quoted by the caller.
    QString windowsCommand;
    // The file the command runs, when it must be executable itself (POSIX);
    // empty: not looked at.
    QString executable;
};

// The least time the upload tool may run before it counts as hung.
constexpr quint32 kHungToolMinimumMs = 10 * 60 * 1000;

// How long the upload tool may run before it is stopped as hung: never less
// than the wait for the board's verdict (Prog_WAIT_TIME), which a slow upload
// may use up while the tool still runs, and never less than minimumMs.
quint32 HungToolLimitMs(quint32 minimumMs, qint64 progWaitTimeMs);

// Runs the upload tool for the main window: shows its output live in the log,
// judges it for error markers and keeps the screen alive while it runs.
class ToolRunner {
  public:
    // One read takes at most this many bytes.
    static constexpr qint64 kChunkBytes = 2049;
    // The longest the wait for the tool goes without asking for an abort, so
    // that a time limit holds without any other timer running.
    static constexpr int kToolWakeIntervalMs = 100;

    ToolRunner(Operator& op, LogSink& log, std::function<bool()> checkWiFiAdapter, bool& toolOutputOk);

    // Runs the command and waits for it, handling events meanwhile. Every read
    // of two or more bytes becomes one entry of chunks; with a memo it is also
    // appended to the memo and judged: "Error" clears ToolOutputOk, "ERROR"
    // clears it and asks the Wi-Fi adapter check. False when the child could
    // not be started (also a command.executable without execute permission,
    // which is logged), a read failed, or "ERROR" came with a failed check
    // (the child is then stopped). See setAbortRequested for an abort.
    bool RunCommand(const ToolCommand& command, LogPane* memo, QStringList& chunks);

    // The command interpreter (tests point it elsewhere).
    void setInterpreter(const QString& program) { interpreter_ = program; }
    // Asked on every pass while the tool runs; when it answers true the tool
    // is stopped and reaped, and RunCommand returns true so that the caller's
    // closing steps still put the board back.
    void setAbortRequested(std::function<bool()> abortRequested) {
        abortRequested_ = std::move(abortRequested);
    }
    // Sees every read of the output as text, single bytes included.
    void setOutputObserver(std::function<void(const QString&)> observer) { observer_ = std::move(observer); }
    // Whether the last RunCommand got its child started.
    bool started() const { return started_; }

  private:
    void animateDots();

    Operator& op_;
    LogSink& log_;
    std::function<bool()> checkWiFiAdapter_;
    bool& toolOutputOk_;
    std::function<bool()> abortRequested_;
    std::function<void(const QString&)> observer_;
    QString interpreter_;
    bool started_ = false;
    int dotPhase_ = 0;
};

}  // namespace ifb
