#pragma once

#include <QString>

namespace ifb {

// Line settings of the serial port, with the ordinals the settings file stores.
enum class BaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum class Parity { prNone = 0, prOdd = 1, prEven = 2, prMark = 3, prSpace = 4 };
enum class DataBits { dbFive = 5, dbSix = 6, dbSeven = 7, dbEight = 8 };
enum class StopBits { sbOneStopBit = 0, sbOne5StopBits = 1, sbTwoStopBits = 2 };
enum class FlowControl { fcHardware, fcSoftware, fcNone };

// Decimal text <-> rate; unknown text gives false and leaves rate alone.
bool StrToBaudRate(const QString& text, BaudRate& rate);
QString BaudRateToStr(BaudRate rate);
int BaudRateValue(BaudRate rate);
// "5".."8" -> data bits; unknown text gives false and leaves bits alone.
bool StrToDataBits(const QString& text, DataBits& bits);

// The speed code of the settings: 1 9600, 2 38400, 3 57600, 4 115200, any other 19200 bit/s.
BaudRate BaudRateFromSpeedCode(int code);
// The code of a rate; 0 for 19200 and for rates the codes cannot express.
int SpeedCodeFromBaudRate(BaudRate rate);
// The parity code of the settings: 0 none, 1 odd, any other even.
Parity ParityFromCode(int code);
int ParityCodeFromParity(Parity parity);  // none 0, odd 1, anything else 2

// Everything the serial port is opened with. The port is the system's name for
// it ("COM3", "ttyUSB0") or a device path.
struct SerialLine {
    QString port = QStringLiteral("COM1");
    BaudRate baudRate = BaudRate::br19200;
    Parity parity = Parity::prNone;
    DataBits dataBits = DataBits::dbEight;
    StopBits stopBits = StopBits::sbOneStopBit;
    FlowControl flowControl = FlowControl::fcNone;
};

}  // namespace ifb
