#pragma once

#include <QString>

#include "WifiControl.h"

// The texts of the automatic Wi-Fi join: the join dialog's progress and
// result, batch mode's stderr and the log lines of going back.
namespace ifb::wifi_messages {

inline QString AutoJoinButton() {
    return QStringLiteral("自動接続");
}
inline QString Joining(const QString& ssid) {
    return QStringLiteral("「%1」に接続しています...").arg(ssid);
}
inline QString Joined(const QString& ssid, const QString& device) {
    return QStringLiteral("「%1」に接続しました (%2)。").arg(ssid, device);
}
inline QString JoinFailed(const QString& cause) {
    return QStringLiteral("自動接続できませんでした: %1").arg(cause);
}
inline QString ManualWay() {
    return QStringLiteral("手動で接続してOKを押してください。");
}

inline QString NoSsid() {
    return QStringLiteral("ボードがSSIDを報告していません。");
}
inline QString SsidTooLong() {
    return QStringLiteral("SSIDが32バイトを超えています。");
}
inline QString PassphraseEmpty() {
    return QStringLiteral("パスワードが空です。");
}
inline QString PassphraseInvalid() {
    return QStringLiteral("パスワードは8〜63文字の英数字記号か、16進数64桁でなければなりません。");
}

inline QString StatusText(WifiStatus status, const QString& ssid, const QString& detail) {
    switch (status) {
        case WifiStatus::Ok:
            return QString();
        case WifiStatus::NoService:
            return QStringLiteral("ネットワーク管理サービス (NetworkManager) に接続できません。");
        case WifiStatus::NoDevice:
            return QStringLiteral("使えるWi-Fiデバイスがありません。");
        case WifiStatus::SsidNotFound:
            return QStringLiteral("SSID「%1」が見つかりません。").arg(ssid);
        case WifiStatus::AuthRefused:
            return QStringLiteral("パスワードが受け付けられませんでした。");
        case WifiStatus::TimedOut:
            return QStringLiteral("接続がタイムアウトしました。");
        case WifiStatus::ServiceLost:
            return QStringLiteral("接続中にネットワーク管理サービスが停止しました。");
        case WifiStatus::Interrupted:
            return QStringLiteral("接続を中止しました。");
        case WifiStatus::Failed:
            break;
    }
    return QStringLiteral("接続できませんでした (%1)。").arg(detail);
}

// Log lines, always class.
inline QString LogJoined(const QString& ssid, const QString& device, const QString& previous) {
    return previous.isEmpty() ? QStringLiteral("Wi-Fi自動接続: %2 を「%1」に接続しました。").arg(ssid, device)
                              : QStringLiteral("Wi-Fi自動接続: %2 を「%1」に接続しました (前の接続: %3)。")
                                    .arg(ssid, device, previous);
}
inline QString LogJoinFailed(const QString& cause) {
    return QStringLiteral("Wi-Fi自動接続: 失敗 (%1)").arg(cause);
}
inline QString LogTemporaryRemoved(const QString& name) {
    return QStringLiteral("Wi-Fi: 一時接続 %1 を削除しました。").arg(name);
}
inline QString LogTemporaryNotRemoved(const QString& name, const QString& detail) {
    return QStringLiteral("Wi-Fi: 一時接続 %1 を削除できませんでした (%2)。次回起動時に削除します。")
        .arg(name, detail);
}
inline QString LogPreviousBack(const QString& device, const QString& previous) {
    return QStringLiteral("Wi-Fi: %1 を前の接続 %2 に戻しました。").arg(device, previous);
}
inline QString LogNoPrevious(const QString& device) {
    return QStringLiteral("Wi-Fi: %1 には前の接続がありませんでした。").arg(device);
}
inline QString LogPreviousMissing(const QString& previous) {
    return QStringLiteral("Wi-Fi: 前の接続 %1 はもうないため、戻せません。").arg(previous);
}
inline QString LogPreviousFailed(const QString& previous, const QString& detail) {
    return QStringLiteral("Wi-Fi: 前の接続 %1 に戻せませんでした (%2)。").arg(previous, detail);
}
inline QString LogLeftoverRemoved(const QString& name) {
    return QStringLiteral("Wi-Fi: 前回残った一時接続 %1 を削除しました。").arg(name);
}

}  // namespace ifb::wifi_messages
