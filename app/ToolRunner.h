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
};

// Runs the upload tool for the main window: shows its output live in the log,
// judges it for error markers and keeps the screen alive while it runs.
class ToolRunner {
  public:
    // One read takes at most this many bytes.
    static constexpr qint64 kChunkBytes = 2049;

    ToolRunner(Operator& op, LogSink& log, std::function<bool()> checkWiFiAdapter, bool& toolOutputOk);

    // Runs the command and waits for it, handling events meanwhile. Every read
    // of two or more bytes becomes one entry of chunks; with a memo it is also
    // appended to the memo and judged: "Error" clears ToolOutputOk, "ERROR"
    // clears it and asks the Wi-Fi adapter check. False when the child could
    // not be started, a read failed, or "ERROR" came with a failed check (the
    // child is then stopped). See setAbortRequested for an abort.
    bool RunCommand(const ToolCommand& command, LogPane* memo, QStringList& chunks);

    // The command interpreter (tests point it elsewhere).
    void setInterpreter(const QString& program) { interpreter_ = program; }
    // Asked on every pass while the tool runs; when it answers true the tool
    // is stopped and reaped, and RunCommand returns true so that the caller's
    // closing steps still put the board back.
    void setAbortRequested(std::function<bool()> abortRequested) {
        abortRequested_ = std::move(abortRequested);
    }

  private:
    void animateDots();

    Operator& op_;
    LogSink& log_;
    std::function<bool()> checkWiFiAdapter_;
    bool& toolOutputOk_;
    std::function<bool()> abortRequested_;
    QString interpreter_;
    int dotPhase_ = 0;
};

}  // namespace ifb
