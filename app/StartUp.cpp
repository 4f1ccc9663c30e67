#include "StartUp.h"

#include <QDir>

#include "EspotaSelection.h"
#include "InstallMessages.h"
#include "MessageBox.h"
#include "SerialTypes.h"
#include "TTComXDlg.h"

namespace ifb {
namespace {

const QString kBoardNotFound = QStringLiteral(
    "I/Fボードの接続を確認できませんでした。\n\n接続と設定の確認およびソフトと接続製品を再起動してください。");
const QString kCheckConnection = QStringLiteral("接続の確認およびソフトと接続製品を再起動してください。");
const QString kFirmwareFault = QStringLiteral("ファームウェアの異常を検出しました。\n\n");

// Any byte of the narrow form above 0x80 means a character a shell or an
// old tool may not take.
bool IsPlainPath(const QString& path) {
    for (char c : path.toLocal8Bit()) {
        if (static_cast<unsigned char>(c) > 0x80) return false;
    }
    return true;
}

}  // namespace

bool ModelAccepted(const QString& model, int selectModel) {
    if (selectModel == 0) return model.contains(QLatin1String("PL-RZ42"));
    if (selectModel == 1) return model.contains(QLatin1String("PL-RZ41"));
    return true;
}

StartupResult StartUp::stop(StartupResult why) {
    c_.op.requestClose();
    return why;
}

void StartUp::logPlaces() {
    const ProgramPlaces& places = c_.session.places;
    if (!places.userFolders) return;
    if (!places.programFolderError.isEmpty())
        c_.WriteLog(install_messages::ProgramFolderNotWritable(places.programFolderError), true);
    c_.WriteLog(install_messages::SettingsInUserFolder(places.settingsPath()), true);
    if (!places.adoptedFrom.isEmpty())
        c_.WriteLog(install_messages::SettingsAdopted(places.adoptedFrom), true);
    if (!places.settingsFolderError.isEmpty())
        c_.WriteLog(install_messages::SettingsFolderNotWritable(places.settingsFolderError), true);
    if (c_.session.program.binPath_Mode == 1)
        c_.WriteLog(install_messages::FirmwareInUserFolder(places.firmwareFolder), true);
}

void StartUp::recordRefusal() {
    UpdateFacts facts = c_.boardFacts();
    facts.startedAt = startedAt_;
    facts.durationMs = stopwatch_.elapsed();
    facts.outcome = QStringLiteral("refused");
    c_.records.commit(facts);
}

StartupResult StartUp::run() {
    Session& s = c_.session;
    logPlaces();
    startedAt_ = QDateTime::currentDateTimeUtc();
    stopwatch_.start();
    for (const QString& notice : TimeoutNotices(s.option, s.program)) c_.WriteLog(notice, true);
    const QString shownPath = QDir::toNativeSeparators(s.exePath);
    if (!IsPlainPath(shownPath)) {
        showMessage(
            shownPath + QStringLiteral(
                            "\n\n上記のアップデートツール実行パスに\n半角英数字以外の文字が含まれています。\n"
                            "有効なパスにツールを移動してから再度実行してください。"),
            QStringLiteral("実行パスのエラー"), MsgIcon::Error);
        return stop(StartupResult::PathCheckFailed);
    }
    if (!discovery_.FindBoard()) {
        showMessage(kBoardNotFound, std::nullopt, MsgIcon::Error);
        return stop(StartupResult::BoardNotFound);
    }
    const SerialLine line = c_.board.link()->serialLine();
    c_.WriteLog(QStringLiteral("COM Port : ") + line.port, false);
    c_.WriteLog(QStringLiteral("COM Speed: ") + BaudRateToStr(line.baudRate) + QStringLiteral("bps"), false);

    const StartupResult records = readBoardRecords();
    if (records != StartupResult::Ready) return stop(records);

    if (!IsToolFile(s.option.App_ESPOta) && !SelectEspota(c_.op, s.option.App_ESPOta, true)) {
        return stop(StartupResult::EspotaNotChosen);
    }
    c_.op.showEspotaPath(s.option.App_ESPOta);
    c_.op.showFirmwareVersion(QStringLiteral("Ver : ") + s.FirmwareId);
    return StartupResult::Ready;
}

StartupResult StartUp::takeBoardRecords() {
    startedAt_ = QDateTime::currentDateTimeUtc();
    stopwatch_.start();
    return readBoardRecords();
}

StartupResult StartUp::readBoardRecords() {
    Session& s = c_.session;
    BoardCommands& commands = c_.board.commands();
    s.RomVersion.clear();
    if (!commands.GetRomVersion(s.RomVersion)) {
        c_.WriteLog(QStringLiteral("IFB-ROMVer : 取得失敗"), true);
        recordRefusal();
        showMessage(kFirmwareFault + kCheckConnection, std::nullopt, MsgIcon::Error);
        return StartupResult::RomVersionFailed;
    }
    c_.WriteLog(QStringLiteral("IFB-ROMVer : ") + s.RomVersion, true);

    if (!commands.GetModelName(s.ModelName)) {
        c_.WriteLog(QStringLiteral("IFB-ModelName : 取得失敗"), true);
        recordRefusal();
        showMessage(QStringLiteral("モデル名を認識できませんでした。\n\n") + kCheckConnection, std::nullopt,
                    MsgIcon::Error);
        return StartupResult::ModelNameFailed;
    }
    c_.WriteLog(QStringLiteral("IFB-ModelName : ") + s.ModelName, true);
    if (!ModelAccepted(s.ModelName, s.option.SelectModel)) {
        recordRefusal();
        showMessage(
            QStringLiteral("対応外のI/Fボードです。\n\nお使いのI/Fボード対応のツールをお使いください。"),
            QStringLiteral("エラー"), MsgIcon::Error);
        return StartupResult::ModelRejected;
    }

    s.TargetId.clear();
    if (!commands.GetTargetId(&s.TargetId)) {
        recordRefusal();
        showMessage(kFirmwareFault + kCheckConnection, std::nullopt, MsgIcon::Error);
        return StartupResult::TargetIdFailed;
    }
    return StartupResult::Ready;
}

}  // namespace ifb
