#pragma once

#include <QString>

// The operator's texts of station mode: board after board in one run.
namespace ifb::StationMessages {

inline QString menu() {
    return QStringLiteral("ステーション(&S)");
}
inline QString menuItem() {
    return QStringLiteral("連続書き込み");
}
inline QString nextBoardButton() {
    return QStringLiteral("次のボード");
}
inline QString resetCountersItem() {
    return QStringLiteral("カウンタをリセット");
}
inline QString waitingForBoard() {
    return QStringLiteral("次のボードを接続してください");
}
inline QString unitBanner(int unit) {
    return QStringLiteral("------- ユニット %1 -------").arg(unit);
}
inline QString alreadyCurrent(const QString& version) {
    return QStringLiteral("ファームウェアは最新です (%1)").arg(version);
}
inline QString skippedAsCurrent(int unit) {
    return QStringLiteral("ユニット %1 は最新のため書き込みません。").arg(unit);
}
inline QString boardChanged() {
    return QStringLiteral("ボードが入れ替わっていたため、前のボードの動作モードは戻しません。");
}
inline QString boardReleased() {
    return QStringLiteral("ボードを解放しました。");
}
inline QString counters(int units, int ok, int ng, const QString& lastNg, int current) {
    const QString ngText =
        lastNg.isEmpty() ? QString::number(ng) : QStringLiteral("%1 (%2)").arg(ng).arg(lastNg);
    return QStringLiteral("台数: %1  OK: %2  NG: %3  最新: %4").arg(units).arg(ok).arg(ngText).arg(current);
}

}  // namespace ifb::StationMessages
