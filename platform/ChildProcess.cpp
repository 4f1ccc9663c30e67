#include "ChildProcess.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace ifb {

namespace {

#ifndef Q_OS_WIN
// Runs in the forked child before exec, so only async-signal-safe calls.
// Qt's own descriptors are close-on-exec already; anything else we hold (ports,
// ptys, sockets opened without the flag) must not reach the tool.
void CloseInheritedDescriptorsOnExec(int fdLimit) {
#if defined(Q_OS_LINUX) && defined(CLOSE_RANGE_CLOEXEC)
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
    for (int fd = 3; fd < fdLimit; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

int DescriptorLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 65536;
    return limit.rlim_cur > 1048576 ? 1048576 : static_cast<int>(limit.rlim_cur);
}

void SignalGroup(qint64 pid, int signal) {
    const pid_t p = static_cast<pid_t>(pid);
    if (::kill(-p, signal) != 0) ::kill(p, signal);
}
#endif

constexpr int kTerminateGraceMs = 500;
constexpr int kReapWaitMs = 5000;

}  // namespace

QString PosixShellQuote(const QString& word) {
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString PosixShellLine(const QStringList& words) {
    QStringList quoted;
    quoted.reserve(words.size());
    for (const QString& w : words) quoted.append(PosixShellQuote(w));
    return quoted.join(QLatin1Char(' '));
}

QString WindowsProcessCommandLine(const QString& command) {
    return QStringLiteral("cmd.exe /C ") + command;
}

ChildProcess::ChildProcess()
#ifdef Q_OS_WIN
    : interpreter_(QStringLiteral("cmd.exe"))
#else
    : interpreter_(QStringLiteral("/bin/sh"))
#endif
{
}

ChildProcess::~ChildProcess() {
    stop();
}

void ChildProcess::setInterpreter(const QString& program) {
    interpreter_ = program;
}

bool ChildProcess::start(const QStringList& words, const QString& windowsCommand) {
    stop();
    process_ = std::make_unique<QProcess>();
    QProcess& p = *process_;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setProgram(interpreter_);
#ifdef Q_OS_WIN
    Q_UNUSED(words);
    // The line is handed over as it stands: the caller did the quoting. It is
    // set whole, so that the child gets exactly WindowsProcessCommandLine.
    const QString line = interpreter_.compare(QLatin1String("cmd.exe"), Qt::CaseInsensitive) == 0
                             ? WindowsProcessCommandLine(windowsCommand)
                             : QLatin1Char('"') + interpreter_ + QStringLiteral("\" /C ") + windowsCommand;
    auto lineBuffer = std::make_shared<std::vector<wchar_t>>();
    const std::wstring wide = line.toStdWString();
    lineBuffer->assign(wide.begin(), wide.end());
    lineBuffer->push_back(L'\0');
    p.setCreateProcessArgumentsModifier([lineBuffer](QProcess::CreateProcessArguments* args) {
        args->arguments = lineBuffer->data();
        args->flags |= CREATE_NO_WINDOW;
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = SW_HIDE;
    });
#else
    Q_UNUSED(windowsCommand);
    // exec: the tool replaces the shell, so stopping the child stops the tool.
    p.setArguments({QStringLiteral("-c"), QStringLiteral("exec ") + PosixShellLine(words)});
    const int fdLimit = DescriptorLimit();
    p.setChildProcessModifier([fdLimit] {
        // Its own process group, so that stop() reaches whatever it starts.
        ::setpgid(0, 0);
        CloseInheritedDescriptorsOnExec(fdLimit);
    });
#endif
    p.start(QIODevice::ReadOnly);
    if (p.waitForStarted(kToolStartTimeoutMs)) return true;
    stop();
    return false;
}

bool ChildProcess::ended() const {
    return !process_ || process_->state() == QProcess::NotRunning;
}

qint64 ChildProcess::bytesAvailable() const {
    return process_ ? process_->bytesAvailable() : 0;
}

qint64 ChildProcess::read(char* data, qint64 maxBytes) {
    return process_ ? process_->read(data, maxBytes) : -1;
}

void ChildProcess::waitForActivity(int maxWaitMs) {
    if (!wake_) {
        wake_ = std::make_unique<QTimer>();
        wake_->setSingleShot(true);
        wake_->setTimerType(Qt::PreciseTimer);
    }
    // The timer only ends the blocking call at the deadline; any other event ends it sooner.
    wake_->start(maxWaitMs > 0 ? maxWaitMs : 0);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    wake_->stop();
}

void ChildProcess::stop() {
    if (!process_ || process_->state() == QProcess::NotRunning) return;
    QProcess& p = *process_;
#ifdef Q_OS_WIN
    p.kill();
    p.waitForFinished(kReapWaitMs);
#else
    const qint64 pid = p.processId();
    // No pid yet (still starting): a signal to "group 0" would reach us.
    if (pid <= 0) {
        p.kill();
        p.waitForFinished(kReapWaitMs);
        return;
    }
    SignalGroup(pid, SIGTERM);
    if (!p.waitForFinished(kTerminateGraceMs)) {
        SignalGroup(pid, SIGKILL);
        p.waitForFinished(kReapWaitMs);
    }
#endif
}

qint64 ChildProcess::processId() const {
    return process_ ? process_->processId() : 0;
}

}  // namespace ifb
