#pragma once

#include <atomic>
#include <mutex>
#include <optional>

#include "WifiControl.h"

namespace ifb {

// Wi-Fi through the WLAN API (WLAN AutoConfig service). The temporary profile
// is a per-user profile that only connects when asked to.
class WindowsWlanWifi final : public WifiControl {
  public:
    WindowsWlanWifi();
    ~WindowsWlanWifi() override;
    WindowsWlanWifi(const WindowsWlanWifi&) = delete;
    WindowsWlanWifi& operator=(const WindowsWlanWifi&) = delete;

    WifiAvailability availability() override;
    QList<WifiDevice> devices() override;
    WifiJoinResult join(const WifiJoinRequest& request) override;
    WifiRestoreReport restore() override;
    bool hasTemporary() const override { return temporary_.has_value(); }
    QStringList removeLeftovers() override;

    // Called on the WLAN service's thread.
    void onNotification(const void* data);

  private:
    struct Temporary {
        QByteArray interfaceGuid;  // GUID bytes
        QString deviceName;
        QString profileName;
        QString previousProfile;  // empty when nothing was connected
    };

    void* handle_ = nullptr;
    unsigned long openError_ = 0;
    std::optional<Temporary> temporary_;
    // Set from the notification thread for the profile being connected.
    std::atomic<bool> attemptDone_{false};
    std::atomic<unsigned long> attemptReason_{0};
    std::mutex attemptMutex_;  // guards attemptProfile_
    QString attemptProfile_;
};

}  // namespace ifb
