#include "SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QThread>
#include <csignal>

namespace ifb::test {

QString BinPath(const QString& program) {
    return QStringLiteral(IFB_BIN_DIR "/") + program;
}

QString EspotaPath() {
    const QString chosen = qEnvironmentVariable("IFB_TEST_ESPOTA");
    return chosen.isEmpty() ? BinPath(QStringLiteral("espota")) : QFileInfo(chosen).absoluteFilePath();
}

QString WriteEspotaScript(const QString& folder, const QString& body) {
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/espota");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral("#!/bin/sh\nTOOL=\"%1\"\n%2\n").arg(EspotaPath(), body).toUtf8());
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    return path;
}

namespace {

// The updater always uploads to port 3232, so simulators running side by side
// (parallel tests) each get a loopback address of their own.
QString UniqueLoopbackAddress() {
    static int count = 0;
    const qint64 pid = QCoreApplication::applicationPid();
    ++count;
    return QStringLiteral("127.%1.%2.%3").arg((pid >> 8) % 250 + 1).arg(pid % 250 + 1).arg(count % 250 + 1);
}

}  // namespace

SimProcess::SimProcess(QStringList extraArgs) : args_(std::move(extraArgs)) {
    if (!args_.contains(QStringLiteral("--ota-host")))
        args_ << QStringLiteral("--ota-host") << UniqueLoopbackAddress();
}

SimProcess::~SimProcess() {
    stop();
}

bool SimProcess::start() {
    return launch({QStringLiteral("--pty"), QStringLiteral("--link"), linkPath()},
                  [this] { return QFileInfo::exists(linkPath()) && process_.canReadLine(); });
}

bool SimProcess::startTcp(const QStringList& transportArgs) {
    return launch(transportArgs, [this] {
        if (!process_.canReadLine()) return false;
        where_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
        return true;
    });
}

bool SimProcess::launch(QStringList args, const std::function<bool()>& up) {
    args << QStringLiteral("--log") << dir_.filePath(QStringLiteral("sim.log"));
    args += args_;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(BinPath(QStringLiteral("ifb-sim")), args);
    if (!process_.waitForStarted(5000)) {
        error_ = process_.errorString();
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
        if (up()) return true;
        if (process_.state() != QProcess::Running) break;
        process_.waitForReadyRead(50);
    }
    error_ = QStringLiteral("ifb-sim did not come up: ") + QString::fromLocal8Bit(process_.readAll());
    return false;
}

void SimProcess::stop() {
    if (process_.state() == QProcess::NotRunning) return;
    thaw();
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

void SimProcess::freeze() {
    ::kill(static_cast<pid_t>(process_.processId()), SIGSTOP);
}

void SimProcess::kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(3000);
}

void SimProcess::thaw() {
    ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
}

QList<QJsonObject> SimProcess::events() const {
    QList<QJsonObject> out;
    QFile file(dir_.filePath(QStringLiteral("sim.log")));
    if (!file.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty()) out.append(QJsonDocument::fromJson(line).object());
    }
    return out;
}

QStringList SimProcess::requests() const {
    QStringList out;
    for (const QJsonObject& e : events()) {
        if (e.value(QStringLiteral("event")).toString() == QLatin1String("rx"))
            out.append(e.value(QStringLiteral("cmd")).toString());
    }
    return out;
}

QStringList SimProcess::requestFrames() const {
    QStringList out;
    for (const QJsonObject& e : events()) {
        if (e.value(QStringLiteral("event")).toString() == QLatin1String("rx"))
            out.append(e.value(QStringLiteral("hex")).toString());
    }
    return out;
}

int SimProcess::lastMode() const {
    int mode = -1;
    for (const QJsonObject& e : events()) {
        if (e.value(QStringLiteral("event")).toString() == QLatin1String("mode_change"))
            mode = e.value(QStringLiteral("to")).toInt(-1);
    }
    return mode;
}

bool SimProcess::logged(const QString& event) const {
    for (const QJsonObject& e : events()) {
        if (e.value(QStringLiteral("event")).toString() == event) return true;
    }
    return false;
}

}  // namespace ifb::test
