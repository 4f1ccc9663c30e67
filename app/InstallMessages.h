#pragma once

#include <QDir>
#include <QString>

namespace ifb::install_messages {

// Texts of an installed program: where its files go, and why a serial port
// refused to open.

// The settings file lives in the user's folder, not beside the program.
inline QString SettingsInUserFolder(const QString& path) {
    return QStringLiteral("設定ファイル: ") + QDir::toNativeSeparators(path);
}

// binPath_Mode 1 writes the firmware file into the user's data folder.
inline QString FirmwareInUserFolder(const QString& folder) {
    return QStringLiteral("ファームウェアの一時ファイルの場所: ") + QDir::toNativeSeparators(folder);
}

// A program folder that could not be written (a portable copy on a read-only medium).
inline QString ProgramFolderNotWritable(const QString& reason) {
    return QStringLiteral("プログラムのフォルダに書き込めないため、ユーザーのフォルダを使います (") + reason +
           QStringLiteral(")。");
}

// The settings left in the program folder were copied to the user's folder.
inline QString SettingsAdopted(const QString& from) {
    return QStringLiteral("設定を引き継ぎました: ") + QDir::toNativeSeparators(from);
}

// The user's settings folder cannot be made or written: the run goes on with
// what was read, and the exit's settings error box follows.
inline QString SettingsFolderNotWritable(const QString& reason) {
    return QStringLiteral("設定フォルダに書き込めません (") + reason +
           QStringLiteral(")。終了時に設定を保存できません。");
}

// The serial port refused the user: the cause and the remedy.
inline QString PortPermissionDenied(const QString& port) {
    return port + QStringLiteral(
                      " を開く権限がありません。dialout グループに参加してください: "
                      "sudo usermod -aG dialout $USER (再ログイン後に有効)");
}

}  // namespace ifb::install_messages
