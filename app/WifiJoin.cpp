#include "WifiJoin.h"

#include "LogSink.h"
#include "WifiMessages.h"

namespace ifb {
namespace {

constexpr int kMaxSsidBytes = 32;
constexpr qsizetype kMinPassphrase = 8;
constexpr qsizetype kMaxPassphrase = 63;
constexpr qsizetype kHexKeyLength = 64;

bool PrintableAscii(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e) return false;
    return true;
}

bool HexDigits(const QString& text) {
    for (const QChar c : text)
        if (!c.isDigit() && !(c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            return false;
    return true;
}

}  // namespace

std::optional<QString> CheckJoinValues(const QByteArray& ssid, const QString& passphrase) {
    if (ssid.isEmpty()) return wifi_messages::NoSsid();
    if (ssid.size() > kMaxSsidBytes) return wifi_messages::SsidTooLong();
    if (passphrase.isEmpty()) return wifi_messages::PassphraseEmpty();
    const bool passPhrase = passphrase.size() >= kMinPassphrase && passphrase.size() <= kMaxPassphrase &&
                            PrintableAscii(passphrase);
    const bool hexKey = passphrase.size() == kHexKeyLength && HexDigits(passphrase);
    if (!passPhrase && !hexKey) return wifi_messages::PassphraseInvalid();
    return std::nullopt;
}

WifiJoin::WifiJoin(Factory factory) : factory_(std::move(factory)) {}

// A run that ends without the update's own ends still leaves the PC as it was.
WifiJoin::~WifiJoin() {
    if (control_ && control_->hasTemporary()) control_->restore();
}

WifiControl& WifiJoin::control() {
    if (!control_) control_ = factory_();
    return *control_;
}

void WifiJoin::start(const QString& settingsPath, LogSink& log) {
    settings_ = ReadWifiSettings(settingsPath);
    if (!control().availability().available) return;
    for (const QString& name : control().removeLeftovers())
        log.WriteLog(wifi_messages::LogLeftoverRemoved(name), true);
}

void WifiJoin::offer(JoinInstruction& instruction, const QByteArray& ssid, const QString& passphrase,
                     LogSink& log) {
    if (!control().availability().available) {
        instruction.autoJoinMissing = wifi_messages::StatusText(WifiStatus::NoService, QString(), QString());
        return;
    }
    instruction.joiningText = wifi_messages::Joining(QString::fromUtf8(ssid));
    instruction.joinAtOnce = settings_.AutoJoin;
    instruction.offerButton = settings_.AutoJoinButton || settings_.AutoJoin;
    instruction.autoJoin = [this, ssid, passphrase, &log](const std::function<bool()>& stop) {
        return join(ssid, passphrase, stop, log);
    };
}

AutoJoinResult WifiJoin::join(const QByteArray& ssid, const QString& passphrase,
                              const std::function<bool()>& stop, LogSink& log) {
    const QString name = QString::fromUtf8(ssid);
    if (const std::optional<QString> refused = CheckJoinValues(ssid, passphrase)) {
        log.WriteLog(wifi_messages::LogJoinFailed(*refused), true);
        return {false, wifi_messages::JoinFailed(*refused)};
    }
    const WifiJoinResult result = control().join({ssid, passphrase, settings_.JoinWaitMs, stop});
    if (result.status == WifiStatus::Ok) {
        log.WriteLog(wifi_messages::LogJoined(name, result.device, result.previousConnection), true);
        return {true, wifi_messages::Joined(name, result.device)};
    }
    const QString cause = wifi_messages::StatusText(result.status, name, result.detail);
    log.WriteLog(wifi_messages::LogJoinFailed(
                     cause + (result.detail.isEmpty() ? QString() : QStringLiteral(" ") + result.detail)),
                 true);
    // The manual way starts from the PC's own network.
    goBack(log);
    return {false, wifi_messages::JoinFailed(cause)};
}

void WifiJoin::goBack(LogSink& log) {
    if (!control_ || !control_->hasTemporary()) return;
    const WifiRestoreReport report = control_->restore();
    if (report.temporaryRemoved)
        log.WriteLog(wifi_messages::LogTemporaryRemoved(report.temporaryName), true);
    else
        log.WriteLog(wifi_messages::LogTemporaryNotRemoved(report.temporaryName, report.detail), true);
    switch (report.previous) {
        case WifiRestoreReport::Previous::None:
            log.WriteLog(wifi_messages::LogNoPrevious(report.device), true);
            break;
        case WifiRestoreReport::Previous::Reactivated:
            log.WriteLog(wifi_messages::LogPreviousBack(report.device, report.previousConnection), true);
            break;
        case WifiRestoreReport::Previous::Missing:
            log.WriteLog(wifi_messages::LogPreviousMissing(report.previousConnection), true);
            break;
        case WifiRestoreReport::Previous::Failed:
            log.WriteLog(wifi_messages::LogPreviousFailed(report.previousConnection, report.detail), true);
            break;
    }
}

}  // namespace ifb
