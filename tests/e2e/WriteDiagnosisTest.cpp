// The write as the operator sees it: progress from the tool's own output, the
// stage timings, the network check and an NG code for every fault.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>

#include "AppHarness.h"
#include "EspotaCommand.h"
#include "OutcomeLog.h"
#include "QtPrinters.h"

using namespace ifb;
using namespace ifb::test;

namespace {

NetworkAdapter Loopback(int prefixLength) {
    NetworkAdapter adapter;
    adapter.friendlyName = QStringLiteral("lo");
    adapter.addresses.append({AddressFamily::IPv4, QStringLiteral("127.0.0.1"), prefixLength});
    return adapter;
}

const QStringList kAllStages{QStringLiteral("アクセスポイント情報"),
                             QStringLiteral("OTAモード切替"),
                             QStringLiteral("Wi-Fi接続待ち"),
                             QStringLiteral("事前確認"),
                             QStringLiteral("書換ツール起動"),
                             QStringLiteral("招待"),
                             QStringLiteral("認証"),
                             QStringLiteral("転送"),
                             QStringLiteral("ボード検証"),
                             QStringLiteral("再起動・バージョン確認"),
                             QStringLiteral("動作モード復帰")};

class WriteDiagnosis : public ::testing::Test {
  public:  // the fault table's preparations reach in
    void ready(const QStringList& simArgs, const QMap<QString, QString>& extra = {}) {
        h = std::make_unique<AppHarness>();
        sim = h->bootReady(simArgs, extra);
        ASSERT_TRUE(sim) << h->simError.toStdString();
        // The simulators listen on 127.x addresses: the loopback network holds them.
        h->app->session().networkAdapters = [] { return QList<NetworkAdapter>{Loopback(8)}; };
    }
    void useTool(const QString& body) {
        h->app->session().option.App_ESPOta =
            WriteEspotaScript(h->dir.filePath(QStringLiteral("tool")), body);
    }
    void TearDown() override {
        if (h && h->app) h->app->closeSequence();
    }
    QString logText() const { return h->op.log.lines.join('\n'); }
    // The stage names of the timing lines at the end of the log.
    QStringList loggedStages() const {
        QStringList names;
        for (const QString& line : h->op.log.lines) {
            if (!line.startsWith(QStringLiteral("工程 "))) continue;
            names.append(line.mid(3, line.lastIndexOf(QStringLiteral(": ")) - 3));
            EXPECT_TRUE(line.contains(QRegularExpression(QStringLiteral(": \\d+ms$")))) << line.toStdString();
        }
        return names;
    }
    QString firmwareFile() const { return ProgramFolder(h->exePath) + QStringLiteral("/UOf.bin"); }

    std::unique_ptr<AppHarness> h;
    std::unique_ptr<SimProcess> sim;
};

}  // namespace

// Our espota prints dots as espota.py does, and frames with -r: both read the same.
TEST_F(WriteDiagnosis, ProgressRisesToOneHundredOnceAndEveryStageIsTimed) {
    const struct {
        const char* name;
        QString tool;  // empty: our espota as configured
    } cases[] = {
        {"dots", QString()},
        {"percent frames", QStringLiteral("exec \"$TOOL\" \"$@\" -r")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ready({});
        if (!c.tool.isEmpty()) useTool(c.tool);
        h->app->writeCommand();
        ASSERT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::Ok})
            << logText().toStdString();

        int hundreds = 0;
        int last = -1;
        bool transferSeen = false;
        bool waitSeen = false;
        for (const ProgressReport& r : h->op.reports) {
            EXPECT_LE(r.percent, 100);
            if (r.stage == QStringLiteral("Wi-Fi接続待ち")) {
                waitSeen = true;
                EXPECT_TRUE(r.detail.endsWith(QStringLiteral(" / 5秒"))) << r.detail.toStdString();
                continue;
            }
            if (r.stage == QStringLiteral("転送")) transferSeen = true;
            EXPECT_GE(r.percent, last) << "backwards at " << r.detail.toStdString();
            if (r.percent == 100 && last != 100) ++hundreds;
            last = r.percent;
        }
        EXPECT_TRUE(waitSeen);
        EXPECT_TRUE(transferSeen);
        EXPECT_EQ(hundreds, 1);
        EXPECT_EQ(h->op.reports.back().stage, QStringLiteral("再起動・バージョン確認"));

        EXPECT_EQ(loggedStages(), kAllStages) << logText().toStdString();
        EXPECT_EQ(OutcomeLog(h->op.log.lines).last(),
                  QStringLiteral("OK:ファームウェア書き込みが正常に完了しました。"));
        ASSERT_EQ(h->op.results.size(), 1u);
        EXPECT_FALSE(h->op.results[0].ng.has_value());
        EXPECT_GT(h->op.results[0].totalMs, 0);
        EXPECT_TRUE(h->op.log.lines.contains(QStringLiteral("事前確認: PCのアドレス 127.0.0.1/8 (lo)")));
        h->app->closeSequence();
    }
}

