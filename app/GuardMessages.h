#pragma once

#include <QString>

namespace ifb::guard_messages {

// Texts of the guards that keep a board and a run safe: where the program does
// something else than asked, or skips a step, the log says so in these words.

// The close or the update would restore a mode that was never read from this
// board in this run.
inline QString ModeRestoreSkipped() {
    return QStringLiteral("動作モードを読み取れなかったため、動作モードを戻しません。");
}

// A time-out of the settings file outside the range the program works in.
inline QString TimeoutOutOfRange(const QString& key, int written, quint32 usedMs) {
    return QStringLiteral("設定 %1=%2 は範囲外です。%3ms で動作します。").arg(key).arg(written).arg(usedMs);
}

// The upload tool is a file without execute permission.
inline QString ToolNotExecutable(const QString& path) {
    return QStringLiteral("NG: 実行権限がありません: ") + path;
}

}  // namespace ifb::guard_messages
