#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QProcess;
class QTimer;

namespace ifb {

// One word for /bin/sh, single-quoted so that blanks, quotes, $, backticks and
// ; in it are taken literally.
QString PosixShellQuote(const QString& word);
// The words as one /bin/sh command line, every word quoted.
QString PosixShellLine(const QStringList& words);
// The command line the Windows child is created with.
QString WindowsProcessCommandLine(const QString& command);

// A console tool run through the system's command interpreter: its standard
// output and standard error arrive as one stream, its standard input is empty,
// it gets no window and inherits no handle of ours beyond those three.
class ChildProcess {
  public:
    ChildProcess();
    // Stops a child that still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // "/bin/sh" (POSIX) or "cmd.exe" (Windows) unless changed.
    void setInterpreter(const QString& program);

    // POSIX runs the words (program first) as "sh -c"; Windows runs
    // WindowsProcessCommandLine(windowsCommand). False when the child could
    // not be created.
    bool start(const QStringList& words, const QString& windowsCommand);

    // The longest start() waits for the child to come up; a child not started
    // by then is stopped and counts as not created.
    static constexpr int kToolStartTimeoutMs = 30000;

    // The child has ended (or never started); all its output is then buffered.
    bool ended() const;
    qint64 bytesAvailable() const;
    // Reads at most maxBytes of the buffered output; -1 when the read fails.
    qint64 read(char* data, qint64 maxBytes);
    // Blocks until the next event of this thread (output, the child's end, a
    // timer, input) arrives or maxWaitMs have passed, and handles what is
    // pending. The deadline is its own: no other timer has to run.
    void waitForActivity(int maxWaitMs);
    // Ends a child that still runs, with whatever it started, and reaps it.
    void stop();
    qint64 processId() const;

  private:
    std::unique_ptr<QProcess> process_;
    std::unique_ptr<QTimer> wake_;
    QString interpreter_;
};

}  // namespace ifb
