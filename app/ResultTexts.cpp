#include "ResultTexts.h"

namespace ifb {

QString ResultVerdict(UpdateOutcome outcome) {
    return outcome == UpdateOutcome::Ok ? QStringLiteral("OK") : QStringLiteral("NG");
}

QString ResultExplanation(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::Ok:
            return QStringLiteral("\nファームウェア書き込みが正常に完了しました。");
        case UpdateOutcome::TimeOut:
            return QStringLiteral(
                "\nタイムアウトしました。\n\n接続を確認し、もう一度書き込みを行ってください。");
        case UpdateOutcome::ToolFailed:
            return QStringLiteral(
                "\nespota.exeでエラーが発生しました。\n\n接続製品とソフトを再起動してください。");
        case UpdateOutcome::Aborted:
            break;
    }
    return QStringLiteral(
        "\nファームウェア書き込みを中止しました。\n\nソフトを再起動し、もう一度書き込みを行ってください。");
}

QString ResultDiagnosis(const WriteResult& result) {
    namespace m = write_messages;
    QString text;
    if (result.ng) {
        text += QStringLiteral("%1: %2\n%3\n")
                    .arg(m::NgCodeText(*result.ng), m::NgCause(*result.ng),
                         m::NgRemedy(*result.ng, result.toolName));
    }
    return text + m::TotalTimeText(result.totalMs);
}

}  // namespace ifb
