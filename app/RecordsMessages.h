#pragma once

#include <QString>
#include <QStringList>

// The operator's texts of the records, the session logs, the central database
// and the history window.
namespace ifb::RecordsMessages {

inline QString storeFailed(const QString& path, const QString& why) {
    return QStringLiteral("記録ファイル %1 に書き込めません (%2)。記録は保持し、次の書き込みで再試行します。")
        .arg(path, why);
}
inline QString storeSetAside(const QString& aside) {
    return QStringLiteral("記録ファイルが壊れていたため %1 に移し、新しい記録ファイルを作りました。")
        .arg(aside);
}
inline QString storeRecovered(int count) {
    return QStringLiteral("保留していた記録 %1 件を書き込みました。").arg(count);
}
inline QString logWriteFailed(const QString& path, const QString& why) {
    return QStringLiteral("ログファイル %1 に書き込めません (%2)。").arg(path, why);
}
inline QString centralFailed(const QString& why) {
    return QStringLiteral("中央データベースに送信できません (%1)。記録は後で送信します。").arg(why);
}
inline QString centralLoginRefused(const QString& why) {
    return QStringLiteral("中央データベースへのログインが拒否されました (%1)。記録は後で送信します。")
        .arg(why);
}
inline QString centralRecovered() {
    return QStringLiteral("中央データベースへの送信を再開しました。");
}
inline QString passwordFileUnusable(const QString& path, const QString& why) {
    return QStringLiteral("パスワードファイル %1 を使えません (%2)。所有者だけが読めるようにしてください。")
        .arg(path, why);
}
inline QString waitingForCentral(int count) {
    return QStringLiteral("中央DB未送信: %1件").arg(count);
}

// The history window.
inline QString menuRecords() {
    return QStringLiteral("記録(&R)");
}
inline QString menuHistory() {
    return QStringLiteral("履歴(&H)...");
}
inline QString historyTitle() {
    return QStringLiteral("書き込み履歴");
}
inline QString detailsTitle() {
    return QStringLiteral("記録の詳細");
}
inline QString period() {
    return QStringLiteral("期間");
}
inline QString resultLabel() {
    return QStringLiteral("結果");
}
inline QString allResults() {
    return QStringLiteral("すべて");
}
inline QString modelLabel() {
    return QStringLiteral("モデル");
}
inline QString targetIdLabel() {
    return QStringLiteral("ターゲットID");
}
inline QString stationLabel() {
    return QStringLiteral("ステーション");
}
inline QString exportCsv() {
    return QStringLiteral("CSV出力...");
}
inline QString openLogFolder() {
    return QStringLiteral("ログフォルダを開く");
}
inline QString closeButton() {
    return QStringLiteral("閉じる");
}
inline QString totals(int ok, int ng) {
    return QStringLiteral("OK: %1件　NG: %2件").arg(ok).arg(ng);
}
inline QString ngCodesLabel() {
    return QStringLiteral("NGコード: ");
}
inline QString noRecordsFile() {
    return QStringLiteral("記録ファイルを開けません。");
}
inline QString csvWritten(int count, const QString& path) {
    return QStringLiteral("%1 件を %2 に出力しました。").arg(count).arg(path);
}
inline QString csvFailed(const QString& path, const QString& why) {
    return QStringLiteral("CSVファイル %1 を書き込めません (%2)。").arg(path, why);
}
inline QString stagesLabel() {
    return QStringLiteral("工程 (ms)");
}
inline QString logFileLabel() {
    return QStringLiteral("ログファイル");
}
inline QString openLogFile() {
    return QStringLiteral("ログファイルを開く");
}

// Column headings of the history table, in the order of its columns.
inline QStringList historyColumns() {
    return {QStringLiteral("開始日時"), QStringLiteral("結果"),         QStringLiteral("NGコード"),
            QStringLiteral("モデル"),   QStringLiteral("ターゲットID"), QStringLiteral("ROM(前)"),
            QStringLiteral("ROM(後)"),  QStringLiteral("ステーション"), QStringLiteral("作業者"),
            QStringLiteral("ポート"),   QStringLiteral("所要時間(ms)")};
}

// An outcome as the window shows it.
inline QString outcomeText(const QString& outcome) {
    if (outcome == QLatin1String("ok")) return QStringLiteral("OK");
    if (outcome == QLatin1String("aborted")) return QStringLiteral("NG (中止)");
    if (outcome == QLatin1String("timeout")) return QStringLiteral("NG (タイムアウト)");
    if (outcome == QLatin1String("tool_failed")) return QStringLiteral("NG (ツール異常)");
    if (outcome == QLatin1String("cancelled")) return QStringLiteral("NG (中断)");
    if (outcome == QLatin1String("refused")) return QStringLiteral("NG (対象外)");
    return outcome;
}

}  // namespace ifb::RecordsMessages
