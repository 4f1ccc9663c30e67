// The history window on a real records file: rows newest first, filters and
// totals, a record's details, the CSV export read back, the log folder; the
// main window's menu item and its count of records waiting for the central
// database.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "DialogTestSupport.h"
#include "HistoryDialog.h"
#include "MainForm.h"
#include "QtPrinters.h"
#include "RecordsMessages.h"
#include "UpdaterWindow.h"
#include "WidgetOperator.h"

using namespace ifb;
using namespace ifb::test;

namespace {

UpdateRecord Row(const char* uuid, const char* started, const char* outcome, const char* model,
                 const char* ngCode = "") {
    UpdateRecord r;
    r.uuid = QLatin1String(uuid);
    r.startedAt = ParseRecordTime(QLatin1String(started));
    r.finishedAt = r.startedAt.addMSecs(41250);
    r.station = QStringLiteral("LINE1-PC03");
    r.operatorName = QStringLiteral("yamada");
    r.firmwareId = QStringLiteral("1022IFB00");
    r.model = QString::fromUtf8(model);
    r.targetId = QStringLiteral("1234");
    r.romBefore = QStringLiteral("1021IFB00");
    r.outcome = QLatin1String(outcome);
    if (r.outcome == QLatin1String("ok")) r.romAfter = QStringLiteral("1022IFB00");
    if (r.outcome != QLatin1String("refused")) r.outcomeCode = r.outcome == QLatin1String("ok") ? 0 : 2;
    r.ngCode = QLatin1String(ngCode);
    r.durationMs = 41250;
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.stages = QStringLiteral("{\"join\":5210,\"upload\":30110}");
    r.logFile = QStringLiteral("logs/2026-03-02.log");
    return r;
}

class HistoryWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(store.open());
        QDir().mkpath(dir.filePath(QStringLiteral("logs")));
        QFile log(dir.filePath(QStringLiteral("logs/2026-03-02.log")));
        ASSERT_TRUE(log.open(QIODevice::WriteOnly));
        for (const UpdateRecord& r :
             {Row("a", "2026-03-01T01:00:00.000Z", "ok", "PL-RZ41-IFB"),
              Row("b", "2026-03-02T02:00:00.000Z", "timeout", "PL-RZ41-IFB", "NG-21"),
              Row("c", "2026-03-02T03:00:00.000Z", "ok", "PL-RZ41-IFB"),
              Row("d", "2026-03-02T04:00:00.000Z", "aborted", "PL-RZ41-IFB,\"改\"", "NG-21"),
              Row("e", "2026-03-03T05:00:00.000Z", "refused", "PL-RZ42-IFB", "NG-03")})
            ASSERT_TRUE(store.insert(r));
    }
    QTemporaryDir dir;
    RecordStore store{dir.filePath(QStringLiteral("records.sqlite"))};
    RecordingShell shell;
};

