#include "NmMock.h"

#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>

namespace ifb::test {
namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kManager = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kSettings = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kMockIface = QStringLiteral("org.freedesktop.DBus.Mock");

// Children die with the test process, also when it crashes.
void DieWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

QString Python() {
    // dbusmock is a Debian package: the system's interpreter has it.
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                 : QStringLiteral("python3");
}

// NetworkManager's AddAndActivateConnection as the tests need it: the saved
// connection keeps exactly the settings it was given, and the activation
// ends as the test chose ({STATE} and the refusal timer).
const char kAddAndActivate[] = R"(
import dbus, dbusmock
from gi.repository import GLib
s = dbusmock.get_object('/org/freedesktop/NetworkManager/Settings')
conn = s.SettingsAddConnection(args[0])
n = len(self.Get('org.freedesktop.NetworkManager', 'ActiveConnections'))
ac = self.AddActiveConnection([args[1]], conn, args[2], 'Temp%d' % n, dbus.UInt32({STATE}))
if {REFUSE}:
    env = {'dbus': dbus, 'dbusmock': dbusmock, 'args': [ac, args[1]]}
    GLib.timeout_add(300, lambda code=REFUSE, env=env: exec(code, env))
ret = (dbus.ObjectPath(conn), dbus.ObjectPath(ac))
)";

// The active connection goes down as NetworkManager reports a refused key.
const char kRefuse[] = R"(
o = dbusmock.get_object(args[0])
o.Set('org.freedesktop.NetworkManager.Connection.Active', 'State', dbus.UInt32(4))
o.EmitSignal('org.freedesktop.NetworkManager.Connection.Active', 'StateChanged', 'uu', [dbus.UInt32(4), dbus.UInt32(9)])
d = dbusmock.get_object(args[1])
d.Set('org.freedesktop.NetworkManager.Device', 'StateReason', dbus.Struct((dbus.UInt32(120), dbus.UInt32(7)), signature='uu'))
)";

// Takes down only the connection's own devices (the template's version
// disconnects every device).
const char kDeactivate[] = R"(
import dbusmock
o = dbusmock.get_object(args[0])
for d in o.Get('org.freedesktop.NetworkManager.Connection.Active', 'Devices'):
    self.RemoveActiveConnection(d, args[0])
)";

QDBusMessage Call(const QString& path, const QString& iface, const QString& method,
                  const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, iface, method);
    message.setArguments(args);
    return NmMock::bus().call(message, QDBus::Block, 10000);
}

QVariant Property(const QString& path, const QString& iface, const QString& name) {
    const QDBusMessage reply =
        Call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {iface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

}  // namespace

QString CurrentUserPermission() {
    const passwd* entry = getpwuid(geteuid());
    return QStringLiteral("user:") +
           (entry ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER"));
}

QString NmMock::busAddress() {
    static QTemporaryDir folder;
    static const QString address = [] {
        // Lives as long as the test process (and dies with it).
        static QProcess* daemon = new QProcess;
        daemon->setChildProcessModifier(DieWithParent);
        daemon->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString socket =
            QStringLiteral("unix:path=") + folder.filePath(QStringLiteral("system_bus_socket"));
        daemon->start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                       QStringLiteral("--print-address=1"), QStringLiteral("--address=") + socket});
        if (!daemon->waitForStarted(5000)) return QString();
        QByteArray line;
        QElapsedTimer clock;
        clock.start();
        while (!line.contains('\n') && clock.elapsed() < 5000 && daemon->waitForReadyRead(100))
            line += daemon->readAllStandardOutput();
        const QString printed = QString::fromUtf8(line).trimmed();
        if (printed.isEmpty()) return QString();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", printed.toUtf8());
        return printed;
    }();
    return address;
}

NmMock::NmMock() {
    qDBusRegisterMetaType<QMap<QString, QVariantMap>>();
    busAddress();
}

NmMock::~NmMock() {
    kill();
}

bool NmMock::start(Activation activation) {
    if (busAddress().isEmpty()) {
        error_ = QStringLiteral("dbus-daemon did not start (package dbus-daemon)");
        return false;
    }
    process_.setChildProcessModifier(DieWithParent);
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(Python(), {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                              QStringLiteral("--template"), QStringLiteral("networkmanager"),
                              QStringLiteral("-l"), dir_.filePath(QStringLiteral("calls.log"))});
    if (!process_.waitForStarted(5000)) {
        error_ = QStringLiteral("python3 -m dbusmock did not start (package python3-dbusmock)");
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (!bus().interface()->isServiceRegistered(kService).value()) {
        if (process_.state() != QProcess::Running || clock.elapsed() > 15000) {
            error_ = QStringLiteral(
                "dbusmock's networkmanager template did not come up (package python3-dbusmock)");
            return false;
        }
        QThread::msleep(50);
    }
    QString code = QString::fromLatin1(kAddAndActivate);
    code.replace(QStringLiteral("{STATE}"),
                 activation == Activation::Succeeds ? QStringLiteral("2") : QStringLiteral("1"));
    code.prepend(
        QStringLiteral("REFUSE = %1%2%1\n").arg(QStringLiteral("'''"), QString::fromLatin1(kRefuse)));
    code.replace(QStringLiteral("{REFUSE}"),
                 activation == Activation::AuthRefused ? QStringLiteral("True") : QStringLiteral("False"));
    mockCall(kManager, QStringLiteral("AddMethod"),
             {kService, QStringLiteral("AddAndActivateConnection"), QStringLiteral("a{sa{sv}}oo"),
              QStringLiteral("oo"), code});
    mockCall(kManager, QStringLiteral("AddMethod"),
             {kService, QStringLiteral("DeactivateConnection"), QStringLiteral("o"), QString(),
              QString::fromLatin1(kDeactivate)});
    return error_.isEmpty();
}

void NmMock::kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(5000);
    // The bus notices the name is gone a moment later.
    QElapsedTimer clock;
    clock.start();
    while (bus().interface()->isServiceRegistered(kService).value() && clock.elapsed() < 5000)
        QThread::msleep(20);
}

