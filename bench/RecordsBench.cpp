// What the records cost: one record's commit and one log line (median and
// 95th percentile, and their share of an update's CPU time), and how long the
// history window takes to open on 100,000 records.
#include <sys/resource.h>

#include <QApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <cstdio>

#include "AppHarness.h"
#include "BenchSupport.h"
#include "HistoryDialog.h"
#include "RecordKeeper.h"

using namespace ifb;
using namespace ifb::bench;

// The records' own work inside a real update, timed by wrapping it at link
// time (see records.cmake): CPU time of this thread and the number of calls.
namespace {
qint64 ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
qint64 g_commitCpuNs = 0;
qint64 g_logCpuNs = 0;
int g_logWrites = 0;
int g_depth = 0;
// The outermost of nested calls counts, on the counter it names.
struct Timed {
    explicit Timed(qint64& onto) : counter(onto), start(g_depth++ == 0 ? ThreadCpuNs() : -1) {}
    ~Timed() {
        if (--g_depth == 0) counter += ThreadCpuNs() - start;
    }
    qint64& counter;
    qint64 start;
};
}  // namespace

extern "C" {
void __real__ZN3ifb12RecordKeeper6commitERKNS_11UpdateFactsE(RecordKeeper*, const UpdateFacts&);
void __real__ZN3ifb10SessionLog5writeENS_9LineClassERK7QString(SessionLog*, LineClass, const QString&);
void __wrap__ZN3ifb12RecordKeeper6commitERKNS_11UpdateFactsE(RecordKeeper* self, const UpdateFacts& facts) {
    const Timed timed(g_commitCpuNs);
    __real__ZN3ifb12RecordKeeper6commitERKNS_11UpdateFactsE(self, facts);
}
void __wrap__ZN3ifb10SessionLog5writeENS_9LineClassERK7QString(SessionLog* self, LineClass c,
                                                               const QString& t) {
    const Timed timed(g_logCpuNs);
    ++g_logWrites;
    __real__ZN3ifb10SessionLog5writeENS_9LineClassERK7QString(self, c, t);
}
}

namespace {

double CpuMs(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double CpuMsNow() {
    return CpuMs(RUSAGE_SELF);
}

// This program's and the upload tool's: the tool is reaped before the update ends.
double UpdateCpuMsNow() {
    return CpuMs(RUSAGE_SELF) + CpuMs(RUSAGE_CHILDREN);
}

double Percentile95(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[(values.size() * 95) / 100];
}

UpdateFacts Facts(int n) {
    UpdateFacts f;
    f.startedAt = QDateTime::currentDateTimeUtc();
    f.durationMs = 12000 + n;
    f.port = QStringLiteral("/dev/ttyUSB0");
    f.model = QStringLiteral("PL-RZ41-IFB");
    f.targetId = QStringLiteral("1234");
    f.romBefore = QStringLiteral("1021IFB00");
    f.romAfter = QStringLiteral("1022IFB00");
    f.outcome = QStringLiteral("ok");
    f.outcomeCode = 0;
    return f;
}

struct UpdateCost {
    double cpuMs = 0;        // the whole update
    double commitCpuMs = 0;  // the record
    double logCpuMs = 0;     // the log writes in it
    int logWrites = 0;
    int outcome = -1;  // -1: no result (cancel end)
};

// Updates as the program runs them, one per session, against the simulator,
// on one station: its records file outlives each run.
bool Updates(int count, std::vector<UpdateCost>& costs) {
    QTemporaryDir station;
    for (int i = 0; i < count; ++i) {
        test::AppHarness h(station.filePath(QStringLiteral("app")));
        auto sim = h.bootReady({QStringLiteral("--ota-host"), PrivateLoopbackAddress()});
        if (!sim) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(h.simError));
            return false;
        }
        UpdateCost cost;
        const double before = UpdateCpuMsNow();
        g_commitCpuNs = 0;
        g_logCpuNs = 0;
        g_logWrites = 0;
        h.app->writeCommand();
        cost.cpuMs = UpdateCpuMsNow() - before;
        cost.commitCpuMs = Ms(g_commitCpuNs);
        cost.logCpuMs = Ms(g_logCpuNs);
        cost.logWrites = g_logWrites;
        if (!h.op.writeResults.empty()) cost.outcome = static_cast<int>(h.op.writeResults.front());
        costs.push_back(cost);
        h.app->closeSequence();
    }
    return true;
}

