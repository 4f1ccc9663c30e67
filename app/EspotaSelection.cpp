#include "EspotaSelection.h"

#include <QFileInfo>

#include "MessageBox.h"
#include "Operator.h"

namespace ifb {

bool IsToolFile(const QString& path) {
    // isFile follows links and is true for regular files only.
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool IsAcceptedEspotaPath(const QString& path) {
    if (!IsToolFile(path)) return false;
#ifdef Q_OS_WIN
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1);
    return name.compare(QLatin1String("espota.exe"), Qt::CaseInsensitive) == 0;
#else
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return name.compare(QLatin1String("espota.py"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("espota"), Qt::CaseInsensitive) == 0;
#endif
}

bool SelectEspota(Operator& op, QString& appEspOta, bool askGiveUp) {
    QString field = appEspOta;
    for (;;) {
        const std::optional<QString> chosen = op.runEspotaDialog(field);
        if (chosen) {
            if (IsAcceptedEspotaPath(*chosen)) {
                appEspOta = *chosen;
                return true;
            }
            field.clear();
            showMessage(
                QStringLiteral("有効なファイルパスではありません。\n\n「espota.exe」を再選択してください。"),
                std::nullopt, MsgIcon::None, MsgButtons::Ok, MsgOwner::MainWindow);
            continue;
        }
        if (!askGiveUp) return false;
        const MsgAnswer giveUp =
            showMessage(QStringLiteral("ファームウェア書き込みは完了していません。\n中止しますか。"),
                        QStringLiteral("ファームウェア書き込みの中止"), MsgIcon::Question, MsgButtons::YesNo,
                        MsgOwner::MainWindow);
        if (giveUp == MsgAnswer::Yes) return false;
    }
}

}  // namespace ifb
