#pragma once

#include <QString>

namespace ifb {

// Section "Station" of the settings file: station mode, board after board.
// Read at start, written at close only when set or already in the file; a
// missing key means its default.
struct StationSettings {
    bool Enabled = false;
};

StationSettings ReadStationSettings(const QString& settingsPath);
// Leaves a file without the section alone while station mode is off.
void WriteStationSettings(const QString& settingsPath, const StationSettings& settings);

}  // namespace ifb
