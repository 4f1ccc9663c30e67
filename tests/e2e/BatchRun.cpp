#include "BatchRun.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <csignal>

#include "EventWait.h"
#include "IniImage.h"
#include "TickClock.h"

namespace ifb::test {
namespace {

// The keys the program writes to section "Option".
const QStringList kOptionKeys{
    QStringLiteral("ComPort"),        QStringLiteral("ComSpeed"),     QStringLiteral("Parity"),
    QStringLiteral("UseUSB"),         QStringLiteral("TCPPort"),      QStringLiteral("fTCPServer"),
    QStringLiteral("TCPServPort"),    QStringLiteral("TCPServAddr"),  QStringLiteral("fNoVerCheck"),
    QStringLiteral("SPISpeed"),       QStringLiteral("SPIMode"),      QStringLiteral("ProgMode"),
    QStringLiteral("UploadSpeed"),    QStringLiteral("App_ESPOta"),   QStringLiteral("ProgAddr1"),
    QStringLiteral("ProgAddr2"),      QStringLiteral("SpiffSOffset"), QStringLiteral("CONECT_WAIT_TIME"),
    QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("fBoot"),        QStringLiteral("CHK_IFB_TIME"),
    QStringLiteral("OldDousaMode"),   QStringLiteral("SelectModel"),  QStringLiteral("binPath_Mode"),
    QStringLiteral("USBWait_Mode"),   QStringLiteral("USBchange"),
};

// The copy goes beside the build's programs, so that a hard link works: the
// program finds its folder through the path it was started by, which a
// symbolic link would not give it.
QString RunFolderTemplate() {
    return QStringLiteral(IFB_BIN_DIR "/../tests/batch-run-XXXXXX");
}

bool InstallProgram(const QString& target) {
    const QString source = BinPath(QStringLiteral("ifb-updater"));
    QDir().mkpath(QFileInfo(target).path());
    if (::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    return QFile::copy(source, target);
}

}  // namespace

BatchRun::BatchRun(BatchRunSetup setup) : setup_(std::move(setup)), dir_(RunFolderTemplate()) {
    if (!setup_.noBoard) sim_ = std::make_unique<SimProcess>(setup_.simArgs);
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_, [this] { onOutput(); });
    QObject::connect(&process_, &QProcess::readyReadStandardError, &process_, [this] { onOutput(); });
    QObject::connect(&process_, &QProcess::finished, &process_,
                     [this](int code, QProcess::ExitStatus status) { onFinished(code, status); });
}

BatchRun::~BatchRun() {
    kill();
}

QString BatchRun::dir(const QString& relative) const {
    return relative.isEmpty() ? dir_.path() : dir_.filePath(relative);
}

QString BatchRun::expand(QString text) const {
    if (sim_) text.replace(QStringLiteral("{link}"), sim_->linkPath());
    return text.replace(QStringLiteral("{dir}"), dir_.path());
}

bool BatchRun::start() {
    // A run that did not start counts as ended.
    finished_ = !startProgram();
    return !finished_;
}

bool BatchRun::startProgram() {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no run folder: ") + dir_.errorString();
        return false;
    }
    if (!InstallProgram(exePath())) {
        error_ = QStringLiteral("could not install the program");
        return false;
    }
    if (sim_ && !sim_->start()) {
        error_ = sim_->error();
        return false;
    }
    QMap<QString, QString> settings{
        {QStringLiteral("ComSpeed"), QStringLiteral("4")},
        {QStringLiteral("App_ESPOta"), EspotaPath()},
        {QStringLiteral("CHK_IFB_TIME"), QStringLiteral("1000")},
        {QStringLiteral("CONECT_WAIT_TIME"), QStringLiteral("2000")},
        {QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("8000")},
        {QStringLiteral("USBWait_Mode"), QStringLiteral("0")},
    };
    if (sim_) settings[QStringLiteral("ComPort")] = sim_->linkPath();
    for (auto it = setup_.settings.begin(); it != setup_.settings.end(); ++it)
        settings[it.key()] = it.value();
    QDir().mkpath(programFolder());
    QFile file(settingsPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error_ = QStringLiteral("could not write the settings file");
        return false;
    }
    QByteArray text = "[Option]\n";
    for (auto it = settings.begin(); it != settings.end(); ++it)
        text += (it.key() + QLatin1Char('=') + expand(it.value()) + QLatin1Char('\n')).toUtf8();
    file.write(text);
    file.close();

