// mkfwimage: writes the deterministic firmware image the build embeds, or
// checks the structure of an image file.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

#include "ImageChecker.h"
#include "ImageWriter.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void printLine(FILE* stream, const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

int usageError(const QCommandLineParser& parser, const QString& message) {
    printLine(stderr, QStringLiteral("mkfwimage: %1").arg(message));
    printLine(stderr, parser.helpText());
    return kExitUsage;
}

int check(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        printLine(stderr, QStringLiteral("%1: NG: %2").arg(path, file.errorString()));
        return kExitFailure;
    }
    const ifb::espimage::ImageReport report = ifb::espimage::CheckImage(file.readAll());
    if (!report.ok) {
        printLine(stdout, QStringLiteral("%1: NG: %2").arg(path, report.error));
        return kExitFailure;
    }
    QString line = QStringLiteral("%1: OK: %2 segment(s)").arg(path).arg(report.segmentCount);
    if (report.hasAppDescriptor)
        line += QStringLiteral(", version \"%1\", project \"%2\"").arg(report.version, report.projectName);
    else
        line += QStringLiteral(", no app descriptor");
    printLine(stdout, line);
    return 0;
}

int write(const QString& id, qint64 size, const QString& path) {
    QString error;
    const QByteArray image = ifb::espimage::MakeFirmwareImage(id, size, &error);
    if (image.isEmpty()) {
        printLine(stderr, QStringLiteral("mkfwimage: %1").arg(error));
        return kExitFailure;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size() || !file.commit()) {
        printLine(stderr, QStringLiteral("mkfwimage: %1: %2").arg(path, file.errorString()));
        return kExitFailure;
    }
    printLine(stdout, QStringLiteral("%1: %2 bytes, version \"%3\"").arg(path).arg(image.size()).arg(id));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mkfwimage"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes or checks an ESP32 application image."));
    parser.addHelpOption();
    const QCommandLineOption idOption(QStringLiteral("id"),
                                      QStringLiteral("Firmware id (app descriptor version)."),
                                      QStringLiteral("ID"), QStringLiteral("1022IFB00"));
    const QCommandLineOption sizeOption(
        QStringLiteral("size"), QStringLiteral("Image size in bytes (rounded up to 16)."),
        QStringLiteral("N"), QString::number(ifb::espimage::kDefaultFirmwareSize));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Image file to write."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption checkOption(
        QStringLiteral("check"), QStringLiteral("Check an image file instead."), QStringLiteral("FILE"));
    parser.addOptions({idOption, sizeOption, outOption, checkOption});
    if (!parser.parse(QCoreApplication::arguments())) return usageError(parser, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printLine(stdout, parser.helpText());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(parser,
                          QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
    if (parser.isSet(checkOption)) {
        if (parser.isSet(outOption))
            return usageError(parser, QStringLiteral("--check and --out exclude each other"));
        return check(parser.value(checkOption));
    }
    if (!parser.isSet(outOption))
        return usageError(parser, QStringLiteral("--out FILE or --check FILE is required"));
    bool ok = false;
    const qint64 size = parser.value(sizeOption).toLongLong(&ok);
    if (!ok || size <= 0)
        return usageError(parser, QStringLiteral("--size needs a positive number of bytes"));
    return write(parser.value(idOption), size, parser.value(outOption));
}
