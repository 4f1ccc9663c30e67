#include "ToolsHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <QUdpSocket>
#include <cerrno>

namespace tools_test {

QString BinPath(const QString& tool) {
    return QStringLiteral(IFB_BIN_DIR "/") + tool;
}

quint16 FreeUdpPort() {
    QUdpSocket socket;
    socket.bind(QHostAddress::LocalHost, 0);
    return socket.localPort();
}

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QString HexOf(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QByteArray OracleFrame(quint8 cmd, const QByteArray& data, quint8 id) {
    QByteArray f;
    f.append('\x02')
        .append(static_cast<char>(id))
        .append(static_cast<char>(cmd))
        .append(static_cast<char>(data.size()));
    f.append(data).append('\x03');
    int sum = 0;
    for (char c : f) sum += static_cast<quint8>(c);
    f.append(static_cast<char>(sum & 0xFF)).append('\x0D');
    return f;
}

// ---- PtyPort ----

PtyPort::~PtyPort() {
    close();
}

bool PtyPort::open(const QString& path) {
    fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return false;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    return true;
}

void PtyPort::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool PtyPort::write(const QByteArray& bytes) {
    return fd_ >= 0 && ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
}

bool PtyPort::readSome(int timeoutMs, QByteArray* out) {
    if (fd_ < 0 || hungUp_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char buffer[1024];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
        out->append(buffer, static_cast<qsizetype>(n));
        return true;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) hungUp_ = true;
    return false;
}

QByteArray PtyPort::readFor(int ms, int* reads) {
    QByteArray all;
    QElapsedTimer clock;
    clock.start();
    int count = 0;
    while (clock.elapsed() < ms && !hungUp_) {
        QByteArray chunk;
        if (readSome(static_cast<int>(ms - clock.elapsed()), &chunk)) {
            ++count;
            all += chunk;
        } else if (hungUp_) {
            break;
        }
    }
    raw_ += all;
    if (reads) *reads = count;
    return all;
}

void PtyPort::feed(const QByteArray& bytes) {
    for (QByteArray& frame : cutter_.add(bytes)) frames_.push_back(std::move(frame));
}

std::optional<QByteArray> PtyPort::nextFrame(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (frames_.empty()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || hungUp_) return std::nullopt;
        QByteArray chunk;
        if (readSome(static_cast<int>(left), &chunk)) {
            raw_ += chunk;
            feed(chunk);
        }
    }
    QByteArray frame = frames_.front();
    frames_.pop_front();
    return frame;
}

std::optional<QByteArray> PtyPort::request(const QByteArray& data, int timeoutMs) {
    if (!write(OracleFrame(0x45, data))) return std::nullopt;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) return std::nullopt;
        auto frame = nextFrame(static_cast<int>(left));
        if (!frame) return std::nullopt;
        if ((*frame)[2] == '0' || (*frame)[2] == '1') return frame;
    }
}

// ---- SimProcess ----

SimProcess::~SimProcess() {
    stop();
}

bool SimProcess::start(const QStringList& arguments) {
    process_.setProgram(BinPath(QStringLiteral("ifb-sim")));
    process_.setArguments(QStringList{QStringLiteral("--log"), logPath()} + arguments);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
    if (!process_.waitForStarted(5000)) return false;
    QElapsedTimer clock;
    clock.start();
    while (!process_.canReadLine()) {
        if (clock.elapsed() > 5000 || !process_.waitForReadyRead(static_cast<int>(5000 - clock.elapsed()))) {
            if (!process_.canReadLine()) return false;
        }
    }
    where_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    return !where_.isEmpty();
}

void SimProcess::stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

QList<QJsonObject> SimProcess::events() const {
    QList<QJsonObject> list;
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly)) return list;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty()) continue;
        list.append(QJsonDocument::fromJson(line).object());
    }
    return list;
}

QList<QJsonObject> SimProcess::events(const QString& name) const {
    QList<QJsonObject> list;
    for (const QJsonObject& event : events())
        if (event.value(QStringLiteral("event")).toString() == name) list.append(event);
    return list;
}

std::optional<QJsonObject> SimProcess::waitForEvent(
    const QString& name, int timeoutMs, const std::function<bool(const QJsonObject&)>& match) const {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        for (const QJsonObject& event : events(name))
            if (!match || match(event)) return event;
        if (clock.elapsed() >= timeoutMs) return std::nullopt;
        QThread::msleep(20);  // the log is another process's file: look again shortly
    }
}

ToolRun RunTool(const QString& tool, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.start(BinPath(tool), arguments);
    ToolRun run;
    if (!process.waitForStarted(5000)) return run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(3000);
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

}  // namespace tools_test
