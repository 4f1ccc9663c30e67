// Small helpers shared by the application benchmarks: clocks, medians and the
// simulator's log.
#pragma once

#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <ctime>
#include <vector>

#include "AppPaths.h"
#include "RecordingMessageBoxes.h"
#include "SimProcess.h"

namespace ifb::bench {

inline qint64 MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

inline double Ms(qint64 ns) {
    return static_cast<double>(ns) / 1e6;
}

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// A loopback address of our own for the simulated board's OTA receiver, so
// that the fixed OTA port 3232 does not meet another simulator on this machine.
inline QString PrivateLoopbackAddress() {
    const auto pid = static_cast<unsigned>(getpid());
    return QStringLiteral("127.%1.%2.%3")
        .arg(1 + pid % 250)
        .arg((pid / 250) % 250)
        .arg(1 + (pid / 62500) % 250);
}

// The program "installed" in a temporary folder, with its settings file
// pointing at a simulated board and our espota, and message boxes recorded.
class Installation {
  public:
    Installation() : exePath(dir.filePath(QStringLiteral("app/ifb-updater"))) {
        QDir().mkpath(QFileInfo(exePath).path());
    }

    // The "Option" section: the board's port, 115200 bit/s, our espota; every
    // other key keeps its shipped default.
    void writeSettings(const test::SimProcess& sim) const {
        const QMap<QString, QString> option{
            {QStringLiteral("ComPort"), sim.linkPath()},
            {QStringLiteral("ComSpeed"), QStringLiteral("4")},
            {QStringLiteral("App_ESPOta"), test::BinPath(QStringLiteral("espota"))}};
        MakeFolder(ProgramFolder(exePath));
        QFile file(SettingsPathFor(exePath));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QByteArray text = "[Option]\n";
        for (auto it = option.begin(); it != option.end(); ++it)
            text += (it.key() + '=' + it.value() + '\n').toUtf8();
        file.write(text);
    }

    QTemporaryDir dir;
    QString exePath;
    test::RecordingMessageBoxes boxes;
};

inline QList<QJsonObject> ReadSimLog(const QString& path) {
    QList<QJsonObject> events;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return events;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty()) events.append(QJsonDocument::fromJson(line).object());
    }
    return events;
}

inline QString EventName(const QJsonObject& event) {
    return event.value(QStringLiteral("event")).toString();
}

inline qint64 EventMs(const QJsonObject& event) {
    return event.value(QStringLiteral("t")).toInteger();
}

// The board's side of the upload: from the first valid invitation to the
// verdict, in the simulator's milliseconds; -1 when the log has no such pair.
inline qint64 SimUploadMs(const QList<QJsonObject>& events) {
    qint64 invited = -1;
    for (const QJsonObject& e : events) {
        const QString name = EventName(e);
        if (name == QLatin1String("invitation") && invited < 0 && e.value(QStringLiteral("valid")).toBool())
            invited = EventMs(e);
        if (name == QLatin1String("verdict") && invited >= 0) return EventMs(e) - invited;
    }
    return -1;
}

}  // namespace ifb::bench
