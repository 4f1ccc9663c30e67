// Program entry: the window, or the batch mode with --batch.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "BatchMode.h"
#include "FirmwareId.h"
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
    " 130  interrupted (the board's mode was restored first)\n";

struct CommandLine {
    bool batch = false;
    ifb::BatchOptions batchOptions;
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
    const QCommandLineOption autoJoin(
        QStringLiteral("auto-join"),
        QStringLiteral("Join the board's Wi-Fi access point by itself before the connection wait; when that "
                       "fails, the join is confirmed as without it (batch mode)."));
    parser.addOptions({help, version, batch, port, speed, yes, autoJoin});
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
    if (!out.batch &&
        (parser.isSet(port) || parser.isSet(speed) || parser.isSet(yes) || parser.isSet(autoJoin))) {
        std::fputs("--port, --speed, --yes and --auto-join need --batch\n", stderr);
        return ifb::kExitUsage;
    }
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
