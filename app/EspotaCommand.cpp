#include "EspotaCommand.h"

#include "ChildProcess.h"

namespace ifb {

QString DottedIpv4(quint32 address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg((address >> 24) & 0xFFu)
        .arg((address >> 16) & 0xFFu)
        .arg((address >> 8) & 0xFFu)
        .arg(address & 0xFFu);
}

QStringList EspotaCommand::words() const {
    QStringList w;
#ifndef Q_OS_WIN
    if (espotaPath.endsWith(QStringLiteral(".py"), Qt::CaseInsensitive)) w << QStringLiteral("python3");
#endif
    w << espotaPath << QStringLiteral("-i") << address << QStringLiteral("-p") << QString::number(port)
      << QStringLiteral("--auth=") + password << QStringLiteral("-f") << firmwarePath;
    return w;
}

QString EspotaCommand::windowsCommand() const {
    const QChar q = QLatin1Char('"');
    return q + espotaPath + q + QStringLiteral(" -i ") + address + QStringLiteral(" -p ") +
           QString::number(port) + QStringLiteral(" --auth=") + password + QStringLiteral(" -f ") + q +
           firmwarePath + q;
}

QString EspotaCommand::windowsCommandLine() const {
    return QLatin1Char('"') + windowsCommand() + QLatin1Char('"');
}

ToolCommand EspotaCommand::toolCommand() const {
    return ToolCommand{words(), windowsCommandLine()};
}

QString EspotaCommand::displayLine() const {
#ifdef Q_OS_WIN
    return windowsCommand();
#else
    return PosixShellLine(words());
#endif
}

}  // namespace ifb
