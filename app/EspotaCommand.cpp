#include "EspotaCommand.h"

#include <QFileInfo>

#include "ChildProcess.h"

namespace ifb {

namespace {

// "C:\x", "C:/x", "\\server\share" and "//server/share" name a file without
// the current folder.
bool IsWindowsAbsolute(const QString& path) {
    const auto slash = [](QChar c) { return c == QLatin1Char('\\') || c == QLatin1Char('/'); };
    if (path.size() >= 3 && path[0].isLetter() && path[1] == QLatin1Char(':') && slash(path[2])) return true;
    return path.size() >= 2 && slash(path[0]) && slash(path[1]);
}

}  // namespace

QString DottedIpv4(quint32 address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg((address >> 24) & 0xFFu)
        .arg((address >> 16) & 0xFFu)
        .arg((address >> 8) & 0xFFu)
        .arg(address & 0xFFu);
}

QString PosixToolPath(const QString& path) {
    if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) return path;
    return QFileInfo(path).absoluteFilePath();
}

QString WindowsSeparators(const QString& path) {
    QString native = path;
    return native.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QString WindowsToolPath(const QString& path) {
    if (path.isEmpty() || IsWindowsAbsolute(path)) return WindowsSeparators(path);
    return WindowsSeparators(QFileInfo(path).absoluteFilePath());
}

bool EspotaCommand::runsUnderPython() const {
#ifdef Q_OS_WIN
    return false;
#else
    return espotaPath.endsWith(QStringLiteral(".py"), Qt::CaseInsensitive);
#endif
}

QStringList EspotaCommand::words() const {
    QStringList w;
    if (runsUnderPython()) w << QStringLiteral("python3");
    w << PosixToolPath(espotaPath) << QStringLiteral("-i") << address << QStringLiteral("-p")
      << QString::number(port) << QStringLiteral("--auth=") + password << QStringLiteral("-f")
      << firmwarePath;
    return w;
}

QString EspotaCommand::windowsCommand() const {
    const QChar q = QLatin1Char('"');
    return q + WindowsToolPath(espotaPath) + q + QStringLiteral(" -i ") + address + QStringLiteral(" -p ") +
           QString::number(port) + QStringLiteral(" --auth=") + password + QStringLiteral(" -f ") + q +
           WindowsSeparators(firmwarePath) + q;
}

QString EspotaCommand::windowsCommandLine() const {
    return QLatin1Char('"') + windowsCommand() + QLatin1Char('"');
}

ToolCommand EspotaCommand::toolCommand() const {
    return ToolCommand{words(), windowsCommandLine(),
                       runsUnderPython() ? QString() : PosixToolPath(espotaPath)};
}

QString EspotaCommand::displayLine() const {
#ifdef Q_OS_WIN
    return windowsCommand();
#else
    return PosixShellLine(words());
#endif
}

}  // namespace ifb
