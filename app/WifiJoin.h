#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "Operator.h"
#include "WifiControl.h"
#include "WifiSettings.h"

namespace ifb {

class LogSink;

// Why the values the board gave cannot be joined with; nothing when they can.
std::optional<QString> CheckJoinValues(const QByteArray& ssid, const QString& passphrase);

// The update's automatic Wi-Fi join: joins the board's access point through
// the system's Wi-Fi and puts the PC's previous network back afterwards,
// logging both.
class WifiJoin {
  public:
    using Factory = std::function<std::unique_ptr<WifiControl>()>;

    explicit WifiJoin(Factory factory = CreateSystemWifiControl);
    ~WifiJoin();
    WifiJoin(const WifiJoin&) = delete;
    WifiJoin& operator=(const WifiJoin&) = delete;

    // Reads section WiFi and deletes the temporary connections a crashed run
    // left behind.
    void start(const QString& settingsPath, LogSink& log);
    const WifiSettings& settings() const { return settings_; }

    // Offers the join in the instruction when the system's Wi-Fi can be used.
    void offer(JoinInstruction& instruction, const QByteArray& ssid, const QString& passphrase, LogSink& log);
    // Joins; a failed join puts the PC back at once.
    AutoJoinResult join(const QByteArray& ssid, const QString& passphrase, const std::function<bool()>& stop,
                        LogSink& log);
    // Removes the temporary connection and brings the previous one back;
    // nothing to do when no join was made.
    void goBack(LogSink& log);

  private:
    WifiControl& control();

    Factory factory_;
    std::unique_ptr<WifiControl> control_;
    WifiSettings settings_;
};

}  // namespace ifb
