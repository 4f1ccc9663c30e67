#pragma once

#include <QDBusConnection>
#include <QObject>
#include <optional>

#include "WifiControl.h"

namespace ifb {

// Wi-Fi through NetworkManager's D-Bus API. The temporary connection never
// connects by itself and belongs to the current user only.
class NetworkManagerWifi final : public QObject, public WifiControl {
    Q_OBJECT
  public:
    struct Options {
        // How long a join waits for a scan to show a network it did not see.
        int rescanWaitMs = 5000;
    };

    explicit NetworkManagerWifi(QDBusConnection bus, Options options);
    explicit NetworkManagerWifi(QDBusConnection bus) : NetworkManagerWifi(std::move(bus), Options{}) {}
    ~NetworkManagerWifi() override;

    WifiAvailability availability() override;
    QList<WifiDevice> devices() override;
    WifiJoinResult join(const WifiJoinRequest& request) override;
    WifiRestoreReport restore() override;
    bool hasTemporary() const override { return temporary_.has_value(); }
    QStringList removeLeftovers() override;

  private slots:
    void onActiveStateChanged(uint state, uint reason);

  private:
    struct Device {
        QString path;
        QString name;
        QString activePath;  // "/" when nothing is up
    };
    struct Temporary {
        QString settingsPath;
        QString activePath;
        QString name;
        QString devicePath;
        QString deviceName;
        QString previousSettingsPath;  // empty when the device had nothing up
        QString previousName;
    };

    QList<Device> wifiDevices(QString* error);
    // The device's access point broadcasting ssid; empty when none.
    QString findAccessPoint(const QString& devicePath, const QByteArray& ssid);
    QString connectionName(const QString& activePath);
    WifiJoinResult waitForActivation(const WifiJoinRequest& request, WifiJoinResult result);
    bool serviceRunning();

    QDBusConnection bus_;
    Options options_;
    std::optional<Temporary> temporary_;
    // The last StateChanged of the connection being activated.
    std::optional<uint> signalledState_;
    uint signalledReason_ = 0;
};

}  // namespace ifb
