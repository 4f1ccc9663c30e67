// espota: uploads an image to an ESP32 board's Arduino OTA receiver, with the
// command line, messages and exit codes of the Arduino core's espota tool.
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

#include "EspotaCommandLine.h"
#include "EspotaLog.h"
#include "Uploader.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    const QString program = QFileInfo(arguments.takeFirst()).fileName();
    const ifb::espota::ParsedCommandLine parsed = ifb::espota::ParseEspotaCommandLine(arguments);
    switch (parsed.outcome) {
        case ifb::espota::ParsedCommandLine::Outcome::Help:
            std::fputs(qPrintable(ifb::espota::HelpText(program)), stdout);
            return 0;
        case ifb::espota::ParsedCommandLine::Outcome::UsageError:
            std::fputs(qPrintable(ifb::espota::UsageLine(program)), stderr);
            std::fprintf(stderr, "%s: error: %s\n", qPrintable(program), qPrintable(parsed.error));
            return 2;
        case ifb::espota::ParsedCommandLine::Outcome::Run:
            break;
    }
    const ifb::espota::EspotaOptions& options = parsed.options;
    ifb::espota::EspotaLog log(options.debug ? ifb::espota::Level::Debug : ifb::espota::Level::Warning);
    if (options.espIp.isEmpty() || options.image.isEmpty()) {
        log.critical(QStringLiteral("Not enough arguments."));
        return 1;
    }
    return ifb::espota::Uploader(options, log).run();
}
