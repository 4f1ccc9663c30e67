// What an update tells the operator, path by path: the outcome, the exact log
// lines of each class, the upload port, and where the OTA password may appear.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include "AppHarness.h"
#include "DeveloperTraces.h"
#include "OutcomeLog.h"
#include "QtPrinters.h"

using namespace ifb;
using namespace ifb::test;

namespace {

const QString kOtaPassword = QStringLiteral("QN5KDL4072");

// One expected log line: exact text, or a whole-line pattern when regex is set.
struct Line {
    QString text;
    bool verbose = false;
    bool regex = false;

    bool matches(const QString& line) const {
        return regex ? QRegularExpression(QStringLiteral("^(?:") + text + QStringLiteral(")$"))
                           .match(line)
                           .hasMatch()
                     : line == text;
    }
};

Line Always(const char* text) {
    return {QString::fromUtf8(text), false, false};
}
Line Verbose(const char* text) {
    return {QString::fromUtf8(text), true, false};
}
Line VerbosePattern(const char* pattern) {
    return {QString::fromUtf8(pattern), true, true};
}

const Line kConnection{QStringLiteral("Connection: \\d+ms"), false, true};
const Line kRunTime = VerbosePattern("実行時間: \\d+ms");

class UpdateReport : public ::testing::Test {
  protected:
    void ready(const QStringList& simArgs, const QMap<QString, QString>& extra = {}) {
        h = std::make_unique<AppHarness>();
        sim = h->bootReady(simArgs, extra);
        ASSERT_TRUE(sim) << h->simError.toStdString();
    }
    void TearDown() override {
        if (h && h->app) h->app->closeSequence();
    }
    QString logText() const { return h->op.log.lines.join('\n'); }
    // The logged command line (diagnostic mode), empty if none.
    QString commandLine() const {
        for (const QString& line : h->op.log.lines)
            if (line.contains(QStringLiteral("--auth="))) return line;
        return QString();
    }

    std::unique_ptr<AppHarness> h;
    std::unique_ptr<SimProcess> sim;
};

// Whether every line of expected appears in log in that order.
::testing::AssertionResult InOrder(const QStringList& log, const std::vector<Line>& expected) {
    qsizetype at = 0;
    for (const Line& e : expected) {
        while (at < log.size() && !e.matches(log[at])) ++at;
        if (at == log.size())
            return ::testing::AssertionFailure() << "missing or out of order: " << e.text.toStdString();
        ++at;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(UpdateReport, EachPathLogsItsLinesInItsClass) {
    const std::vector<Line> outcomeLines[] = {
        {Always("OK:ファームウェア書き込みが正常に完了しました。")},
        {Always("NG:ファームウェアの書き込みを中止しました。"),
         Always("ソフトを再起動し、もう一度書き込みを行ってください。")},
        {Always("NG:タイムアウトしました。"), Always("接続を確認し、もう一度書き込みを行ってください。")},
        {Always("NG:ファームウェアの書き込みを中止しました。")},
    };
    struct Case {
        const char* name;
        QStringList simArgs;
        QString toolAfter;  // what the upload tool does after the upload
        QMap<QString, QString> settings;
        bool diagnostic;
        UpdateOutcome outcome;
        std::vector<Line> lines;  // in order, before the outcome lines
    } cases[] = {
        {"board confirms, version matches",
         {},
         QString(),
         {},
         true,
         UpdateOutcome::Ok,
         {kConnection, Verbose("OK: Program Update"), Always("IFB-ROMVer : 1022IFB00"), kRunTime}},
        {"version differs",
         {QStringLiteral("--rom-after-update"), QStringLiteral("1022IFB01")},
         QString(),
         {},
         true,
         UpdateOutcome::Aborted,
         {kConnection, Verbose("OK: Program Update"), Always("IFB-ROMVer : 1022IFB01"),
          Verbose("NG: Program Update"), kRunTime}},
        {"version differs in letter case only",
         {QStringLiteral("--rom-after-update"), QStringLiteral("1022ifb00")},
         QString(),
         {},
         true,
         UpdateOutcome::Aborted,
         {kConnection, Verbose("OK: Program Update"), Always("IFB-ROMVer : 1022ifb00"),
          Verbose("NG: Program Update"), kRunTime}},
        {"version differs, without diagnostic mode",
         {QStringLiteral("--rom-after-update"), QStringLiteral("1022ifb00")},
         QString(),
         {},
         false,
         UpdateOutcome::Aborted,
         {kConnection, Verbose("OK: Program Update"), Always("IFB-ROMVer : 1022ifb00"),
          Verbose("NG: Program Update"), kRunTime}},
        {"no notice in time",
         {QStringLiteral("--ota-result"), QStringLiteral("none")},
         QString(),
         {{QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("2000")}},
         true,
         UpdateOutcome::TimeOut,
         {kConnection, Verbose("NG: Time Over"), kRunTime}},
        {"no notice in time, without diagnostic mode",
         {QStringLiteral("--ota-result"), QStringLiteral("none")},
         QString(),
         {{QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("2000")}},
         false,
         UpdateOutcome::TimeOut,
         {kConnection, Verbose("NG: Time Over"), kRunTime}},
        {"tool failed",
         {},
         QStringLiteral("echo '[ERROR]: No response from device'"),
         {},
         true,
         UpdateOutcome::ToolFailed,
         {kConnection, Verbose("NG: ERROR espota.exe"), kRunTime}},
        {"tool failed, without diagnostic mode",
         {},
         QStringLiteral("echo '[ERROR]: No response from device'"),
         {},
         false,
         UpdateOutcome::ToolFailed,
         {kConnection, Verbose("NG: ERROR espota.exe"), kRunTime}},
    };
    const QStringList outcomeMarks{QStringLiteral("OK: Program Update"), QStringLiteral("NG: Program Update"),
                                   QStringLiteral("NG: Time Over"), QStringLiteral("NG: ERROR espota.exe")};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ready(c.simArgs, c.settings);
        if (c.diagnostic) h->app->enableDiagnosticMode();
        if (!c.toolAfter.isEmpty())
            h->app->session().option.App_ESPOta = WriteEspotaScript(
                h->dir.filePath(QStringLiteral("tool")), QStringLiteral("\"$TOOL\" \"$@\"\n") + c.toolAfter);
        h->app->writeCommand();
        EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{c.outcome});
        const QStringList log = OutcomeLog(h->op.log.lines);
        std::vector<Line> shown;
        for (const Line& l : c.lines)
            if (c.diagnostic || !l.verbose) shown.push_back(l);
        for (const Line& l : outcomeLines[static_cast<int>(c.outcome)]) shown.push_back(l);
        EXPECT_TRUE(InOrder(log, shown)) << logText().toStdString();
        // The outcome lines end the log.
        const std::vector<Line>& tail = outcomeLines[static_cast<int>(c.outcome)];
        ASSERT_GE(log.size(), static_cast<qsizetype>(tail.size()));
        for (size_t i = 0; i < tail.size(); ++i)
            EXPECT_EQ(log[log.size() - static_cast<qsizetype>(tail.size() - i)], tail[i].text);
        // No other path's verdict line, and no verbose line without diagnostic mode.
        for (const QString& mark : outcomeMarks) {
            const bool expected =
                c.diagnostic && std::any_of(c.lines.begin(), c.lines.end(),
                                            [&](const Line& l) { return !l.regex && l.text == mark; });
            EXPECT_EQ(log.count(mark), expected ? 1 : 0) << mark.toStdString();
        }
        if (!c.diagnostic) {
            for (const QString& line : log) EXPECT_FALSE(kRunTime.matches(line)) << line.toStdString();
        }
        h->app->closeSequence();
    }
}

TEST_F(UpdateReport, UploadGoesToPort3232WhateverTheBoardReports) {
    // The board reports 4000 for its access point; its receiver listens on 3232.
    ready({QStringLiteral("--ap-port"), QStringLiteral("4000")});
    h->app->enableDiagnosticMode();
    h->app->writeCommand();
    EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok}) << logText().toStdString();
    EXPECT_TRUE(h->op.log.lines.contains(QStringLiteral("Port: 4000")));
    const QString command = commandLine();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("-p'? '?3232'?( |$)")).match(command).hasMatch())
        << command.toStdString();
    EXPECT_FALSE(command.contains(QStringLiteral("4000"))) << command.toStdString();
}

