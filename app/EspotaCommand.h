#pragma once

#include <QString>
#include <QStringList>

#include "ToolRunner.h"

namespace ifb {

// An IPv4 address held with its first dotted octet in the most significant
// byte, as dotted decimal ("192.168.0.1").
QString DottedIpv4(quint32 address);

// The upload tool's command line for one update.
struct EspotaCommand {
    QString espotaPath;
    QString address;  // dotted, see DottedIpv4
    quint16 port = 3232;
    QString password;
    QString firmwarePath;

    // Program first. On POSIX a script ending in ".py" runs under python3.
    QStringList words() const;
    // "path" -i ADDRESS -p PORT --auth=PASSWORD -f "firmware"
    QString windowsCommand() const;
    // windowsCommand() in one more pair of quotes: cmd.exe strips that pair,
    // so both paths may hold blanks.
    QString windowsCommandLine() const;
    // What the runner takes.
    ToolCommand toolCommand() const;
    // The command as this system runs it, for the diagnostic log (it holds the password).
    QString displayLine() const;
};

}  // namespace ifb
