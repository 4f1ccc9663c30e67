#include "WriteMessages.h"

#include <cmath>

namespace ifb::write_messages {

namespace {

struct NgEntry {
    const char* code;
    const char* cause;
    const char* remedy;  // %1: the upload tool's file name
};

// Indexed by NgCode.
const NgEntry kNgTable[] = {
    {"NG-W01", "ボードがPCの接続を確認できませんでした。",
     "PCをボードのWi-Fiに接続してから、もう一度書き込んでください。"},
    {"NG-W02", "PCのアドレスがボードのネットワークにありません。",
     "ボードのWi-Fiに接続し、アドレスが割り当てられてから書き込んでください。"},
    {"NG-F01", "ファームウェアファイルを作成できませんでした。",
     "書き込み先フォルダの空き容量と書き込み権限を確認してください。"},
    {"NG-U01", "ボードが書換ツールの呼びかけに応答しませんでした。",
     "PCがボードのWi-Fiに接続しているか確認し、もう一度書き込んでください。"},
    {"NG-U02", "認証に失敗しました。", "OTAパスワードがボードと一致しているか確認してください。"},
    {"NG-U03", "ボードからPCへ接続できませんでした（PCのファイアウォール）。",
     "ファイアウォールで %1 の受信を許可し、ネットワークをプライベートにしてください。"},
    {"NG-U04", "転送が途中で切れました。", "ボードに近い、電波の良い場所でもう一度書き込んでください。"},
    {"NG-U05", "書換ツールを起動できませんでした。",
     "書換ツールのパス（App_ESPOta）と実行権限を確認してください。"},
    {"NG-U06", "書換ツールの出力にエラーがありました。",
     "ボードとソフトを再起動し、もう一度書き込んでください。"},
    {"NG-B01", "ボードがファームウェアを受け付けませんでした。",
     "ソフトを再起動し、もう一度書き込んでください。"},
    {"NG-B02", "ボードの書き込み結果が時間内に届きませんでした。",
     "接続を確認し、もう一度書き込んでください。"},
    {"NG-B03", "書き込み後のバージョンが一致しないか、読めませんでした。",
     "ボードを再起動してバージョンを確認し、もう一度書き込んでください。"},
};

const char* const kStageNames[] = {
    "アクセスポイント情報",
    "OTAモード切替",
    "Wi-Fi接続待ち",
    "事前確認",
    "書換ツール起動",
    "招待",
    "認証",
    "転送",
    "ボード検証",
    "再起動・バージョン確認",
    "動作モード復帰",
};

const NgEntry& entry(NgCode code) {
    return kNgTable[static_cast<int>(code)];
}

}  // namespace

QString StageName(UpdateStage stage) {
    return QString::fromUtf8(kStageNames[static_cast<int>(stage)]);
}

QString NgCodeText(NgCode code) {
    return QString::fromLatin1(entry(code).code);
}

QString NgCause(NgCode code) {
    return QString::fromUtf8(entry(code).cause);
}

QString NgRemedy(NgCode code, const QString& toolName) {
    const QString remedy = QString::fromUtf8(entry(code).remedy);
    return remedy.contains(QLatin1String("%1")) ? remedy.arg(toolName) : remedy;
}

QString NgLogLine(NgCode code, const QString& toolName) {
    return QStringLiteral("%1: %2%3").arg(NgCodeText(code), NgCause(code), NgRemedy(code, toolName));
}

QString StageLogLine(UpdateStage stage, qint64 ms) {
    return QStringLiteral("工程 %1: %2ms").arg(StageName(stage)).arg(ms);
}

QString TotalTimeText(qint64 ms) {
    return QStringLiteral("所要時間: %1秒").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
}

QString TransferDetail(qint64 sentBytes, qint64 totalBytes, double bytesPerSecond) {
    QString text = QStringLiteral("%1 / %2 KB").arg(sentBytes / 1024).arg(totalBytes / 1024);
    if (bytesPerSecond > 0) {
        text += QStringLiteral("  %1 kB/s").arg(bytesPerSecond / 1000.0, 0, 'f', 0);
        const auto left = static_cast<double>(qMax<qint64>(0, totalBytes - sentBytes));
        text += QStringLiteral("  残り %1秒").arg(std::llround(left / bytesPerSecond));
    }
    return text;
}

QString WaitDetail(qint64 waitedMs, qint64 limitMs) {
    return QStringLiteral("%1 / %2秒").arg(waitedMs / 1000).arg(limitMs / 1000);
}

QString PreflightPcAddress(const QString& address, int prefixLength, const QString& adapter) {
    return QStringLiteral("事前確認: PCのアドレス %1/%2 (%3)").arg(address).arg(prefixLength).arg(adapter);
}

QString PreflightNotInNetwork(const QString& boardAddress) {
    return QStringLiteral("事前確認: ボード %1 のネットワークにPCのアドレスがありません。").arg(boardAddress);
}

QString PreflightSecondAdapter(const QString& adapter, const QString& address) {
    return QStringLiteral("事前確認: 警告 %1 (%2) もボードのネットワークにあります。").arg(adapter, address);
}

QString PreflightCannotListen(const QString& address, const QString& error) {
    return QStringLiteral("事前確認: 警告 %1 で受信ポートを開けません: %2").arg(address, error);
}

QString PreflightNoAdapterList() {
    return QStringLiteral("事前確認: アダプター一覧を読めないため省略します。");
}

}  // namespace ifb::write_messages
