#pragma once

// Batch runs of the real program as a technician starts them: a copy of
// ifb-updater in a folder of its own (so the settings file and the firmware
// file are its own) run as a child process against its own simulated board.
#include <QElapsedTimer>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "SimProcess.h"

namespace ifb::test {

class BatchRun;

struct BatchRunSetup {
    QString name;
    QStringList simArgs;
    // Settings keys on top of the defaults (the board's port, our espota,
    // short time-outs, no 45 s USB-mode wait). "{link}" and "{dir}" in values
    // and arguments stand for the board's port and the run's folder.
    QMap<QString, QString> settings;
    QStringList args{QStringLiteral("--batch"), QStringLiteral("--yes")};
    // Written to standard input, which is then closed.
    QByteArray input;
    // The program is started through /bin/sh with this after its arguments
    // ("<&-" closes standard input instead of handing it an empty pipe).
    QString shellRedirect;
    // Run without the simulator (command-line checks).
    bool noBoard = false;
    // Removed from the program's environment.
    QStringList unsetEnv;
    // Set in the program's environment ("{dir}" expanded).
    QMap<QString, QString> env;
    // Once standard output or error holds trigger, action runs (once, or at
    // every new occurrence with triggerRepeats).
    QString trigger;
    std::function<void(BatchRun&)> action;
    bool triggerRepeats = false;
};

class BatchRun {
  public:
    explicit BatchRun(BatchRunSetup setup);
    ~BatchRun();
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    const BatchRunSetup& setup() const { return setup_; }
    // Starts the board and the program; false (with error()) when either did
    // not come up.
    bool start();
    bool finished() const { return finished_; }
    // Stops a program that still runs (a run over its time).
    void kill();
    // Sends a signal to the program.
    void signal(int signo);

    // The program's exit code; -1 when it died of a signal or never ran.
    int exitCode() const { return exitCode_; }
    QString out() const { return out_; }
    QString err() const { return err_; }
    qint64 elapsedMs() const { return elapsedMs_; }
    QString error() const { return error_; }

    SimProcess& sim() { return *sim_; }
    // Another board on the same port: the simulator stopped and a new one
    // started on its link path. The boards before stay readable in boards().
    bool swapBoard(const QStringList& simArgs);
    const std::vector<std::unique_ptr<SimProcess>>& boardsBefore() const { return before_; }
    // The board's operation mode at the end: the last mode it was switched
    // to, or the one it started with.
    int finalMode() const;
    // How many simulator log lines there were when the trigger fired.
    int eventsAtTrigger() const { return eventsAtTrigger_; }
    // Milliseconds from the trigger to the program's end; -1 without trigger.
    qint64 msAfterTrigger() const { return triggerMs_ < 0 ? -1 : elapsedMs_ - triggerMs_; }
    QList<QJsonObject> eventsSinceTrigger() const;

    QString dir(const QString& relative = QString()) const;
    QString exePath() const { return dir(QStringLiteral("app/ifb-updater")); }
    QString programFolder() const { return dir(QStringLiteral("app/Vardelintool")); }
    QString settingsPath() const { return programFolder() + QStringLiteral("/ifb-updater.ini"); }
    bool firmwareFileLeft() const;
    QString expand(QString text) const;

  private:
    bool startProgram();
    void onOutput();
    void onFinished(int exitCode, QProcess::ExitStatus status);

    BatchRunSetup setup_;
    QTemporaryDir dir_;
    std::unique_ptr<SimProcess> sim_;
    std::vector<std::unique_ptr<SimProcess>> before_;
    QProcess process_;
    QElapsedTimer clock_;
    QString out_, err_, error_;
    int exitCode_ = -1;
    qint64 elapsedMs_ = 0;
    bool finished_ = false;
    bool triggered_ = false;
    qsizetype triggersSeen_ = 0;
    int eventsAtTrigger_ = -1;
    qint64 triggerMs_ = -1;
};

// Runs every run, at most parallel at a time, and waits until all have ended
// or limitMs have passed (those still running are killed). False when one
// could not be started (its error() says why).
bool RunAll(const std::vector<BatchRun*>& runs, int parallel, quint32 limitMs);

// The settings file as the program left it: the keys of section "Option"
// missing from it, and whether section "ComDebug" holds a port.
struct SettingsCheck {
    QStringList missingOptionKeys;
    bool linkSection = false;
    QString comPort;
    QString comSpeed;
    QString comDebugPort;
    QString oldDousaMode;
};
SettingsCheck CheckSettingsFile(const QString& path);

}  // namespace ifb::test