// Each fault ends with its outcome and its code, the board back in its mode
// and the firmware file gone.
TEST_F(WriteDiagnosis, EveryFaultGetsItsCode) {
    const QString okTool = QStringLiteral("\"$TOOL\" \"$@\"");
    const struct {
        const char* name;
        QStringList simArgs;
        QMap<QString, QString> settings;
        QString tool;  // the upload tool's script; empty: our espota
        std::function<void(WriteDiagnosis&)> prepare;
        UpdateOutcome outcome;
        NgCode code;
    } cases[] = {
        {"PC never joined",
         {QStringLiteral("--never-join")},
         {{QStringLiteral("CONECT_WAIT_TIME"), QStringLiteral("1500")}},
         QString(),
         nullptr,
         UpdateOutcome::TimeOut,
         NgCode::W01},
        {"no PC address in the board's network",
         {},
         {},
         QString(),
         [](WriteDiagnosis& t) {
             t.h->app->session().networkAdapters = [] {
                 NetworkAdapter office;
                 office.friendlyName = QStringLiteral("eth0");
                 office.addresses.append({AddressFamily::IPv4, QStringLiteral("10.1.2.3"), 16});
                 return QList<NetworkAdapter>{office};
             };
         },
         UpdateOutcome::TimeOut,
         NgCode::W02},
        {"firmware file not written",
         {},
         {},
         QString(),
         [](WriteDiagnosis& t) { ASSERT_TRUE(QDir().mkpath(t.firmwareFile())); },
         UpdateOutcome::Aborted,
         NgCode::F01},
        {"invitations unanswered",
         {QStringLiteral("--ota-ignore-invitations")},
         {{QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("1500")}},
         QStringLiteral("exec \"$TOOL\" \"$@\" -t 0.2"),
         nullptr,
         UpdateOutcome::ToolFailed,
         NgCode::U01},
        {"no connection back",
         {QStringLiteral("--ota-no-connect-back")},
         {},
         QStringLiteral("exec \"$TOOL\" \"$@\" --retries 0"),
         nullptr,
         UpdateOutcome::ToolFailed,
         NgCode::U03},
        {"transfer cut",
         {QStringLiteral("--ota-close-after"), QStringLiteral("400000")},
         {},
         QStringLiteral("exec \"$TOOL\" \"$@\" --retries 0"),
         nullptr,
         UpdateOutcome::ToolFailed,
         NgCode::U04},
        {"password refused",
         {QStringLiteral("--ota-password"), QStringLiteral("other")},
         {},
         QString(),
         nullptr,
         UpdateOutcome::ToolFailed,
         NgCode::U02},
        {"tool not there",
         {},
         {{QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("1500")}},
         QStringLiteral("exec /nonexistent/espota.py \"$@\""),
         nullptr,
         UpdateOutcome::TimeOut,
         NgCode::U05},
        {"tool not executable",
         {},
         {},
         QString(),
         [](WriteDiagnosis& t) {
             const QString path = t.h->dir.filePath(QStringLiteral("plain/espota"));
             QDir().mkpath(QFileInfo(path).path());
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write("#!/bin/sh\n");
             file.close();
             t.h->app->session().option.App_ESPOta = path;
         },
         UpdateOutcome::ToolFailed,
         NgCode::U05},
        {"tool output with an error, image taken",
         {},
         {},
         okTool + QStringLiteral("\necho 'Error: log rotation'"),
         nullptr,
         UpdateOutcome::Aborted,
         NgCode::U06},
        {"image rejected",
         {QStringLiteral("--ota-result"), QStringLiteral("br")},
         {},
         QString(),
         nullptr,
         UpdateOutcome::Aborted,
         NgCode::B01},
        {"no verdict",
         {QStringLiteral("--ota-result"), QStringLiteral("none")},
         {{QStringLiteral("Prog_WAIT_TIME"), QStringLiteral("2000")}},
         QString(),
         nullptr,
         UpdateOutcome::TimeOut,
         NgCode::B02},
        {"other version after the update",
         {QStringLiteral("--rom-after-update"), QStringLiteral("1022IFB01")},
         {},
         QString(),
         nullptr,
         UpdateOutcome::Aborted,
         NgCode::B03},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ready(c.simArgs, c.settings);
        if (!c.tool.isEmpty()) useTool(c.tool);
        if (c.prepare) c.prepare(*this);
        h->app->writeCommand();
        EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{c.outcome}) << logText().toStdString();
        ASSERT_EQ(h->op.results.size(), 1u);
        EXPECT_EQ(h->op.results[0].ng, c.code) << logText().toStdString();
        // The code line follows the outcome lines, before the stage timings.
        const QStringList log = h->op.log.lines;
        const QStringList outcome = OutcomeLog(log);
        ASSERT_LT(outcome.size(), log.size());
        EXPECT_EQ(
            log.at(outcome.size()),
            write_messages::NgLogLine(c.code, QFileInfo(h->app->session().option.App_ESPOta).fileName()));
        EXPECT_EQ(loggedStages().last(), QStringLiteral("動作モード復帰"));
        EXPECT_EQ(sim->lastMode(), 3);
        EXPECT_FALSE(QFileInfo(firmwareFile()).isFile());
        h->app->closeSequence();
    }
}

// Without an address in the board's network the tool is never started: the
// update ends at once instead of after minutes of invitations.
TEST_F(WriteDiagnosis, PreflightFailureEndsBeforeTheTool) {
    ready({});
    useTool(QStringLiteral("touch \"$(dirname \"$0\")/ran\"\n\"$TOOL\" \"$@\""));
    h->app->session().networkAdapters = [] { return QList<NetworkAdapter>{Loopback(32)}; };
    QElapsedTimer t;
    t.start();
    h->app->writeCommand();
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_EQ(h->op.writeResults, std::vector<UpdateOutcome>{UpdateOutcome::TimeOut});
    EXPECT_FALSE(QFileInfo::exists(h->dir.filePath(QStringLiteral("tool/ran"))));
    EXPECT_TRUE(h->op.writeCommandAvailable) << "the write button works again";
    EXPECT_EQ(sim->lastMode(), 3);
    EXPECT_TRUE(h->op.log.lines.contains(
        QStringLiteral("事前確認: ボード %1 のネットワークにPCのアドレスがありません。")
            .arg(DottedIpv4(h->app->session().wifiAp.ipAddress))))
        << logText().toStdString();
}
