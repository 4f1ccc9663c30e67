#include "Settings.h"

#include <QFile>
#include <QFileInfo>

#include "GuardMessages.h"
#include "IniImage.h"
#include "MessageBox.h"

namespace ifb {
namespace {

const QString kOption = QStringLiteral("Option");
const QString kComDebug = QStringLiteral("ComDebug");

}  // namespace

// --- Port names -------------------------------------------------------------

QString ComPortName(int number) {
    return QStringLiteral("COM") + QString::number(number);
}

std::optional<int> ComPortNumber(const QString& name) {
    if (name.size() < 4 || !name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) return std::nullopt;
    const QString digits = name.mid(3);
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    }
    return ParseIniInteger(digits);
}

QString PortNameFromSetting(const QString& text) {
    QString t = text.trimmed();
    if (t.isEmpty()) return ComPortName(1);
    if (const std::optional<int> n = ParseIniInteger(t)) return ComPortName(*n);
    return t;
}

QString PortSettingFromName(const QString& name) {
    if (const std::optional<int> n = ComPortNumber(name)) return QString::number(*n);
    return name;
}

// --- Code tables ------------------------------------------------------------

int SpeedItemFromCode(int code) {
    if (code == 1) return 0;
    if (code >= 2 && code <= 4) return code;
    return 1;
}

int SpeedCodeFromItem(int item) {
    if (item == 0) return 1;
    if (item >= 2 && item <= 4) return item;
    return 0;
}

int ParityItemFromCode(int code) {
    return ParityCodeFromParity(ParityFromCode(code));
}

int ParityCodeFromItem(int item) {
    return item == 0 || item == 1 ? item : 2;
}

// --- The settings file --------------------------------------------------------

