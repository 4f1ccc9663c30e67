#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

#include "LinkSettings.h"
#include "SerialTypes.h"

namespace ifb {

// --- Time-outs ----------------------------------------------------------------
// A time-out key and the range the program works in. A value below the
// minimum cannot work (a negative one would turn into weeks through the
// unsigned cast); one above the maximum would keep a silent board waiting for
// hours. Outside the range the nearest bound is used.
struct TimeoutKey {
    const char* name;
    int minMs;
    int maxMs;
};
inline constexpr TimeoutKey kChkIfbTimeKey{"CHK_IFB_TIME", 100, 120000};
inline constexpr TimeoutKey kConectWaitTimeKey{"CONECT_WAIT_TIME", 100, 600000};
inline constexpr TimeoutKey kProgWaitTimeKey{"Prog_WAIT_TIME", 100, 3600000};

// The value as the program uses it: clamped to the key's range.
quint32 TimeoutMs(int value, const TimeoutKey& key);
// The value as it is written back: what the operator wrote, unless it was
// below the minimum and could not work at all.
int WrittenTimeout(int value, const TimeoutKey& key);

// The main window's settings: section "Option" of the settings file, one field
// per key, named after the key, holding the key's default until read.
struct Option {
    QString ComPort = QStringLiteral("COM1");  // port NAME; the file holds 1 for COM1
    int ComSpeed = 4;                          // speed code, see BaudRateFromSpeedCode
    int Parity = 0;                            // parity code, see ParityFromCode
    int UseUSB = 0;                            // TransportKind
    int TCPPort = 3335;
    int fTCPServer = 1;
    int TCPServPort = 10777;
    QString TCPServAddr = QStringLiteral("192.168.0.10");
    int fNoVerCheck = 1;
    int SPISpeed = 1;
    int SPIMode = 1;
    int ProgMode = 0;
    int UploadSpeed = 5;
    int fProgFile2 = 0;   // read only, never written
    int fWrSpiffs = 0;    // read only, never written
    QString App_ESPTool;  // read only, never written
    QString App_ESPOta;
    QString PartitionTables;  // read only, never written
    QString ProgFile1;        // read only, never written
    QString ProgFile2;        // read only, never written
    QString SpiffsFile;       // read only, never written
    int ProgAddr1 = 0x10000;
    int ProgAddr2 = 0x8000;
    int SpiffSOffset = 0;
    int CONECT_WAIT_TIME = 15000;  // ms, as the file holds it; see connectWaitMs
    int Prog_WAIT_TIME = 60000;    // ms, as the file holds it; see progWaitMs
    int fBoot = 0;
    int SelectModel = 1;

    quint32 connectWaitMs() const { return TimeoutMs(CONECT_WAIT_TIME, kConectWaitTimeKey); }
    quint32 progWaitMs() const { return TimeoutMs(Prog_WAIT_TIME, kProgWaitTimeKey); }
};

// The four program-wide values of section "Option".
struct ProgramSettings {
    int CHK_IFB_TIME = 10000;  // ms, as the file holds it; see checkBoardMs
    int binPath_Mode = 1;
    int USBWait_Mode = 1;
    int USBchange = 1;

    quint32 checkBoardMs() const { return TimeoutMs(CHK_IFB_TIME, kChkIfbTimeKey); }
};

// One line per time-out whose value lies outside its range, saying what the
// program uses instead (for the log at start-up).
QStringList TimeoutNotices(const Option& option, const ProgramSettings& program);

// --- Port names -------------------------------------------------------------
// The files hold "ComPort" / "Port" as a number n for "COM"+n, or as the port's
// own name for other ports ("/tmp/x/ttyIFB", "ttyUSB0").

// "COM" + n.
QString ComPortName(int number);
// The number of a "COM"+digits name (letter case ignored), else nothing.
std::optional<int> ComPortNumber(const QString& name);
// Setting text -> port name: a decimal integer n gives "COM"+n, other
// non-empty text is the name itself, empty text gives "COM1".
QString PortNameFromSetting(const QString& text);
// Port name -> setting text: "COM"+digits gives the number, others the name.
QString PortSettingFromName(const QString& name);

// --- Code tables ------------------------------------------------------------
// The speed and parity codes themselves are in SerialTypes.h.
// Port-dialog speed items "9600bps", "19.2kbps", "38.4kbps", "57.6kbps",
// "115.2kbps": item 0 is code 1, item 1 is code 0 (and every unknown code).
int SpeedItemFromCode(int code);
int SpeedCodeFromItem(int item);  // unknown items give 0 (19200)
// Port-dialog parity items "なし", "奇数", "偶数" (0..2).
int ParityItemFromCode(int code);
int ParityCodeFromItem(int item);  // unknown items give 2 (even)

// --- The settings file --------------------------------------------------------

// Fills option and program from section "Option". A missing key, a value that
// is no integer, a missing or unreadable file: the key's default. False only
// when the file exists but could not be read.
bool ReadSettings(const QString& path, Option& option, ProgramSettings& program);

// Writes the 26 keys of section "Option" (OldDousaMode = savedBoardMode & 7).
// A read-only or uncreatable file, or a failed write, shows the error box once
// and leaves the file as it was. An existing file that cannot be read is left
// alone without a message. True when the file was written.
bool WriteSettings(const QString& path, const Option& option, const ProgramSettings& program,
                   quint16 savedBoardMode);

// Section "ComDebug". The serial keys (Port, BaudRate, ParityBits, ByteSize,
// StopBits, FlowCont) are read and written only for transportKind 0 (serial).
// Values out of range: BaudRate 9600, ByteSize 8, ParityBits none, StopBits
// one, FlowCont none. IDNo keeps its low 8 bits.
bool ReadLinkSettings(const QString& path, int transportKind, SerialLine& line, LinkSettings& link);
// Silent on every failure. True when the file was written.
bool WriteLinkSettings(const QString& path, int transportKind, const SerialLine& line,
                       const LinkSettings& link);

// The writability test both writers run first: fails when the file exists
// with its owner-write permission bit clear (the read-only attribute), or when
// it does not exist and cannot be created empty.
bool SettingsFileWritable(const QString& path);

}  // namespace ifb