QString NmMock::mockCall(const QString& path, const QString& method, const QVariantList& args) {
    const QDBusMessage reply = Call(path, kMockIface, method, args);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        error_ = method + QStringLiteral(": ") + reply.errorMessage();
        return {};
    }
    return reply.arguments().isEmpty() ? QString() : reply.arguments().first().toString();
}

QString NmMock::addWifiDevice(const QString& name, int state) {
    return mockCall(kManager, QStringLiteral("AddWiFiDevice"), {name, name, state});
}

QString NmMock::addEthernetDevice(const QString& name) {
    return mockCall(kManager, QStringLiteral("AddEthernetDevice"), {name, name, kActivated});
}

QString NmMock::addAccessPoint(const QString& device, const QString& name, const QString& ssid) {
    // WPA2 personal (the template knows key management PSK only), 2.4 GHz, strong.
    return mockCall(kManager, QStringLiteral("AddAccessPoint"),
                    {device, name, ssid, QStringLiteral("00:11:22:33:44:55"), 2u, 2412u, 54000u,
                     QVariant::fromValue(static_cast<uchar>(80)), 0x100u});
}

NmMock::Office NmMock::addOfficeWithBoard(const QString& boardSsid) {
    Office office;
    office.wlan0 = addWifiDevice(QStringLiteral("wlan0"), kActivated);
    addAccessPoint(office.wlan0, QStringLiteral("office"), QStringLiteral("Office"));
    addAccessPoint(office.wlan0, QStringLiteral("board"), boardSsid);
    office.connection =
        addActiveWifiConnection(office.wlan0, QStringLiteral("Office"), QStringLiteral("Office"));
    return office;
}

QString NmMock::addActiveWifiConnection(const QString& device, const QString& id, const QString& ssid) {
    const QString settings = mockCall(kManager, QStringLiteral("AddWiFiConnection"),
                                      {device, id, ssid, QStringLiteral("wpa-psk")});
    QString point;
    for (const QDBusObjectPath& p : qdbus_cast<QList<QDBusObjectPath>>(
             Property(device, QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless"),
                      QStringLiteral("AccessPoints")))) {
        if (Property(p.path(), QStringLiteral("org.freedesktop.NetworkManager.AccessPoint"),
                     QStringLiteral("Ssid"))
                .toByteArray() == ssid.toUtf8())
            point = p.path();
    }
    mockCall(kManager, QStringLiteral("AddActiveConnection"), {QStringList{device}, settings, point, id, 2u});
    return settings;
}

QString NmMock::addSavedConnection(const QString& id, const QStringList& permissions) {
    QMap<QString, QVariantMap> settings;
    settings[QStringLiteral("connection")] =
        QVariantMap{{QStringLiteral("id"), id},
                    {QStringLiteral("type"), QStringLiteral("802-11-wireless")},
                    {QStringLiteral("autoconnect"), false},
                    {QStringLiteral("permissions"), permissions}};
    const QDBusMessage reply = Call(kSettings, QStringLiteral("org.freedesktop.NetworkManager.Settings"),
                                    QStringLiteral("AddConnection"), {QVariant::fromValue(settings)});
    return reply.arguments().isEmpty() ? QString()
                                       : reply.arguments().first().value<QDBusObjectPath>().path();
}

void NmMock::removeConnection(const QString& device, const QString& settingsPath) {
    mockCall(kManager, QStringLiteral("RemoveWifiConnection"), {device, settingsPath});
}

QStringList NmMock::calls() const {
    QFile file(dir_.filePath(QStringLiteral("calls.log")));
    QStringList out;
    if (!file.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty()) continue;
        out.append(QString::fromUtf8(line.mid(line.indexOf(' ') + 1)));
    }
    return out;
}

QStringList NmMock::calls(const QString& method) const {
    QStringList out;
    for (const QString& line : calls())
        if (line.startsWith(method + QLatin1Char(' ')) || line == method) out.append(line);
    return out;
}

QStringList NmMock::connectionIds() {
    QStringList ids;
    const QDBusMessage listed = Call(kSettings, QStringLiteral("org.freedesktop.NetworkManager.Settings"),
                                     QStringLiteral("ListConnections"), {});
    if (listed.arguments().isEmpty()) return ids;
    for (const QDBusObjectPath& path : qdbus_cast<QList<QDBusObjectPath>>(listed.arguments().first())) {
        const QDBusMessage got =
            Call(path.path(), QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection"),
                 QStringLiteral("GetSettings"), {});
        if (got.arguments().isEmpty()) continue;
        const auto settings = qdbus_cast<QMap<QString, QVariantMap>>(got.arguments().first());
        ids.append(settings.value(QStringLiteral("connection")).value(QStringLiteral("id")).toString());
    }
    return ids;
}

QString NmMock::activeOn(const QString& device) {
    const QString active = Property(device, QStringLiteral("org.freedesktop.NetworkManager.Device"),
                                    QStringLiteral("ActiveConnection"))
                               .value<QDBusObjectPath>()
                               .path();
    if (active.isEmpty() || active == QStringLiteral("/")) return {};
    return Property(active, QStringLiteral("org.freedesktop.NetworkManager.Connection.Active"),
                    QStringLiteral("Id"))
        .toString();
}

}  // namespace ifb::test
