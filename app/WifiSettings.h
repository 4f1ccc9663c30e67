#pragma once

#include <QString>

namespace ifb {

// Section "WiFi" of the settings file (read only; a missing key is its default).
struct WifiSettings {
    // 1: the join dialog joins the board's access point at once.
    bool AutoJoin = false;
    // 1: the join dialog has the button "自動接続".
    bool AutoJoinButton = false;
    // ms a join may take, used within 1000 .. 300000.
    int JoinWaitMs = 30000;
};

WifiSettings ReadWifiSettings(const QString& path);

}  // namespace ifb
