#include "WindowsWlanWifi.h"

// clang-format off
#include <windows.h>
#include <wlanapi.h>
// clang-format on

#include <cstring>

#include "EventWait.h"
#include "TickClock.h"

namespace ifb {
namespace {

constexpr quint32 kStatePollMs = 200;
constexpr quint32 kScanWaitMs = 4000;

// The WLAN service's reason for a failed attempt, as far as the SDK's headers
// name the ranges (MinGW's do not name every code).
WifiStatus StatusOfReason(DWORD code) {
#if defined(WLAN_REASON_CODE_MSMSEC_MIN) && defined(WLAN_REASON_CODE_MSMSEC_MAX)
    // Security negotiation: with a pre-shared key, the key was refused.
    if (code >= WLAN_REASON_CODE_MSMSEC_MIN && code <= WLAN_REASON_CODE_MSMSEC_MAX)
        return WifiStatus::AuthRefused;
#endif
#ifdef WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE
    if (code == WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE) return WifiStatus::SsidNotFound;
#endif
    return code == WLAN_REASON_CODE_SUCCESS ? WifiStatus::Ok : WifiStatus::Failed;
}

HANDLE Handle(void* handle) {
    return static_cast<HANDLE>(handle);
}

GUID GuidOf(const QByteArray& bytes) {
    GUID guid{};
    memcpy(&guid, bytes.constData(), sizeof guid);
    return guid;
}

QByteArray BytesOf(const GUID& guid) {
    return QByteArray(reinterpret_cast<const char*>(&guid), sizeof guid);
}

QString SystemText(DWORD code) {
    wchar_t text[512] = {};
    WlanReasonCodeToString(code, 512, text, nullptr);
    return QStringLiteral("%1 (%2)").arg(QString::fromWCharArray(text)).arg(code);
}

QString XmlEscaped(const QString& text) {
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QStringLiteral("&apos;"));
}

// A WPA2-Personal profile that connects only when asked (connectionMode manual).
QString ProfileXml(const QString& name, const QByteArray& ssid, const QString& passphrase) {
    const bool hexKey = passphrase.size() == 64;
    return QStringLiteral(
               "<?xml version=\"1.0\"?>"
               "<WLANProfile xmlns=\"http://www.microsoft.com/networking/WLAN/profile/v1\">"
               "<name>%1</name>"
               "<SSIDConfig><SSID><hex>%2</hex></SSID></SSIDConfig>"
               "<connectionType>ESS</connectionType><connectionMode>manual</connectionMode>"
               "<MSM><security><authEncryption><authentication>WPA2PSK</authentication>"
               "<encryption>AES</encryption><useOneX>false</useOneX></authEncryption>"
               "<sharedKey><keyType>%3</keyType><protected>false</protected>"
               "<keyMaterial>%4</keyMaterial></sharedKey></security></MSM>"
               "</WLANProfile>")
        .arg(XmlEscaped(name), QString::fromLatin1(ssid.toHex().toUpper()),
             hexKey ? QStringLiteral("networkKey") : QStringLiteral("passPhrase"), XmlEscaped(passphrase));
}

void WINAPI OnWlanNotification(PWLAN_NOTIFICATION_DATA data, PVOID context) {
    static_cast<WindowsWlanWifi*>(context)->onNotification(data);
}

struct Interface {
    GUID guid;
    QString name;
    WLAN_INTERFACE_STATE state;
};

QList<Interface> Interfaces(HANDLE handle) {
    QList<Interface> out;
    PWLAN_INTERFACE_INFO_LIST list = nullptr;
    if (WlanEnumInterfaces(handle, nullptr, &list) != ERROR_SUCCESS) return out;
    for (DWORD i = 0; i < list->dwNumberOfItems; ++i) {
        const WLAN_INTERFACE_INFO& info = list->InterfaceInfo[i];
        out.append({info.InterfaceGuid, QString::fromWCharArray(info.strInterfaceDescription), info.isState});
    }
    WlanFreeMemory(list);
    return out;
}

// The profile the interface is connected with; empty when not connected.
QString CurrentProfile(HANDLE handle, const GUID& guid) {
    DWORD size = 0;
    PWLAN_CONNECTION_ATTRIBUTES attributes = nullptr;
    if (WlanQueryInterface(handle, &guid, wlan_intf_opcode_current_connection, nullptr, &size,
                           reinterpret_cast<PVOID*>(&attributes), nullptr) != ERROR_SUCCESS)
        return {};
    QString name;
    if (attributes->isState == wlan_interface_state_connected)
        name = QString::fromWCharArray(attributes->strProfileName);
    WlanFreeMemory(attributes);
    return name;
}

bool SeesNetwork(HANDLE handle, const GUID& guid, const QByteArray& ssid) {
    PWLAN_AVAILABLE_NETWORK_LIST networks = nullptr;
    if (WlanGetAvailableNetworkList(handle, &guid, 0, nullptr, &networks) != ERROR_SUCCESS) return false;
    bool seen = false;
    for (DWORD i = 0; i < networks->dwNumberOfItems && !seen; ++i) {
        const DOT11_SSID& s = networks->Network[i].dot11Ssid;
        seen = QByteArray(reinterpret_cast<const char*>(s.ucSSID), static_cast<int>(s.uSSIDLength)) == ssid;
    }
    WlanFreeMemory(networks);
    return seen;
}

bool Connect(HANDLE handle, const GUID& guid, const QString& profile, DWORD* error) {
    const std::wstring name = profile.toStdWString();
    WLAN_CONNECTION_PARAMETERS parameters{};
    parameters.wlanConnectionMode = wlan_connection_mode_profile;
    parameters.strProfile = name.c_str();
    parameters.dot11BssType = dot11_BSS_type_infrastructure;
    *error = WlanConnect(handle, &guid, &parameters, nullptr);
    return *error == ERROR_SUCCESS;
}

}  // namespace

