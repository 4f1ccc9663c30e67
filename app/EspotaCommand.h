#pragma once

#include <QString>
#include <QStringList>

#include "ToolRunner.h"

namespace ifb {

// An IPv4 address held with its first dotted octet in the most significant
// byte, as dotted decimal ("192.168.0.1").
QString DottedIpv4(quint32 address);

// The tool's path as a POSIX child is given it: absolute, so that a bare name
// is never looked up on PATH.
QString PosixToolPath(const QString& path);
// The same for cmd.exe, which would look a bare name up in the current folder
// and on PATH: absolute, with backslashes.
QString WindowsToolPath(const QString& path);
// A path with backslashes only, as cmd.exe and the tool take it.
QString WindowsSeparators(const QString& path);

// The upload tool's command line for one update.
struct EspotaCommand {
    QString espotaPath;
    QString address;  // dotted, see DottedIpv4
    quint16 port = 3232;
    QString password;
    QString firmwarePath;

    // POSIX: program first, by its absolute path. A script ending in ".py"
    // runs under python3.
    QStringList words() const;
    // "path" -i ADDRESS -p PORT --auth=PASSWORD -f "firmware", both paths
    // absolute (the tool's) and with backslashes.
    QString windowsCommand() const;
    // windowsCommand() in one more pair of quotes: cmd.exe strips that pair,
    // so both paths may hold blanks.
    QString windowsCommandLine() const;
    // What the runner takes: both forms, and the file that must be executable.
    ToolCommand toolCommand() const;
    // The command as this system runs it, for the diagnostic log (it holds the password).
    QString displayLine() const;

  private:
    bool runsUnderPython() const;
};

}  // namespace ifb
