#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace ifb {

// Why a Wi-Fi operation did not do what was asked.
enum class WifiStatus {
    Ok,
    NoService,     // no network manager to talk to (not running, no system bus)
    NoDevice,      // no Wi-Fi device that can join
    SsidNotFound,  // no device sees the network
    AuthRefused,   // the access point refused the pass phrase
    TimedOut,      // the join did not finish in time
    ServiceLost,   // the network manager went away meanwhile
    Interrupted,   // the caller asked to stop
    Failed,        // anything else; detail says what
};

struct WifiAvailability {
    bool available = false;
    QString reason;  // why not, in the system's own words
};

// A Wi-Fi device and the connection it has up, if any.
struct WifiDevice {
    QString name;              // interface name, e.g. wlan0
    QString activeConnection;  // the connection's name; empty when none
};

struct WifiJoinRequest {
    QByteArray ssid;     // the network's name as bytes (0..32)
    QString passphrase;  // WPA2 pre-shared key: 8..63 characters or 64 hex digits
    int timeoutMs = 30000;
    // Polled while the join waits; true stops it.
    std::function<bool()> stopRequested;
};

struct WifiJoinResult {
    WifiStatus status = WifiStatus::Failed;
    QString detail;              // the system's message or reason code
    QString device;              // the device used
    QString previousConnection;  // what that device had up before; empty when nothing
};

// What going back did.
struct WifiRestoreReport {
    bool hadTemporary = false;  // a temporary connection had been made
    QString temporaryName;
    bool temporaryRemoved = false;
    QString device;
    QString previousConnection;  // empty: the device had nothing up before
    enum class Previous { None, Reactivated, Missing, Failed } previous = Previous::None;
    QString detail;  // the system's message when something failed
};

// The PC's Wi-Fi as far as the update needs it: join a network for a while
// through a temporary profile, then put back what was there. At most one
// temporary connection exists at a time.
class WifiControl {
  public:
    virtual ~WifiControl() = default;

    virtual WifiAvailability availability() = 0;
    virtual QList<WifiDevice> devices() = 0;
    // Blocks, handling events, until the device is on the network, the join
    // failed, the time-out passed or stopRequested() held. A failed join may
    // leave its temporary connection behind for restore().
    virtual WifiJoinResult join(const WifiJoinRequest& request) = 0;
    // Takes down and deletes the temporary connection and brings the device's
    // previous connection up again. Does nothing without a temporary one.
    virtual WifiRestoreReport restore() = 0;
    virtual bool hasTemporary() const = 0;
    // Deletes temporary connections a crashed run left behind; their names.
    virtual QStringList removeLeftovers() = 0;
};

// Names of temporary connections begin with this.
inline constexpr char kTemporaryConnectionPrefix[] = "ifb-updater-";

// The system's Wi-Fi: NetworkManager on Linux, the WLAN API on Windows.
std::unique_ptr<WifiControl> CreateSystemWifiControl();

}  // namespace ifb
