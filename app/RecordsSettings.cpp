#include "RecordsSettings.h"

#include <QFile>
#include <QFileInfo>

#include "IniImage.h"

namespace ifb {
namespace {
const QString kRecords = QStringLiteral("Records");
}

RecordsSettings ReadRecordsSettings(const QString& settingsPath) {
    IniImage ini;
    ini.load(settingsPath);
    RecordsSettings s;
    s.LogKeepDays = qMax(1, ini.readInteger(kRecords, QStringLiteral("LogKeepDays"), s.LogKeepDays));
    s.CentralHost = ini.readString(kRecords, QStringLiteral("CentralHost"));
    const int port = ini.readInteger(kRecords, QStringLiteral("CentralPort"), s.CentralPort);
    if (port > 0 && port < 65536) s.CentralPort = port;
    s.CentralDatabase = ini.readString(kRecords, QStringLiteral("CentralDatabase"));
    s.CentralUser = ini.readString(kRecords, QStringLiteral("CentralUser"));
    s.CentralPasswordFile = ini.readString(kRecords, QStringLiteral("CentralPasswordFile"));
    return s;
}

std::optional<QString> ReadPasswordFile(const QString& path, QString& why) {
    if (path.isEmpty()) return QString();
    const QFileInfo info(path);
    if (!info.isFile()) {
        why = QStringLiteral("no file");
        return std::nullopt;
    }
#ifndef Q_OS_WIN
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeGroup | QFile::ExeOther;
    if (info.permissions() & others) {
        why = QStringLiteral("readable by others");
        return std::nullopt;
    }
#endif
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
        return std::nullopt;
    }
    const QByteArray first = file.readLine(4096);
    return QString::fromUtf8(first).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
}

}  // namespace ifb
