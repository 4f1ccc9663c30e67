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
        : exePath(QDir(dir.path()).filePath(programFolder + QStringLiteral("/ifb-updater"))),
          settingsPath(SettingsPathFor(exePath)) {
        QDir().mkpath(QFileInfo(exePath).path());
    }

    // Writes the settings file with these "Option" keys (and "ComDebug" keys).
    void writeSettings(const QMap<QString, QString>& option,
                       const QMap<QString, QString>& comDebug = {}) const {
        MakeFolder(QFileInfo(settingsPath).path());
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
                {QStringLiteral("App_ESPOta"), EspotaPath()},
                {QStringLiteral("CHK_IFB_TIME"), QStringLiteral("1000")}};
    }

    UpdaterApp& makeApp() {
        app = std::make_unique<UpdaterApp>(op, exePath, QStringLiteral("1022IFB00"));
        return *app;
    }

    // Starts a board simulator with simArgs, writes the settings for it (extra
    // keys on top of settingsFor) and makes the app. Null when the simulator
    // did not start; simError says why.
    std::unique_ptr<SimProcess> boot(const QStringList& simArgs, const QMap<QString, QString>& extra = {}) {
        auto sim = std::make_unique<SimProcess>(simArgs);
        if (!sim->start()) {
            simError = sim->error();
            return nullptr;
        }
        auto settings = settingsFor(*sim);
        for (auto it = extra.begin(); it != extra.end(); ++it) settings[it.key()] = it.value();
        writeSettings(settings);
        makeApp();
        return sim;
    }

    // As boot, with time-outs for an update and no Wi-Fi adapter on the
    // board's network, then the start-up: null unless it ended Ready. The log
    // starts empty after it.
    std::unique_ptr<SimProcess> bootReady(const QStringList& simArgs,
                                          const QMap<QString, QString>& extra = {}) {
        QMap<QString, QString> settings{{QStringLiteral("CONECT_WAIT_TIME"), QStringLiteral("5000")},
                                        {QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("15000")}};
        for (auto it = extra.begin(); it != extra.end(); ++it) settings[it.key()] = it.value();
        auto sim = boot(simArgs, settings);
        if (!sim) return nullptr;
        app->session().networkAdapters = [] { return QList<NetworkAdapter>{}; };
        if (app->startUp() != StartupResult::Ready) {
            simError = QStringLiteral("the start-up did not end ready");
            return nullptr;
        }
        op.log.lines.clear();
        return sim;
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
    QString simError;
};

}  // namespace ifb::test
