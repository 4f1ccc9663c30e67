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
// by ".ini" (appended when there is none). Does not touch the disk.
QString SettingsPathFor(const QString& exePath);

// Computes the settings path and creates the program folder with its parents,
// as the program does at every start. folderOk (if given) tells whether the
// folder exists afterwards; a missing folder is no error here, the writers
// report it at exit.
QString MakeSettingsPath(const QString& exePath, bool* folderOk = nullptr);
QString MakeSettingsPath(bool* folderOk = nullptr);

// The per-user application-data folder: the roaming AppData folder on Windows,
// the generic data location (~/.local/share) elsewhere. Empty when unknown.
QString UserDataFolder();

// Folder that receives the firmware image for the update: the program folder
// when binPathMode is 1, otherwise userDataFolder + "/korima/" + ExeBaseName.
// Empty when binPathMode is not 1 and userDataFolder is empty: there is then
// no sound place for the file (it would land in the file system's root).
QString FirmwareFolderFor(const QString& exePath, int binPathMode, const QString& userDataFolder);
QString FirmwareFolder(int binPathMode);

// folder + "/UOf.bin"; empty for an empty folder.
QString FirmwareFileIn(const QString& folder);

// Creates folder with all missing parents; true when it exists afterwards.
bool MakeFolder(const QString& folder);

}  // namespace ifb
