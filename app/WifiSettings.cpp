#include "WifiSettings.h"

#include <QtGlobal>

#include "IniImage.h"

namespace ifb {

WifiSettings ReadWifiSettings(const QString& path) {
    IniImage ini;
    ini.load(path);
    const QString section = QStringLiteral("WiFi");
    WifiSettings settings;
    settings.AutoJoin = ini.readInteger(section, QStringLiteral("AutoJoin"), 0) == 1;
    settings.AutoJoinButton = ini.readInteger(section, QStringLiteral("AutoJoinButton"), 0) == 1;
    settings.JoinWaitMs =
        qBound(1000, ini.readInteger(section, QStringLiteral("JOIN_WAIT_TIME"), 30000), 300000);
    return settings;
}

}  // namespace ifb
