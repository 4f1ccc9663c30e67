#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace ifb {
namespace {

const QString kProgramFolderName = QStringLiteral("Vardelintool");
const QString kFirmwareFileName = QStringLiteral("UOf.bin");

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

QString MakeSettingsPath(const QString& exePath, bool* folderOk) {
    const bool ok = MakeFolder(ProgramFolder(exePath));
    if (folderOk) *folderOk = ok;
    return SettingsPathFor(exePath);
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
    if (binPathMode == 1) return ProgramFolder(exePath);
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

}  // namespace ifb