bool SettingsFileWritable(const QString& path) {
    QFile file(path);
    if (file.exists()) {
        // The permission bit, not isWritable(): an administrator may write
        // anything, yet a file marked read-only must stay as it is.
        return file.permissions().testFlag(QFileDevice::WriteOwner);
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    file.close();
    return true;
}

quint32 TimeoutMs(int value, const TimeoutKey& key) {
    return static_cast<quint32>(qBound(key.minMs, value, key.maxMs));
}

int WrittenTimeout(int value, const TimeoutKey& key) {
    return value < key.minMs ? key.minMs : value;
}

QStringList TimeoutNotices(const Option& option, const ProgramSettings& program) {
    QStringList notices;
    const std::pair<int, const TimeoutKey*> timeouts[] = {{program.CHK_IFB_TIME, &kChkIfbTimeKey},
                                                          {option.CONECT_WAIT_TIME, &kConectWaitTimeKey},
                                                          {option.Prog_WAIT_TIME, &kProgWaitTimeKey}};
    for (const auto& [value, key] : timeouts) {
        const quint32 used = TimeoutMs(value, *key);
        if (static_cast<qint64>(used) != value)
            notices.append(guard_messages::TimeoutOutOfRange(QLatin1String(key->name), value, used));
    }
    return notices;
}

bool ReadSettings(const QString& path, Option& o, ProgramSettings& p) {
    IniImage ini;
    const bool readable = ini.load(path) != IniImage::LoadStatus::Unreadable;
    const Option d;
    const ProgramSettings dp;
    auto integer = [&](const char* key, int def) {
        return ini.readInteger(kOption, QLatin1String(key), def);
    };
    auto text = [&](const char* key, const QString& def) {
        return ini.readString(kOption, QLatin1String(key), def);
    };

    o.ComPort = PortNameFromSetting(text("ComPort", QString()));
    o.ComSpeed = integer("ComSpeed", d.ComSpeed);
    o.Parity = integer("Parity", d.Parity);
    o.UseUSB = integer("UseUSB", d.UseUSB);
    o.TCPPort = integer("TCPPort", d.TCPPort);
    o.fTCPServer = integer("fTCPServer", d.fTCPServer);
    o.TCPServPort = integer("TCPServPort", d.TCPServPort);
    o.TCPServAddr = text("TCPServAddr", d.TCPServAddr);
    o.fNoVerCheck = integer("fNoVerCheck", d.fNoVerCheck);
    o.SPISpeed = integer("SPISpeed", d.SPISpeed);
    o.SPIMode = integer("SPIMode", d.SPIMode);
    o.ProgMode = integer("ProgMode", d.ProgMode);
    o.UploadSpeed = integer("UploadSpeed", d.UploadSpeed);
    o.fProgFile2 = integer("fProgFile2", d.fProgFile2);
    o.fWrSpiffs = integer("fWrSpiffs", d.fWrSpiffs);
    o.App_ESPTool = text("App_ESPTool", d.App_ESPTool);
    o.App_ESPOta = text("App_ESPOta", d.App_ESPOta);
    o.PartitionTables = text("PartitionTables", d.PartitionTables);
    o.ProgFile1 = text("ProgFile1", d.ProgFile1);
    o.ProgFile2 = text("ProgFile2", d.ProgFile2);
    o.SpiffsFile = text("SpiffsFile", d.SpiffsFile);
    o.ProgAddr1 = integer("ProgAddr1", d.ProgAddr1);
    o.ProgAddr2 = integer("ProgAddr2", d.ProgAddr2);
    o.SpiffSOffset = integer("SpiffSOffset", d.SpiffSOffset);
    o.CONECT_WAIT_TIME = integer("CONECT_WAIT_TIME", d.CONECT_WAIT_TIME);
    o.Prog_WAIT_TIME = integer("Prog_WAIT_TIME", d.Prog_WAIT_TIME);
    o.fBoot = integer("fBoot", d.fBoot);
    p.CHK_IFB_TIME = integer("CHK_IFB_TIME", dp.CHK_IFB_TIME);
    o.SelectModel = integer("SelectModel", d.SelectModel);
    p.binPath_Mode = integer("binPath_Mode", dp.binPath_Mode);
    p.USBWait_Mode = integer("USBWait_Mode", dp.USBWait_Mode);
    p.USBchange = integer("USBchange", dp.USBchange);
    return readable;
}

bool WriteSettings(const QString& path, const Option& o, const ProgramSettings& p, quint16 savedBoardMode) {
    auto fail = [] {
        showMessage(
            QStringLiteral("iniファイルの生成・更新に失敗しました。\n\nアクセス権限を確認してください。"),
            QStringLiteral("例外エラー"), MsgIcon::Error, MsgButtons::Ok, MsgOwner::None);
        return false;
    };
    if (!SettingsFileWritable(path)) return fail();
    IniImage ini;
    if (ini.load(path) == IniImage::LoadStatus::Unreadable) return false;

    auto integer = [&](const char* key, int value) { ini.writeInteger(kOption, QLatin1String(key), value); };
    auto text = [&](const char* key, const QString& value) {
        ini.writeString(kOption, QLatin1String(key), value);
    };
    text("ComPort", PortSettingFromName(o.ComPort));
    integer("ComSpeed", o.ComSpeed);
    integer("Parity", o.Parity);
    integer("UseUSB", o.UseUSB);
    integer("TCPPort", o.TCPPort);
    integer("fTCPServer", o.fTCPServer);
    integer("TCPServPort", o.TCPServPort);
    text("TCPServAddr", o.TCPServAddr);
    integer("fNoVerCheck", o.fNoVerCheck);
    integer("SPISpeed", o.SPISpeed);
    integer("SPIMode", o.SPIMode);
    integer("ProgMode", o.ProgMode);
    integer("UploadSpeed", o.UploadSpeed);
    text("App_ESPOta", o.App_ESPOta);
    integer("ProgAddr1", o.ProgAddr1);
    integer("ProgAddr2", o.ProgAddr2);
    integer("SpiffSOffset", o.SpiffSOffset);
    integer("CONECT_WAIT_TIME", WrittenTimeout(o.CONECT_WAIT_TIME, kConectWaitTimeKey));
    integer("Prog_WAIT_TIME", WrittenTimeout(o.Prog_WAIT_TIME, kProgWaitTimeKey));
    integer("fBoot", o.fBoot);
    integer("CHK_IFB_TIME", WrittenTimeout(p.CHK_IFB_TIME, kChkIfbTimeKey));
    integer("OldDousaMode", savedBoardMode & 7);
    integer("SelectModel", o.SelectModel);
    integer("binPath_Mode", p.binPath_Mode);
    integer("USBWait_Mode", p.USBWait_Mode);
    integer("USBchange", p.USBchange);

    // A failed write (full disk, say) is reported like a read-only file: the
    // operator's settings were not saved.
    if (!ini.save(path)) return fail();
    return true;
}

bool ReadLinkSettings(const QString& path, int transportKind, SerialLine& line, LinkSettings& link) {
    IniImage ini;
    const bool readable = ini.load(path) != IniImage::LoadStatus::Unreadable;
    auto integer = [&](const char* key, int def) {
        return ini.readInteger(kComDebug, QLatin1String(key), def);
    };

    if (transportKind == kTransportSerial) {
        const QString port = ini.readString(kComDebug, QStringLiteral("Port")).trimmed();
        if (const std::optional<int> n = ParseIniInteger(port)) {
            line.port = ComPortName(*n & 255);
        } else {
            line.port = port.isEmpty() ? ComPortName(1) : port;
        }

        line.baudRate = BaudRate::br9600;
        StrToBaudRate(QString::number(integer("BaudRate", 19200)), line.baudRate);

        const int parity = integer("ParityBits", 0);
        line.parity = parity >= 0 && parity <= 4 ? static_cast<Parity>(parity) : Parity::prNone;

        line.dataBits = DataBits::dbEight;
        StrToDataBits(QString::number(integer("ByteSize", 8)), line.dataBits);

        const int stop = integer("StopBits", 0);
        line.stopBits = stop >= 0 && stop <= 2 ? static_cast<StopBits>(stop) : StopBits::sbOneStopBit;

        const int flow = integer("FlowCont", 0);
        line.flowControl = FlowControl::fcNone;
        if (flow == 1) line.flowControl = FlowControl::fcHardware;
        if (flow == 2) line.flowControl = FlowControl::fcSoftware;
    }

    link.idNo = static_cast<quint8>(integer("IDNo", 0) & 0xFF);
    link.fDispCont1 = integer("fDispCont1", 1);
    link.maxRecNo = integer("MAX_REC_NO", 200);
    return readable;
}

bool WriteLinkSettings(const QString& path, int transportKind, const SerialLine& line,
                       const LinkSettings& link) {
    if (!SettingsFileWritable(path)) return false;
    IniImage ini;
    if (ini.load(path) == IniImage::LoadStatus::Unreadable) return false;
    auto integer = [&](const char* key, int value) {
        ini.writeInteger(kComDebug, QLatin1String(key), value);
    };

    if (transportKind == kTransportSerial) {
        ini.writeString(kComDebug, QStringLiteral("Port"), PortSettingFromName(line.port));
        integer("BaudRate", BaudRateValue(line.baudRate));
        integer("ParityBits", static_cast<int>(line.parity));
        integer("ByteSize", static_cast<int>(line.dataBits));
        integer("StopBits", static_cast<int>(line.stopBits));
        int flow = 0;
        if (line.flowControl == FlowControl::fcHardware) flow = 1;
        if (line.flowControl == FlowControl::fcSoftware) flow = 2;
        integer("FlowCont", flow);
    }
    integer("IDNo", link.idNo);
    integer("fDispCont1", link.fDispCont1);
    integer("MAX_REC_NO", link.maxRecNo);
    return ini.save(path);
}

}  // namespace ifb
