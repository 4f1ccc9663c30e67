#include "WifiControl.h"

#ifdef Q_OS_WIN
#include "WindowsWlanWifi.h"
#else
#include "NetworkManagerWifi.h"
#endif

namespace ifb {

std::unique_ptr<WifiControl> CreateSystemWifiControl() {
#ifdef Q_OS_WIN
    return std::make_unique<WindowsWlanWifi>();
#else
    return std::make_unique<NetworkManagerWifi>(QDBusConnection::systemBus());
#endif
}

}  // namespace ifb
