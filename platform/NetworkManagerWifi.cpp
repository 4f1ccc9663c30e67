#include "NetworkManagerWifi.h"

#include <pwd.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include "EventWait.h"
#include "TickClock.h"

namespace ifb {
namespace {

using NmSettings = QMap<QString, QVariantMap>;

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kManagerIface = QStringLiteral("org.freedesktop.NetworkManager");
const QString kSettingsIface = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString kConnectionIface = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kDeviceIface = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kWirelessIface = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
const QString kAccessPointIface = QStringLiteral("org.freedesktop.NetworkManager.AccessPoint");
const QString kActiveIface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kNoPath = QStringLiteral("/");

// A call that does not return by then counts as a lost service.
constexpr int kCallTimeoutMs = 5000;
constexpr quint32 kStatePollMs = 200;

constexpr uint kDeviceTypeWifi = 2;
constexpr uint kDeviceStateDisconnected = 30;  // below: unmanaged or unavailable (radio off)
constexpr uint kActiveActivated = 2;
constexpr uint kActiveDeactivating = 3;
constexpr uint kActiveReasonNoSecrets = 9;
constexpr uint kActiveReasonLoginFailed = 10;
constexpr uint kDeviceReasonNoSecrets = 7;
constexpr uint kDeviceReasonSupplicantDisconnect = 8;
constexpr uint kDeviceReasonSsidNotFound = 53;

struct Reply {
    QList<QVariant> values;
    QString errorName;
    QString errorText;
    bool ok() const { return errorName.isEmpty(); }
    QString error() const { return errorName + QStringLiteral(": ") + errorText; }
};

Reply Call(QDBusConnection& bus, const QString& path, const QString& iface, const QString& method,
           const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, iface, method);
    message.setArguments(args);
    const QDBusMessage answer = bus.call(message, QDBus::Block, kCallTimeoutMs);
    if (answer.type() == QDBusMessage::ErrorMessage) return {{}, answer.errorName(), answer.errorMessage()};
    return {answer.arguments(), {}, {}};
}

std::optional<QVariant> Property(QDBusConnection& bus, const QString& path, const QString& iface,
                                 const QString& name) {
    const Reply reply = Call(bus, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                             QStringLiteral("Get"), {iface, name});
    if (!reply.ok() || reply.values.isEmpty()) return std::nullopt;
    return reply.values.first().value<QDBusVariant>().variant();
}

QList<QDBusObjectPath> Paths(const QVariant& value) {
    return qdbus_cast<QList<QDBusObjectPath>>(value);
}

QString PathOf(const std::optional<QVariant>& value) {
    return value ? value->value<QDBusObjectPath>().path() : QString();
}

QString CurrentUser() {
    if (const passwd* entry = getpwuid(geteuid())) return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

// The (state, reason) pair of a device's StateReason.
std::pair<uint, uint> StateReason(const QVariant& value) {
    uint state = 0;
    uint reason = 0;
    if (value.canConvert<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        argument.beginStructure();
        argument >> state >> reason;
        argument.endStructure();
    }
    return {state, reason};
}

}  // namespace

NetworkManagerWifi::NetworkManagerWifi(QDBusConnection bus, Options options)
    : bus_(std::move(bus)), options_(options) {
    qDBusRegisterMetaType<NmSettings>();
}

NetworkManagerWifi::~NetworkManagerWifi() = default;

bool NetworkManagerWifi::serviceRunning() {
    if (!bus_.isConnected() || !bus_.interface()) return false;
    const QDBusReply<bool> registered = bus_.interface()->isServiceRegistered(kService);
    return registered.isValid() && registered.value();
}

WifiAvailability NetworkManagerWifi::availability() {
    if (!bus_.isConnected())
        return {false, QStringLiteral("no D-Bus system bus (%1)").arg(bus_.lastError().message())};
    if (!serviceRunning()) return {false, QStringLiteral("NetworkManager is not running")};
    return {true, {}};
}

QList<NetworkManagerWifi::Device> NetworkManagerWifi::wifiDevices(QString* error) {
    QList<Device> found;
    const Reply reply = Call(bus_, kManagerPath, kManagerIface, QStringLiteral("GetDevices"));
    if (!reply.ok() || reply.values.isEmpty()) {
        *error = reply.error();
        return found;
    }
    for (const QDBusObjectPath& path : Paths(reply.values.first())) {
        const auto type = Property(bus_, path.path(), kDeviceIface, QStringLiteral("DeviceType"));
        if (!type || type->toUInt() != kDeviceTypeWifi) continue;
        const auto state = Property(bus_, path.path(), kDeviceIface, QStringLiteral("State"));
        if (!state || state->toUInt() < kDeviceStateDisconnected) continue;
        const auto name = Property(bus_, path.path(), kDeviceIface, QStringLiteral("Interface"));
        const QString active =
            PathOf(Property(bus_, path.path(), kDeviceIface, QStringLiteral("ActiveConnection")));
        found.append(
            {path.path(), name ? name->toString() : path.path(), active.isEmpty() ? kNoPath : active});
    }
    return found;
}

QList<WifiDevice> NetworkManagerWifi::devices() {
    QList<WifiDevice> out;
    QString error;
    for (const Device& device : wifiDevices(&error))
        out.append(
            {device.name, device.activePath == kNoPath ? QString() : connectionName(device.activePath)});
    return out;
}

QString NetworkManagerWifi::connectionName(const QString& activePath) {
    const auto id = Property(bus_, activePath, kActiveIface, QStringLiteral("Id"));
    return id ? id->toString() : QString();
}

QString NetworkManagerWifi::findAccessPoint(const QString& devicePath, const QByteArray& ssid) {
    const auto points = Property(bus_, devicePath, kWirelessIface, QStringLiteral("AccessPoints"));
    if (!points) return {};
    for (const QDBusObjectPath& point : Paths(*points)) {
        const auto name = Property(bus_, point.path(), kAccessPointIface, QStringLiteral("Ssid"));
        if (name && name->toByteArray() == ssid) return point.path();
    }
    return {};
}

WifiJoinResult NetworkManagerWifi::join(const WifiJoinRequest& request) {
    WifiJoinResult result;
    if (temporary_) restore();
    if (!serviceRunning()) {
        result.status = WifiStatus::NoService;
        result.detail = availability().reason;
        return result;
    }
    QString error;
    const QList<Device> candidates = wifiDevices(&error);
    if (!error.isEmpty()) {
        result.status = serviceRunning() ? WifiStatus::Failed : WifiStatus::ServiceLost;
        result.detail = error;
        return result;
    }
    if (candidates.isEmpty()) {
        result.status = WifiStatus::NoDevice;
        return result;
    }
    // A device that sees the network, one with nothing up first: the other
    // device's network then stays as it is.
    auto choose = [&]() -> std::optional<std::pair<Device, QString>> {
        std::optional<std::pair<Device, QString>> chosen;
        for (const Device& device : candidates) {
            const QString point = findAccessPoint(device.path, request.ssid);
            if (point.isEmpty()) continue;
            if (!chosen || (chosen->first.activePath != kNoPath && device.activePath == kNoPath))
                chosen = std::make_pair(device, point);
        }
        return chosen;
    };
    auto chosen = choose();
    if (!chosen) {
        for (const Device& device : candidates)
            Call(bus_, device.path, kWirelessIface, QStringLiteral("RequestScan"), {QVariantMap()});
        TickTimeout scanning;
        scanning.start();
        while (!chosen && !scanning.expired(static_cast<quint32>(options_.rescanWaitMs))) {
            if (request.stopRequested && request.stopRequested()) {
                result.status = WifiStatus::Interrupted;
                return result;
            }
            PauseWithEvents(kStatePollMs);
            if (!serviceRunning()) {
                result.status = WifiStatus::ServiceLost;
                return result;
            }
            chosen = choose();
        }
    }
    if (!chosen) {
        result.status = WifiStatus::SsidNotFound;
        return result;
    }
    const Device& device = chosen->first;
    result.device = device.name;

    Temporary temporary;
    temporary.devicePath = device.path;
    temporary.deviceName = device.name;
    temporary.name = QLatin1String(kTemporaryConnectionPrefix) + QString::fromUtf8(request.ssid);
    if (device.activePath != kNoPath) {
        temporary.previousSettingsPath =
            PathOf(Property(bus_, device.activePath, kActiveIface, QStringLiteral("Connection")));
        temporary.previousName = connectionName(device.activePath);
        result.previousConnection = temporary.previousName;
    }

    NmSettings settings;
    settings[QStringLiteral("connection")] = QVariantMap{
        {QStringLiteral("id"), temporary.name},
        {QStringLiteral("type"), QStringLiteral("802-11-wireless")},
        {QStringLiteral("autoconnect"), false},
        {QStringLiteral("permissions"), QStringList{QStringLiteral("user:") + CurrentUser()}},
    };
    settings[QStringLiteral("802-11-wireless")] = QVariantMap{
        {QStringLiteral("ssid"), request.ssid},
        {QStringLiteral("mode"), QStringLiteral("infrastructure")},
    };
    settings[QStringLiteral("802-11-wireless-security")] = QVariantMap{
        {QStringLiteral("key-mgmt"), QStringLiteral("wpa-psk")},
        {QStringLiteral("psk"), request.passphrase},
    };
    const Reply added =
        Call(bus_, kManagerPath, kManagerIface, QStringLiteral("AddAndActivateConnection"),
             {QVariant::fromValue(settings), QVariant::fromValue(QDBusObjectPath(device.path)),
              QVariant::fromValue(QDBusObjectPath(chosen->second))});
    if (!added.ok() || added.values.size() < 2) {
        result.status = serviceRunning() ? WifiStatus::Failed : WifiStatus::ServiceLost;
        result.detail = added.error();
        return result;
    }
    temporary.settingsPath = added.values.at(0).value<QDBusObjectPath>().path();
    temporary.activePath = added.values.at(1).value<QDBusObjectPath>().path();
    temporary_ = temporary;
    return waitForActivation(request, result);
}

void NetworkManagerWifi::onActiveStateChanged(uint state, uint reason) {
    signalledState_ = state;
    signalledReason_ = reason;
}

WifiJoinResult NetworkManagerWifi::waitForActivation(const WifiJoinRequest& request, WifiJoinResult result) {
    const QString activePath = temporary_->activePath;
    signalledState_.reset();
    signalledReason_ = 0;
    bus_.connect(kService, activePath, kActiveIface, QStringLiteral("StateChanged"), this,
                 SLOT(onActiveStateChanged(uint, uint)));
    TickTimeout waiting;
    waiting.start();
    for (;;) {
        const auto polled = Property(bus_, activePath, kActiveIface, QStringLiteral("State"));
        // A connection that failed may be gone before we look again.
        const uint state = polled ? polled->toUInt() : signalledState_.value_or(kActiveDeactivating + 1);
        if (state == kActiveActivated) {
            result.status = WifiStatus::Ok;
            break;
        }
        if (!polled && !serviceRunning()) {
            result.status = WifiStatus::ServiceLost;
            break;
        }
        if (state >= kActiveDeactivating) {
            const auto device = StateReason(
                Property(bus_, temporary_->devicePath, kDeviceIface, QStringLiteral("StateReason"))
                    .value_or(QVariant()));
            const uint reason = signalledReason_;
            if (reason == kActiveReasonNoSecrets || reason == kActiveReasonLoginFailed ||
                device.second == kDeviceReasonNoSecrets || device.second == kDeviceReasonSupplicantDisconnect)
                result.status = WifiStatus::AuthRefused;
            else if (device.second == kDeviceReasonSsidNotFound)
                result.status = WifiStatus::SsidNotFound;
            else
                result.status = WifiStatus::Failed;
            result.detail =
                QStringLiteral("connection reason %1, device reason %2").arg(reason).arg(device.second);
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
    bus_.disconnect(kService, activePath, kActiveIface, QStringLiteral("StateChanged"), this,
                    SLOT(onActiveStateChanged(uint, uint)));
    return result;
}

WifiRestoreReport NetworkManagerWifi::restore() {
    WifiRestoreReport report;
    if (!temporary_) return report;
    const Temporary temporary = *temporary_;
    temporary_.reset();
    report.hadTemporary = true;
    report.temporaryName = temporary.name;
    report.device = temporary.deviceName;
    report.previousConnection = temporary.previousName;
    if (!temporary.previousSettingsPath.isEmpty()) report.previous = WifiRestoreReport::Previous::Failed;
    if (!serviceRunning()) {
        report.detail = availability().reason;
        return report;
    }
    // Taking it down first lets the device settle before the old one returns;
    // a connection that already went down answers with an error we can ignore.
    Call(bus_, kManagerPath, kManagerIface, QStringLiteral("DeactivateConnection"),
         {QVariant::fromValue(QDBusObjectPath(temporary.activePath))});
    const Reply deleted = Call(bus_, temporary.settingsPath, kConnectionIface, QStringLiteral("Delete"));
    report.temporaryRemoved = deleted.ok();
    if (!deleted.ok()) report.detail = deleted.error();
    if (temporary.previousSettingsPath.isEmpty()) return report;

    const Reply listed = Call(bus_, kSettingsPath, kSettingsIface, QStringLiteral("ListConnections"));
    const QList<QDBusObjectPath> known =
        listed.ok() && !listed.values.isEmpty() ? Paths(listed.values.first()) : QList<QDBusObjectPath>();
    if (listed.ok() && !known.contains(QDBusObjectPath(temporary.previousSettingsPath))) {
        report.previous = WifiRestoreReport::Previous::Missing;
        return report;
    }
    const Reply activated = Call(bus_, kManagerPath, kManagerIface, QStringLiteral("ActivateConnection"),
                                 {QVariant::fromValue(QDBusObjectPath(temporary.previousSettingsPath)),
                                  QVariant::fromValue(QDBusObjectPath(temporary.devicePath)),
                                  QVariant::fromValue(QDBusObjectPath(kNoPath))});
    if (activated.ok()) {
        report.previous = WifiRestoreReport::Previous::Reactivated;
    } else {
        report.previous = WifiRestoreReport::Previous::Failed;
        report.detail = activated.error();
    }
    return report;
}

QStringList NetworkManagerWifi::removeLeftovers() {
    QStringList removed;
    if (!serviceRunning()) return removed;
    const Reply listed = Call(bus_, kSettingsPath, kSettingsIface, QStringLiteral("ListConnections"));
    if (!listed.ok() || listed.values.isEmpty()) return removed;
    const QString owner = QStringLiteral("user:") + CurrentUser();
    for (const QDBusObjectPath& path : Paths(listed.values.first())) {
        if (temporary_ && temporary_->settingsPath == path.path()) continue;
        const Reply got = Call(bus_, path.path(), kConnectionIface, QStringLiteral("GetSettings"));
        if (!got.ok() || got.values.isEmpty()) continue;
        const QVariantMap connection =
            qdbus_cast<NmSettings>(got.values.first()).value(QStringLiteral("connection"));
        const QString id = connection.value(QStringLiteral("id")).toString();
        const QStringList permissions =
            qdbus_cast<QStringList>(connection.value(QStringLiteral("permissions")));
        // Only what this program made for this user.
        if (!id.startsWith(QLatin1String(kTemporaryConnectionPrefix)) || !permissions.contains(owner))
            continue;
        if (Call(bus_, path.path(), kConnectionIface, QStringLiteral("Delete")).ok()) removed.append(id);
    }
    return removed;
}

}  // namespace ifb
