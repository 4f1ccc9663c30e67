#pragma once

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <memory>

#include "AppPaths.h"
#include "RecordingMessageBoxes.h"
#include "ScriptedOperator.h"
#include "SimProcess.h"
#include "UpdaterApp.h"

namespace ifb::test {

// A program "installed" in a temporary folder, its settings file, the
// scripted operator and message boxes, and the main window's core.
class AppHarness {
  public:
    explicit AppHarness(const QString& programFolder = QStringLiteral("app"))
        : exePath(dir.filePath(programFolder + QStringLiteral("/ifb-updater"))),
          settingsPath(SettingsPathFor(exePath)) {
        QDir().mkpath(QFileInfo(exePath).path());
    }

    // Writes the settings file with these "Option" keys (and "ComDebug" keys).
    void writeSettings(const QMap<QString, QString>& option,
                       const QMap<QString, QString>& comDebug = {}) const {
        MakeFolder(ProgramFolder(exePath));
        QFile file(settingsPath);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QByteArray text = "[Option]\n";
        for (auto it = option.begin(); it != option.end(); ++it)
            text += (it.key() + '=' + it.value() + '\n').toUtf8();
        if (!comDebug.isEmpty()) {
            text += "[ComDebug]\n";
            for (auto it = comDebug.begin(); it != comDebug.end(); ++it)
                text += (it.key() + '=' + it.value() + '\n').toUtf8();
        }
        file.write(text);
    }

    // Settings for a board on sim: its port, our espota, short time-outs.
    QMap<QString, QString> settingsFor(const SimProcess& sim) const {
        return {{QStringLiteral("ComPort"), sim.linkPath()},
                {QStringLiteral("ComSpeed"), QStringLiteral("4")},
                {QStringLiteral("App_ESPOta"), BinPath(QStringLiteral("espota"))},
                {QStringLiteral("CHK_IFB_TIME"), QStringLiteral("1000")}};
    }

    UpdaterApp& makeApp() {
        app = std::make_unique<UpdaterApp>(op, exePath, QStringLiteral("1022IFB00"));
        return *app;
    }

    // Section lines of the settings file as written.
    QString settingsText() const {
        QFile file(settingsPath);
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    QTemporaryDir dir;
    QString exePath;
    QString settingsPath;
    ScriptedOperator op;
    RecordingMessageBoxes boxes;
    std::unique_ptr<UpdaterApp> app;
};

}  // namespace ifb::test
