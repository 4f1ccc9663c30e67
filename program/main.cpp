// Program entry: the window, or the batch mode with --batch.
#include <QApplication>
#include <QCommandLineParser>
#include <QDate>
#include <cstdio>

#include "BatchMode.h"
#include "FirmwareId.h"
#include "RecordExport.h"
#include "UpdaterWindow.h"
#include "VersionInfo.h"

namespace {

const char kExitCodes[] =
    "Exit codes in batch mode:\n"
    "   0  update done, the board reports the new firmware\n"
    "   1  update aborted (board reported failure, version differs, tool output had an error,\n"
    "      or the Wi-Fi join was not confirmed)\n"
    "   2  time-out (the PC did not join the board's access point, or no verdict from the board)\n"
    "   3  the upload tool failed\n"
    "  10  the program's path holds non-ASCII characters\n"
    "  11  no board: port not found or not opened, or the board did not answer\n"
    "  12  the ROM version could not be read\n"
    "  13  the model name could not be read\n"
    "  14  the board's model is not supported by this build\n"
    "  15  the target ID could not be read\n"
    "  16  no upload tool (App_ESPOta) available\n"
    "  64  bad command line\n"
    " 130  interrupted (the board's mode was restored first)\n"
    "With --repeat: 0 when every unit ended OK or current, otherwise the code above of the\n"
    "last unit that did not (its update's outcome or its start-up's code); 130 when interrupted.\n";

struct CommandLine {
    bool batch = false;
    ifb::BatchOptions batchOptions;
    QString exportFile;
    QDate since;
};

// Parses the command line; prints help, version or errors and returns the exit
// code when the program should end right away.
std::optional<int> Parse(const QCoreApplication& app, CommandLine& out) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("I/Fボード ファームウェアアップデート (firmware %1)\n\n%2")
            .arg(QString::fromLatin1(ifb::kFirmwareId), QString::fromLatin1(kExitCodes)));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    const QCommandLineOption batch(QStringLiteral("batch"),
                                   QStringLiteral("Run start-up, one update and close without a window."));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Serial port (batch mode)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption speed(
        QStringLiteral("speed"),
        QStringLiteral("Bit rate: 9600, 19200, 38400, 57600 or 115200 (batch mode)."), QStringLiteral("BPS"));
    const QCommandLineOption yes(
        QStringLiteral("yes"),
        QStringLiteral("Answer every question with yes and confirm the Wi-Fi join at once. Without it the "
                       "questions are read from the terminal (y/n); no input answers no."));
    const QCommandLineOption exportRecords(
        QStringLiteral("export-records"),
        QStringLiteral("Write the records as CSV (UTF-8 with BOM) into FILE and exit: 0 written, 1 failed."),
        QStringLiteral("FILE"));
    const QCommandLineOption since(QStringLiteral("since"),
                                   QStringLiteral("With --export-records: only records started on DATE "
                                                  "(YYYY-MM-DD, local time) or later."),
                                   QStringLiteral("DATE"));
    const QCommandLineOption repeat(
        QStringLiteral("repeat"),
        QStringLiteral("Station mode: N units one after another on the same port (0: until Ctrl+C); the "
                       "next board is taken when the port goes away and comes back."),
        QStringLiteral("N"));
    const QCommandLineOption nextAfter(
        QStringLiteral("next-after"),
        QStringLiteral("With --repeat: take the next board SECONDS after a unit, for a fixture whose port "
                       "stays."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption skipCurrent(
        QStringLiteral("skip-current"),
        QStringLiteral("With --repeat: a board that already runs this firmware is not written."));
    const QCommandLineOption autoJoin(
        QStringLiteral("auto-join"),
        QStringLiteral("Join the board's Wi-Fi access point by itself before the connection wait; when that "
                       "fails, the join is confirmed as without it (batch mode)."));
    parser.addOptions({help, version, batch, port, speed, yes, exportRecords, since, repeat, nextAfter,
                       skipCurrent, autoJoin});
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "%s\n%s", qPrintable(parser.errorText()), qPrintable(parser.helpText()));
        return ifb::kExitUsage;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s (firmware %s)\n", qPrintable(ifb::GetVersionInfo(7)),
                    qPrintable(ifb::GetVersionInfo(2)), ifb::kFirmwareId);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "Unexpected argument: %s\n", qPrintable(parser.positionalArguments().first()));
        return ifb::kExitUsage;
    }
    out.exportFile = parser.value(exportRecords);
    if (parser.isSet(since)) {
        out.since = QDate::fromString(parser.value(since), Qt::ISODate);
        if (!out.since.isValid() || out.exportFile.isEmpty()) {
            std::fprintf(stderr, "--since needs --export-records and a date YYYY-MM-DD: %s\n",
                         qPrintable(parser.value(since)));
            return ifb::kExitUsage;
        }
    }
    if (parser.isSet(exportRecords) && (out.exportFile.isEmpty() || parser.isSet(batch))) {
        std::fputs("--export-records needs a file name and goes without --batch\n", stderr);
        return ifb::kExitUsage;
    }
    out.batch = parser.isSet(batch);
    out.batchOptions.port = parser.value(port);
    out.batchOptions.assumeYes = parser.isSet(yes);
    out.batchOptions.autoJoin = parser.isSet(autoJoin);
    if (parser.isSet(speed)) {
        bool ok = false;
        out.batchOptions.speed = parser.value(speed).toInt(&ok);
        if (!ok || ifb::SpeedItemForRate(out.batchOptions.speed) < 0) {
            std::fprintf(stderr, "Unsupported speed: %s\n", qPrintable(parser.value(speed)));
            return ifb::kExitUsage;
        }
    }
    if (!out.batch && (parser.isSet(port) || parser.isSet(speed) || parser.isSet(yes) ||
                       parser.isSet(repeat) || parser.isSet(autoJoin))) {
        std::fputs("--port, --speed, --yes, --repeat and --auto-join need --batch\n", stderr);
        return ifb::kExitUsage;
    }
    if (parser.isSet(repeat)) {
        bool ok = false;
        const int units = parser.value(repeat).toInt(&ok);
        if (!ok || units < 0) {
            std::fprintf(stderr, "--repeat needs a number of units (0: until Ctrl+C): %s\n",
                         qPrintable(parser.value(repeat)));
            return ifb::kExitUsage;
        }
        out.batchOptions.repeat = units;
    }
    if ((parser.isSet(nextAfter) || parser.isSet(skipCurrent)) && !parser.isSet(repeat)) {
        std::fputs("--next-after and --skip-current need --repeat\n", stderr);
        return ifb::kExitUsage;
    }
    if (parser.isSet(nextAfter)) {
        bool ok = false;
        const double seconds = parser.value(nextAfter).toDouble(&ok);
        if (!ok || seconds <= 0 || seconds > 3600) {
            std::fprintf(stderr, "--next-after needs seconds, more than 0 and at most 3600: %s\n",
                         qPrintable(parser.value(nextAfter)));
            return ifb::kExitUsage;
        }
        out.batchOptions.nextAfterMs = static_cast<int>(seconds * 1000);
    }
    out.batchOptions.skipCurrent = parser.isSet(skipCurrent);
    return std::nullopt;
}

