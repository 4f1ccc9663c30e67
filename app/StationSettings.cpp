#include "StationSettings.h"

#include "IniImage.h"

namespace ifb {
namespace {
const QString kStation = QStringLiteral("Station");
const QString kEnabled = QStringLiteral("Enabled");
}  // namespace

StationSettings ReadStationSettings(const QString& settingsPath) {
    IniImage ini;
    ini.load(settingsPath);
    StationSettings s;
    s.Enabled = ini.readInteger(kStation, kEnabled, 0) != 0;
    return s;
}

void WriteStationSettings(const QString& settingsPath, const StationSettings& settings) {
    IniImage ini;
    if (ini.load(settingsPath) == IniImage::LoadStatus::Unreadable) return;
    if (!settings.Enabled && !ini.hasSection(kStation)) return;
    ini.writeInteger(kStation, kEnabled, settings.Enabled ? 1 : 0);
    ini.save(settingsPath);
}

}  // namespace ifb
