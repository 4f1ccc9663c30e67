#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace ifb {
namespace {

const QString kProgramFolderName = QStringLiteral("Vardelintool");
const QString kFirmwareFileName = QStringLiteral("UOf.bin");
#ifdef Q_OS_WIN
const QString kBundledToolName = QStringLiteral("espota.exe");
#else
const QString kBundledToolName = QStringLiteral("espota");
#endif

// Splits "dir/name" after the last separator; the separator stays with dir.
void SplitExePath(const QString& exePath, QString& dirWithSep, QString& fileName) {
    const QString path = QDir::fromNativeSeparators(exePath);
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/')) + 1;
    dirWithSep = path.left(cut);
    fileName = path.mid(cut);
}

// Index of the dot that starts the extension, or -1. A leading dot (".tool")
// starts a hidden name, not an extension.
qsizetype ExtensionDot(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? dot : -1;
}

}  // namespace

QString ExeBaseName(const QString& exePath) {
    QString dir, name;
    SplitExePath(exePath, dir, name);
    const qsizetype dot = ExtensionDot(name);
    return dot < 0 ? name : name.left(dot);
}

QString ProgramFolder(const QString& exePath) {
    QString dir, name;
    SplitExePath(exePath, dir, name);
    return dir + kProgramFolderName;
}

QString ProgramFolder() {
    return ProgramFolder(QCoreApplication::applicationFilePath());
}

QString SettingsPathFor(const QString& exePath) {
    return ProgramFolder(exePath) + QLatin1Char('/') + ExeBaseName(exePath) + QStringLiteral(".ini");
}

QString BundledToolFor(const QString& exePath) {
    QString dir, name;
    SplitExePath(exePath, dir, name);
    const QString tool =
        QDir::cleanPath(dir + QStringLiteral(IFB_TOOL_DIR_FROM_BIN) + QLatin1Char('/') + kBundledToolName);
    return QFileInfo(tool).isFile() ? tool : QString();
}

ProgramPlaces ResolvePlaces(const QString& exePath) {
    ProgramPlaces places;
    places.settingsFile = ExeBaseName(exePath) + QStringLiteral(".ini");
    const QString programFolder = ProgramFolder(exePath);
    if (BundledToolFor(exePath).isEmpty()) {
        MakeFolder(programFolder);
        places.programFolderError = FolderWriteError(programFolder);
        if (places.programFolderError.isEmpty()) {
            places.settingsFolder = places.firmwareFolder = programFolder;
            return places;
        }
    }
    places.userFolders = true;
    places.settingsFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                            QLatin1Char('/') + kProgramFolderName;
    places.firmwareFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                            QLatin1Char('/') + kProgramFolderName;
    MakeFolder(places.settingsFolder);
    places.settingsFolderError = FolderWriteError(places.settingsFolder);
    const QString left = programFolder + QLatin1Char('/') + places.settingsFile;
    if (places.settingsFolderError.isEmpty() && !QFileInfo::exists(places.settingsPath()) &&
        QFileInfo(left).isFile() && QFile::copy(left, places.settingsPath())) {
        // A copy keeps the source's permission bits; the user's file must take writes.
        QFile::setPermissions(places.settingsPath(), QFile::permissions(places.settingsPath()) |
                                                         QFileDevice::WriteOwner | QFileDevice::ReadOwner);
        places.adoptedFrom = left;
    }
    return places;
}

QString MakeSettingsPath(const QString& exePath, bool* folderOk) {
    const ProgramPlaces places = ResolvePlaces(exePath);
    if (folderOk) *folderOk = QFileInfo(places.settingsFolder).isDir();
    return places.settingsPath();
}

QString MakeSettingsPath(bool* folderOk) {
    return MakeSettingsPath(QCoreApplication::applicationFilePath(), folderOk);
}

QString UserDataFolder() {
#ifdef Q_OS_WIN
    // The roaming folder (CSIDL_APPDATA); Qt's data locations point at Local.
    return QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
}

QString FirmwareFolderFor(const QString& exePath, int binPathMode, const QString& userDataFolder) {
    ProgramPlaces portable;
    portable.firmwareFolder = ProgramFolder(exePath);
    return FirmwareFolderFor(portable, exePath, binPathMode, userDataFolder);
}

QString FirmwareFolderFor(const ProgramPlaces& places, const QString& exePath, int binPathMode,
                          const QString& userDataFolder) {
    if (binPathMode == 1) return places.firmwareFolder;
    if (userDataFolder.isEmpty()) return {};
    QString base = QDir::fromNativeSeparators(userDataFolder);
    if (!base.endsWith(QLatin1Char('/'))) base += QLatin1Char('/');
    return base + QStringLiteral("korima/") + ExeBaseName(exePath);
}

QString FirmwareFolder(int binPathMode) {
    return FirmwareFolderFor(QCoreApplication::applicationFilePath(), binPathMode, UserDataFolder());
}

QString FirmwareFileIn(const QString& folder) {
    if (folder.isEmpty()) return {};
    return folder + QLatin1Char('/') + kFirmwareFileName;
}

bool MakeFolder(const QString& folder) {
    if (folder.isEmpty()) return false;
    return QDir().mkpath(folder);
}

QString FolderWriteError(const QString& folder) {
    const QString wanted = QDir::cleanPath(folder);
    QString existing = wanted;
    QString below;  // the missing or blocking entry right under existing
    while (!QFileInfo(existing).isDir()) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing) break;
        below = existing;
        existing = parent;
    }
    QTemporaryFile probe(existing + QStringLiteral("/.ifb-write-test-XXXXXX"));
    if (!probe.open()) return QDir::toNativeSeparators(existing) + QStringLiteral(": ") + probe.errorString();
    if (below.isEmpty()) return {};
    return QDir::toNativeSeparators(below) +
           (QFileInfo::exists(below) ? QStringLiteral(": not a folder") : QStringLiteral(": missing"));
}

}  // namespace ifb
