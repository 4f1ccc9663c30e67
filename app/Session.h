#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

#include "AppPaths.h"
#include "BoardRecords.h"
#include "NetworkAdapters.h"
#include "Settings.h"
#include "StationSettings.h"
#include "ToolRunner.h"
#include "WifiJoin.h"

namespace ifb {

// What one run of the program holds: the settings read at start, the board's
// records and what the run found out about the board. The operations share
// one; the fields are named after the settings keys and records they mirror.
struct Session {
    QString exePath;
    // Where the settings file and the firmware file go; settingsPath is its settings file.
    ProgramPlaces places;
    QString settingsPath;
    Option option;
    ProgramSettings program;
    bool VerboseLog = false;
    QString FirmwareId;

    quint16 SavedBoardMode = 0;
    // SavedBoardMode holds what this board reported in this run (or the USB
    // mode the fallback put it in), not just its initial 0.
    bool boardModeKnown = false;
    // A restart was acknowledged and the board has not answered since.
    bool boardBooting = false;
    bool UsbModeRun = false;
    QString RomVersion;
    QString ModelName;
    QString TargetId;  // as the log shows it
    // Station mode: the number of the unit attached (0 outside station mode),
    // and whether that board was already given back.
    StationSettings station;
    int stationUnit = 0;
    bool boardReleased = false;
    TCPIPPARAM tcpipParam;
    WiFi_AP wifiAp;
    QString otaPassword;

    bool ToolOutputOk = true;
    // The least time the upload tool may run before it counts as hung and is
    // stopped; the limit the update uses is HungToolLimitMs(this, Prog_WAIT_TIME).
    quint32 toolTimeLimitMs = kHungToolMinimumMs;
    // The PC's network adapters as the Wi-Fi check sees them.
    std::function<QList<NetworkAdapter>()> networkAdapters = ListNetworkAdapters;
    // The automatic join to the board's access point and the way back.
    std::shared_ptr<WifiJoin> wifi = std::make_shared<WifiJoin>();
};

}  // namespace ifb