WindowsWlanWifi::WindowsWlanWifi() {
    DWORD version = 0;
    HANDLE handle = nullptr;
    openError_ = WlanOpenHandle(2, nullptr, &version, &handle);
    if (openError_ != ERROR_SUCCESS) return;
    handle_ = handle;
    WlanRegisterNotification(handle, WLAN_NOTIFICATION_SOURCE_ACM, TRUE, OnWlanNotification, this, nullptr,
                             nullptr);
}

WindowsWlanWifi::~WindowsWlanWifi() {
    if (!handle_) return;
    WlanRegisterNotification(Handle(handle_), WLAN_NOTIFICATION_SOURCE_NONE, TRUE, nullptr, nullptr, nullptr,
                             nullptr);
    WlanCloseHandle(Handle(handle_), nullptr);
}

void WindowsWlanWifi::onNotification(const void* data) {
    const auto* notification = static_cast<const WLAN_NOTIFICATION_DATA*>(data);
    if (notification->NotificationCode != wlan_notification_acm_connection_complete &&
        notification->NotificationCode != wlan_notification_acm_connection_attempt_fail)
        return;
    const auto* connection = static_cast<const WLAN_CONNECTION_NOTIFICATION_DATA*>(notification->pData);
    const std::lock_guard<std::mutex> lock(attemptMutex_);
    if (QString::fromWCharArray(connection->strProfileName) != attemptProfile_) return;
    attemptReason_ = connection->wlanReasonCode;
    attemptDone_ = true;
}

WifiAvailability WindowsWlanWifi::availability() {
    if (!handle_) return {false, QStringLiteral("WLAN AutoConfig is not available (%1)").arg(openError_)};
    return {true, {}};
}

QList<WifiDevice> WindowsWlanWifi::devices() {
    QList<WifiDevice> out;
    if (!handle_) return out;
    for (const Interface& i : Interfaces(Handle(handle_)))
        out.append({i.name, CurrentProfile(Handle(handle_), i.guid)});
    return out;
}

