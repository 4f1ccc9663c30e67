#pragma once

#include <QString>
#include <optional>

namespace ifb {

struct BatchOptions {
    QString port;   // empty: the port of the settings file
    int speed = 0;  // bit/s; 0: the speed of the settings file
    bool assumeYes = false;
    bool autoJoin = false;  // --auto-join
    // Station mode: this many units (0: until Ctrl+C); none: one update.
    std::optional<int> repeat;
    int nextAfterMs = 0;  // the next board after this time, not after a re-plug
    bool skipCurrent = false;
};

// Exit codes of the batch mode besides the update outcomes 0..3.
enum BatchExit : int {
    kExitPathCheck = 10,
    kExitBoardNotFound = 11,
    kExitRomVersion = 12,
    kExitModelName = 13,
    kExitModelRejected = 14,
    kExitTargetId = 15,
    kExitEspotaMissing = 16,
    kExitUsage = 64,
    kExitInterrupted = 130,
};

// Opens /dev/null on any of the standard descriptors 0..2 that is closed. Call
// first thing in main, before anything opens a file.
void EnsureStandardStreams();

// The speeds --speed takes, as port-dialog items; -1 for any other.
int SpeedItemForRate(int bitsPerSecond);

// Runs start-up, one write and the close sequence on the console. Returns the
// process exit code.
int RunBatch(const BatchOptions& options, const QString& exePath, const QString& firmwareId);

}  // namespace ifb
