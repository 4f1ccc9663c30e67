#pragma once

#include <QString>
#include <QStringList>

namespace ifb::espota {

struct EspotaOptions {
    QString espIp;
    QString hostIp = QStringLiteral("0.0.0.0");
    int espPort = 3232;
    int hostPort = -1;  // -1: a random port from 10000-60000
    QString auth;
    QString image;
    bool spiffs = false;
    bool progress = false;
    bool debug = false;
    bool md5Target = false;
    double timeoutSeconds = 10;
    // Ours only: one answered 1024-byte chunk at a time, as the core's espota sends.
    bool stopAndWait = false;
    // Ours only: tries again from the invitation after a network-level failure.
    int retries = 1;
};

struct ParsedCommandLine {
    enum class Outcome { Run, Help, UsageError };
    Outcome outcome = Outcome::Run;
    EspotaOptions options;
    QString error;  // for UsageError
};

// espota's options: -i/--ip, -I/--host_ip, -p/--port, -P/--host_port, -a/--auth,
// -f/--file, -s/--spiffs, -r/--progress, -d/--debug, -t/--timeout,
// -m/--md5-target, -h/--help, and ours: --stop-and-wait, --retries N; "-x V", "-xV", "--long V", "--long=V",
// unique prefixes of long names, and grouped flags ("-rd") as usual.
ParsedCommandLine ParseEspotaCommandLine(const QStringList& arguments);

QString UsageLine(const QString& program);
QString HelpText(const QString& program);

}  // namespace ifb::espota
