#pragma once

#include <QtGlobal>

namespace ifb {

// The fixed times and numbers of the workflow, each with its unit. The
// settings file's time-outs are in Settings.h.

// The link's poll: the receive ring is decoded at least this often.
inline constexpr int kLinkPollIntervalMs = 50;

// Board check: the pause after a restart and between two USB-mode attempts.
inline constexpr quint32 kBoardSettlePauseMs = 1000;
// Board check, USB-mode run: how long a late acknowledgement may take.
inline constexpr quint32 kUsbModeAckWaitMs = 45000;
// Board check: reply time-out of the network settings' reads.
inline constexpr quint32 kNetworkReadTimeoutMs = 2000;

// Reply time-out of a mode restore and of the restart after it (update and
// close), and of the cancel end's restart.
inline constexpr quint32 kRestoreReplyTimeoutMs = 2000;
// The cancel end's pause, without events.
inline constexpr quint32 kCancelPauseMs = 2000;
// Between two connection polls, without events.
inline constexpr quint32 kConnectionPollPauseMs = 500;

// A booting board is asked for its mode (which changes nothing) until it
// answers: each request waits this long (an awake board answers in a few ms),
// with this pause between two requests.
inline constexpr quint32 kBoardProbeTimeoutMs = 500;
inline constexpr quint32 kBoardProbePauseMs = 100;

// The board's OTA receiver listens here whatever port its access point reports.
inline constexpr quint16 kOtaPort = 3232;
// SetOtaMode's mode byte for the access-point OTA mode.
inline constexpr quint8 kOtaAccessPointMode = 2;

}  // namespace ifb
