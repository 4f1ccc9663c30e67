#include "SerialTypes.h"

#include <array>

namespace ifb {
namespace {

constexpr std::array<int, 15> kRates = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                        19200, 38400, 56000, 57600, 115200, 128000, 256000};

}  // namespace

bool StrToBaudRate(const QString& text, BaudRate& rate) {
    for (size_t i = 0; i < kRates.size(); ++i) {
        if (text == QString::number(kRates[i])) {
            rate = static_cast<BaudRate>(i);
            return true;
        }
    }
    return false;
}

int BaudRateValue(BaudRate rate) {
    return kRates[static_cast<size_t>(rate)];
}

QString BaudRateToStr(BaudRate rate) {
    return QString::number(BaudRateValue(rate));
}

bool StrToDataBits(const QString& text, DataBits& bits) {
    for (int n = 5; n <= 8; ++n) {
        if (text == QString::number(n)) {
            bits = static_cast<DataBits>(n);
            return true;
        }
    }
    return false;
}

BaudRate BaudRateFromSpeedCode(int code) {
    switch (code) {
        case 1:
            return BaudRate::br9600;
        case 2:
            return BaudRate::br38400;
        case 3:
            return BaudRate::br57600;
        case 4:
            return BaudRate::br115200;
        default:
            return BaudRate::br19200;
    }
}

int SpeedCodeFromBaudRate(BaudRate rate) {
    switch (rate) {
        case BaudRate::br9600:
            return 1;
        case BaudRate::br38400:
            return 2;
        case BaudRate::br57600:
            return 3;
        case BaudRate::br115200:
            return 4;
        default:
            return 0;
    }
}

Parity ParityFromCode(int code) {
    if (code == 0) return Parity::prNone;
    if (code == 1) return Parity::prOdd;
    return Parity::prEven;
}

int ParityCodeFromParity(Parity parity) {
    if (parity == Parity::prNone) return 0;
    if (parity == Parity::prOdd) return 1;
    return 2;
}

}  // namespace ifb
