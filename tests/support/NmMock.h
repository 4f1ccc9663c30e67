#pragma once

// NetworkManager for tests: python3-dbusmock's networkmanager template on a
// private D-Bus bus that stands in for the system bus (DBUS_SYSTEM_BUS_ADDRESS
// points at it for this process and its children). The bus lives as long as
// the test process; each NmMock runs its own mock service.
#include <QByteArray>
#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace ifb::test {

class NmMock {
  public:
    // How the mock's AddAndActivateConnection ends.
    enum class Activation {
        Succeeds,      // activated at once
        AuthRefused,   // activating, then down with "no secrets" after 300 ms
        NeverFinishes  // stays activating
    };
    // NetworkManager's device states the tests use.
    static constexpr int kDisconnected = 30;
    static constexpr int kActivated = 100;

    NmMock();
    ~NmMock();
    NmMock(const NmMock&) = delete;
    NmMock& operator=(const NmMock&) = delete;

    // The private bus; empty when dbus-daemon could not be started.
    static QString busAddress();

    // Starts the mock service and waits until it owns NetworkManager's name.
    bool start(Activation activation = Activation::Succeeds);
    // Ends the service at once: NetworkManager is gone.
    void kill();
    QString error() const { return error_; }

    QString addWifiDevice(const QString& name, int state);
    QString addEthernetDevice(const QString& name);
    // The access point broadcasting ssid (UTF-8) on the device.
    QString addAccessPoint(const QString& device, const QString& name, const QString& ssid);
    // A saved connection named id for ssid on the device, brought up there;
    // returns its settings path.
    QString addActiveWifiConnection(const QString& device, const QString& id, const QString& ssid);
    // The office network "Office" up on wlan0 and the board's access point in
    // range, as most tests start.
    struct Office {
        QString wlan0;       // the device's path
        QString connection;  // the office connection's settings path
    };
    Office addOfficeWithBoard(const QString& boardSsid);
    // A saved connection as our program would have left it.
    QString addSavedConnection(const QString& id, const QStringList& permissions);
    void removeConnection(const QString& device, const QString& settingsPath);

    // The mock's log: one line per method called on it, without the time.
    QStringList calls() const;
    // The calls of that method, in order.
    QStringList calls(const QString& method) const;
    // The "id" of every saved connection.
    QStringList connectionIds();
    // The id of the connection up on the device; empty when none.
    QString activeOn(const QString& device);

    static QDBusConnection bus() { return QDBusConnection::systemBus(); }

  private:
    QString mockCall(const QString& path, const QString& method, const QVariantList& args);

    QTemporaryDir dir_;
    QProcess process_;
    QString error_;
};

// The current user as NetworkManager's permissions name it ("user:NAME").
QString CurrentUserPermission();

}  // namespace ifb::test
