#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace ifb::test {

// ifb-sim on a pty, as the board for workflow tests. The board's serial port
// is the symlink linkPath(); everything the board saw and did is in its log.
class SimProcess {
  public:
    explicit SimProcess(QStringList extraArgs = {});
    ~SimProcess();

    // Starts the simulator and waits until its port exists. False (with the
    // reason in error()) when it did not come up.
    bool start();
    void stop();
    // Stops and resumes the simulator process: a board that no longer answers
    // while its port stays open.
    void freeze();
    void thaw();
    // Ends the simulator at once, as if the board were unplugged mid-step.
    void kill();
    QString linkPath() const { return dir_.filePath(QStringLiteral("ttyIFB")); }
    QString error() const { return error_; }

    // Every log line so far, in order.
    QList<QJsonObject> events() const;
    // The "cmd" of every request the board received ("GetIFBMode", ...), also
    // the ones it ignored.
    QStringList requests() const;
    // The hex text of every request frame received.
    QStringList requestFrames() const;
    // The board's operation mode after its last mode change (-1: none logged).
    int lastMode() const;
    // Whether an event of that name was logged.
    bool logged(const QString& event) const;

  private:
    QStringList args_;
    QTemporaryDir dir_;
    QProcess process_;
    QString error_;
};

// Where the build put the programs (ifb-sim, espota, ...).
QString BinPath(const QString& program);

// An upload tool named "espota" in folder: a shell script running body, in
// which "$TOOL" is our espota. Returns its path.
QString WriteEspotaScript(const QString& folder, const QString& body);

}  // namespace ifb::test