TEST_F(UpdateReport, OtaPasswordIsLoggedOnlyInDiagnosticMode) {
    for (const bool diagnostic : {false, true}) {
        SCOPED_TRACE(diagnostic ? "diagnostic" : "normal");
        ready({});
        if (diagnostic) h->app->enableDiagnosticMode();
        h->app->writeCommand();
        ASSERT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok})
            << logText().toStdString();
        h->app->closeSequence();
        EXPECT_TRUE(InOrder(h->op.log.lines, {kConnection}));
        if (diagnostic) {
            EXPECT_TRUE(commandLine().contains(QStringLiteral("--auth=") + kOtaPassword))
                << logText().toStdString();
            continue;
        }
        EXPECT_FALSE(logText().contains(kOtaPassword)) << logText().toStdString();
        EXPECT_FALSE(h->op.log.lines.contains(QStringLiteral("OK: Program Update")));
        // Nothing the program leaves behind holds it: the settings file, the program folder.
        ASSERT_TRUE(QFile::exists(h->settingsPath));
        QDirIterator it(h->dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
            EXPECT_FALSE(f.readAll().contains(kOtaPassword.toLatin1())) << f.fileName().toStdString();
        }
    }
}

TEST_F(UpdateReport, DeveloperTracesAreOffUntilSwitchedOnAndNeverCarryThePassword) {
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on ? "switched on" : "default");
        DeveloperTraces traces(on ? QStringLiteral("ifb.*=true") : QString());
        ready({});
        h->app->writeCommand();
        ASSERT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok});
        const QStringList& lines = DeveloperTraces::lines();
        if (!on) {
            EXPECT_EQ(lines, QStringList());
            continue;
        }
        const QString all = lines.join('\n');
        EXPECT_FALSE(all.contains(kOtaPassword)) << all.toStdString();
        for (const char* pattern :
             {"ifb.update: access point IFB-OTA-1234 127(\\.\\d+){3}", "ifb.update: PC joined after \\d+ ms",
              "ifb.tool: start (.*espota|python3)", "ifb.tool: read \\d+ of \\d+ bytes", "ifb.tool: ended",
              "ifb.update: tool ran for \\d+ ms", "ifb.update: verdict OK after \\d+ ms",
              "ifb.update: board back after \\d+ ms", "ifb.update: outcome 0"}) {
            const QRegularExpression line(QStringLiteral("^") + QString::fromUtf8(pattern) +
                                          QStringLiteral("$"));
            EXPECT_TRUE(lines.indexOf(line) >= 0) << pattern << "\n" << all.toStdString();
        }
    }
}
