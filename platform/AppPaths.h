#pragma once

#include <QString>

namespace ifb {

// Where the program keeps its files. Every function taking an executable path
// works on that path alone, so tests can place a "program" anywhere; the
// overloads without it use QCoreApplication::applicationFilePath().
//
// Paths come back with '/' separators (Qt's form, valid on every platform);
// use QDir::toNativeSeparators() where a person sees them or a shell gets them.

// The executable's file name with its extension cut off ("ifb-updater.exe" ->
// "ifb-updater"; a name without extension stays as it is).
QString ExeBaseName(const QString& exePath);

// The program folder: the executable's folder + "Vardelintool".
QString ProgramFolder(const QString& exePath);
QString ProgramFolder();

// Program folder + "/" + the executable's file name with its extension replaced
// by ".ini" (appended when there is none): the file of a portable copy. Does
// not touch the disk; MakeSettingsPath says which file a run uses.
QString SettingsPathFor(const QString& exePath);

// The uploader installed with the program (<prefix>/libexec/ifb-updater/espota
// beside <prefix>/bin/ifb-updater), or empty when there is none: then the
// executable is a portable copy.
QString BundledToolFor(const QString& exePath);

// Where a run keeps its files. A portable copy keeps them in its program
// folder. An installed program (one with its bundled uploader), or one whose
// program folder cannot be written, uses the same folder and file names under
// the user's config location (settings) and data location (firmware file).
struct ProgramPlaces {
    QString settingsFolder;  // holds the settings file (and whatever lives beside it)
    QString settingsFile;    // the executable's name + ".ini"
    QString firmwareFolder;  // the firmware file's folder for binPath_Mode 1
    bool userFolders = false;
    // Why the program folder was not used; empty for a portable copy or an installed program.
    QString programFolderError;
    // The user's settings folder could not be made; then why.
    QString settingsFolderError;
    // The settings file of the program folder copied in as the start of the user's one.
    QString adoptedFrom;

    QString settingsPath() const { return settingsFolder + QLatin1Char('/') + settingsFile; }
};

// Decides the places and creates their folders with all missing parents (the
// program folder of a portable copy, as at every start). The one place that
// says where the settings file is: everything kept beside it follows it.
// When the user's folders take over and hold no settings file yet, one left
// in the program folder is copied in, so no setting is lost.
ProgramPlaces ResolvePlaces(const QString& exePath);

// ResolvePlaces(exePath).settingsPath(). folderOk (if given) tells whether
// the folder exists afterwards; a missing folder is no error here, the writers
// report it at exit.
QString MakeSettingsPath(const QString& exePath, bool* folderOk = nullptr);
QString MakeSettingsPath(bool* folderOk = nullptr);

// The per-user application-data folder: the roaming AppData folder on Windows,
// the generic data location (~/.local/share) elsewhere. Empty when unknown.
QString UserDataFolder();

// Folder that receives the firmware image for the update: the places'
// firmware folder when binPathMode is 1, otherwise userDataFolder + "/korima/"
// + ExeBaseName. Empty when binPathMode is not 1 and userDataFolder is empty:
// there is then no sound place for the file (it would land in the file
// system's root). The overload with exePath takes a portable copy's places.
QString FirmwareFolderFor(const ProgramPlaces& places, const QString& exePath, int binPathMode,
                          const QString& userDataFolder);
QString FirmwareFolderFor(const QString& exePath, int binPathMode, const QString& userDataFolder);
QString FirmwareFolder(int binPathMode);

// folder + "/UOf.bin"; empty for an empty folder.
QString FirmwareFileIn(const QString& folder);

// Creates folder with all missing parents; true when it exists afterwards.
bool MakeFolder(const QString& folder);

// Empty when a file can be created in folder (tried for real: a read-only
// file system passes the permission bits); otherwise the reason, naming the
// folder that refused (the nearest existing one when folder is missing).
QString FolderWriteError(const QString& folder);

}  // namespace ifb