TEST_F(HistoryWindow, TableFiltersTotalsDetailsExportAndLogFolder) {
    HistoryDialog history(store, dir.filePath(QStringLiteral("logs")));
    history.resize(1000, 420);
    history.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&history));
    EXPECT_EQ(history.windowTitle(), QStringLiteral("書き込み履歴"));
    QAbstractItemModel& m = *history.table().model();
    ASSERT_EQ(m.rowCount(), 5);
    QStringList headers;
    for (int c = 0; c < m.columnCount(); ++c) headers << m.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, RecordsMessages::historyColumns());
    auto cell = [&m](int row, int column) { return m.index(row, column).data().toString(); };
    EXPECT_EQ(cell(0, 1), QStringLiteral("NG (対象外)"));
    EXPECT_EQ(cell(1, 3), QStringLiteral("PL-RZ41-IFB,\"改\""));
    EXPECT_EQ(cell(4, 1), QStringLiteral("OK"));
    EXPECT_EQ(cell(4, 0), ParseRecordTime(QStringLiteral("2026-03-01T01:00:00.000Z"))
                              .toLocalTime()
                              .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    EXPECT_EQ(history.totalsText(), QStringLiteral("OK: 2件　NG: 3件　NGコード: NG-21×2, NG-03×1"));

    if (!qEnvironmentVariableIsEmpty("IFB_SCREENSHOT_DIR")) {
        QTest::qWait(600);
        QProcess::execute(QStringLiteral("import"),
                          {QStringLiteral("-window"), QStringLiteral("root"),
                           qEnvironmentVariable("IFB_SCREENSHOT_DIR") + QStringLiteral("/history.png")});
    }

    // Filters: the result, then a model text on top.
    auto* result = child<QComboBox>(&history, "ResultFilter");
    result->setCurrentIndex(result->findData(QStringLiteral("ng")));
    history.applyFilter();
    EXPECT_EQ(m.rowCount(), 3);
    EXPECT_EQ(history.totalsText(), QStringLiteral("OK: 0件　NG: 3件　NGコード: NG-21×2, NG-03×1"));
    child<QLineEdit>(&history, "ModelFilter")->setText(QStringLiteral("RZ41"));
    // The fields apply by themselves a moment after typing.
    ASSERT_TRUE(QTest::qWaitFor([&] { return m.rowCount() == 2; }, 3000));
    EXPECT_EQ(history.totalsText(), QStringLiteral("OK: 0件　NG: 2件　NGコード: NG-21×2"));

    // Double-click: the record's details with its stages and log file.
    const QRect rowRect = history.table().visualRect(m.index(0, 1));
    QTest::mouseClick(history.table().viewport(), Qt::LeftButton, {}, rowRect.center());
    QTest::mouseDClick(history.table().viewport(), Qt::LeftButton, {}, rowRect.center());
    ASSERT_NE(history.detailsDialog(), nullptr);
    const QString details = child<QPlainTextEdit>(history.detailsDialog(), "DetailsText")->toPlainText();
    EXPECT_TRUE(details.contains(QStringLiteral("uuid: d"))) << details.toStdString();
    EXPECT_TRUE(details.contains(QStringLiteral("  join: 5210\n  upload: 30110")));
    EXPECT_TRUE(details.contains(QStringLiteral("log_file: logs/2026-03-02.log")));
    history.detailsDialog()->accept();

    // The export takes what the filter shows.
    const QString csv = dir.filePath(QStringLiteral("出力.csv"));
    history.setExportPathChooser([&csv] { return csv; });
    child<QPushButton>(&history, "ExportCsv")->click();
    EXPECT_EQ(history.lastMessage(), QStringLiteral("2 件を %1 に出力しました。").arg(csv));
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBFuuid,started_at,"));
    EXPECT_EQ(bytes.count("\r\n"), 3);
    EXPECT_TRUE(bytes.contains(",\"PL-RZ41-IFB,\"\"改\"\"\",")) << bytes.toStdString();
    if (auto* box = history.findChild<QDialog*>(QStringLiteral("HistoryExportBox"))) box->accept();

    child<QPushButton>(&history, "OpenLogFolder")->click();
    EXPECT_EQ(shell.urls, QList<QUrl>{QUrl::fromLocalFile(dir.filePath(QStringLiteral("logs")))});
}

TEST_F(HistoryWindow, MenuItemOpensItAndTheStatusBarCountsWaitingRecords) {
    QTemporaryDir program;
    UpdaterWindow window(program.filePath(QStringLiteral("ifb-updater")), QStringLiteral("1022IFB00"));
    child<QAction>(&window.form(), "HistoryItem")->trigger();
    auto* history = window.form().findChild<HistoryDialog*>(QStringLiteral("HistoryDialog"));
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->isVisible());
    EXPECT_EQ(history->model().rowCount(), 0);
    history->close();

    auto* waiting = child<QLabel>(window.form().statusBar(), "RecordsWaiting");
    EXPECT_TRUE(waiting->isHidden());
    window.op().showRecordsWaiting(3);
    EXPECT_EQ(waiting->text(), QStringLiteral("中央DB未送信: 3件"));
    EXPECT_FALSE(waiting->isHidden());
    window.op().showRecordsWaiting(0);
    EXPECT_TRUE(waiting->isHidden());
}

}  // namespace