// Our own options are all long ones; Qt's window options (-platform, -style,
// ...) take one dash. Anything of ours is parsed without a window system, so
// that --help, --version, a batch run and a bad command line need no display.
bool WantsConsole(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg.startsWith("--") || arg == "-h" || arg == "-?") return true;
    }
    return false;
}

int RunWindow(QApplication& app) {
    ifb::UpdaterWindow window(QCoreApplication::applicationFilePath(), QString::fromLatin1(ifb::kFirmwareId));
    window.show();
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    ifb::EnsureStandardStreams();
    if (WantsConsole(argc, argv)) {
        CommandLine cl;
        {
            QCoreApplication app(argc, argv);
            if (const auto code = Parse(app, cl)) return *code;
            if (!cl.exportFile.isEmpty())
                return ifb::ExportRecords(QCoreApplication::applicationFilePath(), cl.exportFile, cl.since);
            if (cl.batch)
                return ifb::RunBatch(cl.batchOptions, QCoreApplication::applicationFilePath(),
                                     QString::fromLatin1(ifb::kFirmwareId));
        }
        // Nothing for the console (a lone "--"): the window, as without arguments.
    }
    QApplication app(argc, argv);
    CommandLine cl;
    if (const auto code = Parse(app, cl)) return *code;
    return RunWindow(app);
}