    QStringList args;
    for (const QString& a : setup_.args) args.append(expand(a));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : setup_.unsetEnv) env.remove(name);
    for (auto it = setup_.env.begin(); it != setup_.env.end(); ++it) env.insert(it.key(), expand(it.value()));
    // A sanitizer report must not pass for outcome 1.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":exitcode=86"));
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(dir_.path());
    clock_.start();
    if (setup_.shellRedirect.isEmpty()) {
        process_.start(exePath(), args);
    } else {
        const QStringList shellArgs =
            QStringList{QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$@\" ") + setup_.shellRedirect,
                        exePath()} +
            args;
        process_.start(QStringLiteral("/bin/sh"), shellArgs);
    }
    if (!process_.waitForStarted(5000)) {
        error_ = process_.errorString();
        return false;
    }
    if (!setup_.input.isEmpty()) process_.write(setup_.input);
    process_.closeWriteChannel();
    return true;
}

void BatchRun::onOutput() {
    out_ += QString::fromUtf8(process_.readAllStandardOutput());
    err_ += QString::fromUtf8(process_.readAllStandardError());
    if (setup_.trigger.isEmpty() || !setup_.action) return;
    const qsizetype seen = out_.count(setup_.trigger) + err_.count(setup_.trigger);
    if (seen == triggersSeen_ || (triggered_ && !setup_.triggerRepeats)) return;
    triggersSeen_ = seen;
    triggered_ = true;
    triggerMs_ = clock_.elapsed();
    eventsAtTrigger_ = sim_ ? static_cast<int>(sim_->events().size()) : 0;
    setup_.action(*this);
}

bool BatchRun::swapBoard(const QStringList& simArgs) {
    const QString link = sim_->linkPath();
    sim_->stop();
    before_.push_back(std::move(sim_));
    sim_ = std::make_unique<SimProcess>(simArgs);
    sim_->useLink(link);
    if (sim_->start()) return true;
    error_ = sim_->error();
    return false;
}

void BatchRun::onFinished(int code, QProcess::ExitStatus status) {
    onOutput();
    elapsedMs_ = clock_.elapsed();
    exitCode_ = status == QProcess::NormalExit ? code : -1;
    finished_ = true;
}

void BatchRun::kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(5000);
}

void BatchRun::signal(int signo) {
    ::kill(static_cast<pid_t>(process_.processId()), signo);
}

int BatchRun::finalMode() const {
    int mode = -1;
    if (!sim_) return mode;
    for (const QJsonObject& e : sim_->events()) {
        const QString event = e.value(QStringLiteral("event")).toString();
        if (event == QLatin1String("start")) mode = e.value(QStringLiteral("mode")).toInt(-1);
        if (event == QLatin1String("mode_change")) mode = e.value(QStringLiteral("to")).toInt(-1);
    }
    return mode;
}

QList<QJsonObject> BatchRun::eventsSinceTrigger() const {
    if (!sim_ || eventsAtTrigger_ < 0) return {};
    return sim_->events().mid(eventsAtTrigger_);
}

bool BatchRun::firmwareFileLeft() const {
    return QFileInfo::exists(programFolder() + QStringLiteral("/UOf.bin"));
}

bool RunAll(const std::vector<BatchRun*>& runs, int parallel, quint32 limitMs) {
    size_t next = 0;
    bool allStarted = true;
    auto running = [&] {
        int n = 0;
        for (size_t i = 0; i < next; ++i) n += runs[i]->finished() ? 0 : 1;
        return n;
    };
    auto startMore = [&] {
        while (next < runs.size() && running() < parallel) {
            BatchRun* run = runs[next++];
            if (!run->start()) {
                allStarted = false;
                run->kill();
            }
        }
    };
    TickTimeout timeout;
    timeout.start();
    startMore();
    WaitUntil(
        [&] {
            startMore();
            return next == runs.size() && running() == 0;
        },
        timeout, limitMs);
    for (BatchRun* run : runs) run->kill();
    ProcessPendingEvents();
    return allStarted;
}

SettingsCheck CheckSettingsFile(const QString& path) {
    IniImage ini;
    ini.load(path);
    SettingsCheck check;
    for (const QString& key : kOptionKeys) {
        if (!ini.value(QStringLiteral("Option"), key)) check.missingOptionKeys.append(key);
    }
    check.comPort = ini.readString(QStringLiteral("Option"), QStringLiteral("ComPort"));
    check.comSpeed = ini.readString(QStringLiteral("Option"), QStringLiteral("ComSpeed"));
    check.oldDousaMode = ini.readString(QStringLiteral("Option"), QStringLiteral("OldDousaMode"));
    check.comDebugPort = ini.readString(QStringLiteral("ComDebug"), QStringLiteral("Port"));
    check.linkSection = ini.hasSection(QStringLiteral("ComDebug")) && !check.comDebugPort.isEmpty();
    return check;
}

}  // namespace ifb::test
