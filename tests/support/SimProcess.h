#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

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
    // Starts the simulator serving TCP instead of a pty (transportArgs:
    // "--tcp-listen" "0", or "--tcp-connect" "HOST:PORT") and waits for the
    // first line it prints, which where() then holds.
    bool startTcp(const QStringList& transportArgs);
    // Where a TCP simulator serves: "127.0.0.1:PORT" for --tcp-listen.
    QString where() const { return where_; }
    // The port of where().
    quint16 tcpPort() const { return static_cast<quint16>(where_.section(QLatin1Char(':'), -1).toUInt()); }
    void stop();
    // Stops and resumes the simulator process: a board that no longer answers
    // while its port stays open.
    void freeze();
    void thaw();
    // Ends the simulator at once, as if the board were unplugged mid-step.
    void kill();
    QString linkPath() const { return link_.isEmpty() ? dir_.filePath(QStringLiteral("ttyIFB")) : link_; }
    // Serves on that path instead (before start): another board on the same
    // port, as after a re-plug.
    void useLink(const QString& path) { link_ = path; }
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
    // Starts ifb-sim with args (then its log and the extra args) and waits
    // until up() says it serves.
    bool launch(QStringList args, const std::function<bool()>& up);
    QStringList args_;
    QTemporaryDir dir_;
    QString link_;
    QProcess process_;
    QString error_;
    QString where_;
};

// Where the build put the programs (ifb-sim, espota, ...).
QString BinPath(const QString& program);

// The upload tool the workflow tests run: our espota, or the one IFB_TEST_ESPOTA
// names (e.g. the classic stand-in bench/classic-espota/espota.py).
QString EspotaPath();

// An upload tool named "espota" in folder: a shell script running body, in
// which "$TOOL" is EspotaPath(). Returns its path.
QString WriteEspotaScript(const QString& folder, const QString& body);

}  // namespace ifb::test