void Generate(const QString& path, int count) {
    {
        RecordStore store(path);
        store.open();
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("generate"));
        db.setDatabaseName(path);
        db.open();
        db.transaction();
        QSqlQuery q(db);
        q.prepare(
            QStringLiteral("INSERT INTO updates (uuid, started_at, finished_at, station, model, target_id, "
                           "rom_before, rom_after, outcome, outcome_code, ng_code, duration_ms, stages) "
                           "VALUES (?, ?, ?, ?, 'PL-RZ41-IFB', ?, '1021IFB00', ?, ?, ?, ?, ?, '{}')"));
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-400);
        for (int i = 0; i < count; ++i) {
            const bool ok = i % 10 != 0;
            const QDateTime t = start.addSecs(i * 300);
            q.addBindValue(QStringLiteral("gen-%1").arg(i));
            q.addBindValue(RecordTime(t));
            q.addBindValue(RecordTime(t.addSecs(40)));
            q.addBindValue(QStringLiteral("line-%1").arg(i % 4));
            q.addBindValue(QStringLiteral("%1").arg(i % 65536, 4, 16, QLatin1Char('0')).toUpper());
            q.addBindValue(ok ? QStringLiteral("1022IFB00") : QString());
            q.addBindValue(ok ? QStringLiteral("ok") : QStringLiteral("timeout"));
            q.addBindValue(ok ? 0 : 2);
            q.addBindValue(ok ? QVariant(QMetaType(QMetaType::QString)) : QVariant(QStringLiteral("NG-21")));
            q.addBindValue(40000);
            q.exec();
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("generate"));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);

    // Commit and log line on a real file.
    QTemporaryDir dir;
    test::ScriptedOperator op;
    RecordKeeper keeper(op, QStringLiteral("1022IFB00"));
    keeper.open(dir.filePath(QStringLiteral("ifb-updater.ini")));
    std::vector<double> commits;
    std::vector<double> lines;
    const double commitCpu0 = CpuMsNow();
    for (int i = 0; i < 200; ++i) {
        const qint64 t0 = MonotonicNs();
        keeper.commit(Facts(i));
        commits.push_back(Ms(MonotonicNs() - t0));
    }
    const double commitCpuMs = (CpuMsNow() - commitCpu0) / 200;
    const double lineCpu0 = CpuMsNow();
    for (int i = 0; i < 5000; ++i) {
        const qint64 t0 = MonotonicNs();
        keeper.writeLine(LineClass::Always, QStringLiteral("IFB-ROMVer : 1022IFB00 (%1)").arg(i));
        lines.push_back(Ms(MonotonicNs() - t0));
        if (op.log.lines.size() > 1000) op.log.lines.clear();
    }
    const double lineCpuMs = (CpuMsNow() - lineCpu0) / 5000;
    std::printf("record commit   : median %.3f ms, p95 %.3f ms wall, %.3f ms CPU (200 commits)\n",
                Median(commits), Percentile95(commits), commitCpuMs);
    std::printf("log line        : median %.4f ms, p95 %.4f ms wall, %.4f ms CPU (5000 lines)\n",
                Median(lines), Percentile95(lines), lineCpuMs);

    std::vector<UpdateCost> costs;
    if (Updates(3, costs)) {
        for (size_t i = 0; i < costs.size(); ++i) {
            const UpdateCost& c = costs[i];
            std::printf(
                "update %zu (outcome %2d): %.1f ms CPU in all (program and upload tool); the record %.3f ms "
                "and %d log writes %.3f ms CPU = %.2f %% (goal < 1 %%)%s\n",
                i + 1, c.outcome, c.cpuMs, c.commitCpuMs, c.logWrites, c.logCpuMs,
                100.0 * (c.commitCpuMs + c.logCpuMs) / c.cpuMs,
                i == 0 ? ", the station's first: the uploader's SHA-256 taken" : "");
        }
    } else {
        std::printf("updates failed (%zu costs)\n", costs.size());
    }

    // The history window on 100,000 records.
    const QString big = dir.filePath(QStringLiteral("big.sqlite"));
    const qint64 g0 = MonotonicNs();
    Generate(big, 100000);
    std::printf("generated       : 100000 records in %.0f ms\n", Ms(MonotonicNs() - g0));
    std::vector<double> opens;
    for (int run = 0; run < 5; ++run) {
        const qint64 t0 = MonotonicNs();
        RecordStore store(big);
        store.open();
        HistoryDialog history(store, dir.filePath(QStringLiteral("logs")));
        history.show();
        QApplication::processEvents();
        history.table().viewport()->repaint();
        const double ms = Ms(MonotonicNs() - t0);
        opens.push_back(ms);
        if (history.model().rowCount() != 100000) std::printf("rows: %d\n", history.model().rowCount());
    }
    std::printf(
        "history open    : median %.1f ms, worst %.1f ms over 5 opens of 100000 records (goal < 1000 ms)\n",
        Median(opens), *std::max_element(opens.begin(), opens.end()));
    return 0;
}
