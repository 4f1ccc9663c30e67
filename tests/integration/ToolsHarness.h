#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <optional>

#include "FrameCutter.h"

// Helpers for driving the tools as separate processes: ifb-sim on a pty, its
// JSON log, and loopback ports.
namespace tools_test {

QString BinPath(const QString& tool);

// A UDP port on 127.0.0.1 that was free a moment ago.
quint16 FreeUdpPort();

// "02 00 45" -> bytes.
QByteArray Hex(const char* text);
QString HexOf(const QByteArray& bytes);

// A frame built by the test's own rules (independent of the codec under test).
QByteArray OracleFrame(quint8 cmd, const QByteArray& data, quint8 id = 0);

// The PC's end of the pty, raw; reads block in poll() until data or the deadline.
class PtyPort {
  public:
    ~PtyPort();
    bool open(const QString& path);
    void close();
    bool write(const QByteArray& bytes);
    // All bytes arriving within ms; *reads counts the read() calls that returned data.
    QByteArray readFor(int ms, int* reads = nullptr);
    // The next complete frame with a valid sum (notices included), or nullopt at the deadline.
    std::optional<QByteArray> nextFrame(int timeoutMs);
    // Sends an 'E' request and returns the next ACK/NACK frame, skipping notices.
    std::optional<QByteArray> request(const QByteArray& data, int timeoutMs = 1000);
    // true once the other side has gone (EIO/HUP).
    bool hungUp() const { return hungUp_; }
    int rejectedFrames() const { return cutter_.rejected(); }
    const QByteArray& rawBytes() const { return raw_; }

  private:
    bool readSome(int timeoutMs, QByteArray* out);
    void feed(const QByteArray& bytes);

    int fd_ = -1;
    bool hungUp_ = false;
    QByteArray raw_;
    ifb::test::FrameCutter cutter_;
    std::deque<QByteArray> frames_;
};

class SimProcess {
  public:
    ~SimProcess();
    // Starts ifb-sim with a log in a temporary folder; for --pty runs, waits for
    // the pty path on the first line of stdout.
    bool start(const QStringList& arguments);
    void stop();
    const QString& where() const { return where_; }
    QString logPath() const { return dir_.filePath(QStringLiteral("sim.log")); }
    QList<QJsonObject> events() const;
    QList<QJsonObject> events(const QString& name) const;
    // Waits (sleeping between looks at the file) for an event matching the predicate.
    std::optional<QJsonObject> waitForEvent(const QString& name, int timeoutMs,
                                            const std::function<bool(const QJsonObject&)>& match = {}) const;
    QProcess& process() { return process_; }

  private:
    QTemporaryDir dir_;
    QProcess process_;
    QString where_;
};

struct ToolRun {
    int exitCode = -1;
    bool crashed = false;
    QString out;
    QString err;
};

// Runs a tool to its end (or kills it after timeoutMs).
ToolRun RunTool(const QString& tool, const QStringList& arguments, int timeoutMs = 60000);

}  // namespace tools_test
