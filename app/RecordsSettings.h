#pragma once

#include <QString>
#include <optional>

namespace ifb {

// Section "Records" of the settings file: the session logs' lifetime and the
// central database of a line of stations. Read at start, never written; a
// missing key means its default.
struct RecordsSettings {
    int LogKeepDays = 90;
    QString CentralHost;  // empty: no central database
    int CentralPort = 5432;
    QString CentralDatabase;
    QString CentralUser;
    QString CentralPasswordFile;

    bool centralConfigured() const { return !CentralHost.isEmpty(); }
};

RecordsSettings ReadRecordsSettings(const QString& settingsPath);

// The central database's password: the first line of the file, which only its
// owner may read or write. Nothing when it cannot be used; why says why.
std::optional<QString> ReadPasswordFile(const QString& path, QString& why);

}  // namespace ifb