WifiJoinResult WindowsWlanWifi::join(const WifiJoinRequest& request) {
    WifiJoinResult result;
    if (temporary_) restore();
    if (!handle_) {
        result.status = WifiStatus::NoService;
        result.detail = availability().reason;
        return result;
    }
    const HANDLE handle = Handle(handle_);
    const QList<Interface> interfaces = Interfaces(handle);
    if (interfaces.isEmpty()) {
        result.status = WifiStatus::NoDevice;
        return result;
    }
    auto choose = [&]() -> std::optional<Interface> {
        std::optional<Interface> chosen;
        for (const Interface& i : interfaces) {
            if (!SeesNetwork(handle, i.guid, request.ssid)) continue;
            if (!chosen || (chosen->state == wlan_interface_state_connected &&
                            i.state != wlan_interface_state_connected))
                chosen = i;
        }
        return chosen;
    };
    std::optional<Interface> chosen = choose();
    if (!chosen) {
        for (const Interface& i : interfaces) WlanScan(handle, &i.guid, nullptr, nullptr, nullptr);
        TickTimeout scanning;
        scanning.start();
        while (!chosen && !scanning.expired(kScanWaitMs)) {
            PauseWithEvents(kStatePollMs);
            chosen = choose();
        }
    }
    if (!chosen) {
        result.status = WifiStatus::SsidNotFound;
        return result;
    }
    result.device = chosen->name;
    Temporary temporary{BytesOf(chosen->guid), chosen->name,
                        QLatin1String(kTemporaryConnectionPrefix) + QString::fromUtf8(request.ssid),
                        CurrentProfile(handle, chosen->guid)};
    result.previousConnection = temporary.previousProfile;

    const std::wstring xml =
        ProfileXml(temporary.profileName, request.ssid, request.passphrase).toStdWString();
    DWORD reason = 0;
    DWORD error = WlanSetProfile(handle, &chosen->guid, WLAN_PROFILE_USER, xml.c_str(), nullptr, TRUE,
                                 nullptr, &reason);
    if (error != ERROR_SUCCESS) {
        result.detail = SystemText(reason);
        return result;
    }
    temporary_ = temporary;
    {
        const std::lock_guard<std::mutex> lock(attemptMutex_);
        attemptProfile_ = temporary.profileName;
        attemptDone_ = false;
    }
    if (!Connect(handle, chosen->guid, temporary.profileName, &error)) {
        result.detail = QStringLiteral("WlanConnect %1").arg(error);
        return result;
    }
    TickTimeout waiting;
    waiting.start();
    for (;;) {
        if (attemptDone_) {
            const DWORD code = attemptReason_;
            result.status = StatusOfReason(code);
            if (result.status != WifiStatus::Ok) result.detail = SystemText(code);
            break;
        }
        if (request.stopRequested && request.stopRequested()) {
            result.status = WifiStatus::Interrupted;
            break;
        }
        if (waiting.expired(static_cast<quint32>(request.timeoutMs))) {
            result.status = WifiStatus::TimedOut;
            break;
        }
        PauseWithEvents(kStatePollMs);
    }
    const std::lock_guard<std::mutex> lock(attemptMutex_);
    attemptProfile_.clear();
    return result;
}

WifiRestoreReport WindowsWlanWifi::restore() {
    WifiRestoreReport report;
    if (!temporary_ || !handle_) return report;
    const Temporary temporary = *temporary_;
    temporary_.reset();
    const HANDLE handle = Handle(handle_);
    const GUID guid = GuidOf(temporary.interfaceGuid);
    report.hadTemporary = true;
    report.temporaryName = temporary.profileName;
    report.device = temporary.deviceName;
    report.previousConnection = temporary.previousProfile;
    WlanDisconnect(handle, &guid, nullptr);
    const std::wstring name = temporary.profileName.toStdWString();
    const DWORD deleted = WlanDeleteProfile(handle, &guid, name.c_str(), nullptr);
    report.temporaryRemoved = deleted == ERROR_SUCCESS || deleted == ERROR_NOT_FOUND;
    if (!report.temporaryRemoved) report.detail = QStringLiteral("WlanDeleteProfile %1").arg(deleted);
    if (temporary.previousProfile.isEmpty()) return report;

    const std::wstring previous = temporary.previousProfile.toStdWString();
    LPWSTR xml = nullptr;
    const DWORD found = WlanGetProfile(handle, &guid, previous.c_str(), nullptr, &xml, nullptr, nullptr);
    if (xml) WlanFreeMemory(xml);
    if (found == ERROR_NOT_FOUND) {
        report.previous = WifiRestoreReport::Previous::Missing;
        return report;
    }
    DWORD error = 0;
    if (Connect(handle, guid, temporary.previousProfile, &error)) {
        report.previous = WifiRestoreReport::Previous::Reactivated;
    } else {
        report.previous = WifiRestoreReport::Previous::Failed;
        report.detail = QStringLiteral("WlanConnect %1").arg(error);
    }
    return report;
}

QStringList WindowsWlanWifi::removeLeftovers() {
    QStringList removed;
    if (!handle_) return removed;
    const HANDLE handle = Handle(handle_);
    for (const Interface& i : Interfaces(handle)) {
        PWLAN_PROFILE_INFO_LIST profiles = nullptr;
        if (WlanGetProfileList(handle, &i.guid, nullptr, &profiles) != ERROR_SUCCESS) continue;
        for (DWORD p = 0; p < profiles->dwNumberOfItems; ++p) {
            const QString name = QString::fromWCharArray(profiles->ProfileInfo[p].strProfileName);
            if (!name.startsWith(QLatin1String(kTemporaryConnectionPrefix))) continue;
            if (temporary_ && temporary_->profileName == name) continue;
            if (WlanDeleteProfile(handle, &i.guid, profiles->ProfileInfo[p].strProfileName, nullptr) ==
                ERROR_SUCCESS)
                removed.append(name);
        }
        WlanFreeMemory(profiles);
    }
    return removed;
}

}  // namespace ifb
