// Station mode as the window shows it: the menu's switch, the "次のボード"
// button, the waiting notice and the counters, and the switch kept across runs.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>

#include "DialogTestSupport.h"
#include "MainForm.h"
#include "QtPrinters.h"
#include "TestFiles.h"
#include "UpdaterApp.h"
#include "UpdaterWindow.h"
#include "WidgetOperator.h"

using namespace ifb;
using namespace ifb::test;

namespace {

TEST(StationWindow, SwitchButtonNoticeCountersAndTheSettingKept) {
    QTemporaryDir program;
    const QString exe = program.filePath(QStringLiteral("ifb-updater"));
    {
        UpdaterWindow window(exe, QStringLiteral("1022IFB00"));
        TVX7IFBProgAppForm& form = window.form();
        QAction* item = child<QAction>(&form, "StationModeItem");
        EXPECT_EQ(item->text(), QStringLiteral("連続書き込み"));
        EXPECT_FALSE(item->isChecked());
        EXPECT_TRUE(form.stationCountersText().isEmpty());
        item->trigger();
        EXPECT_TRUE(window.core().station().enabled());
        EXPECT_EQ(form.nextBoardButton()->text(), QStringLiteral("次のボード"));
        EXPECT_EQ(form.stationCountersText(), QStringLiteral("台数: 0  OK: 0  NG: 0  最新: 0"));
        EXPECT_EQ(child<QLabel>(form.statusBar(), "StationStatus")->text(), form.stationCountersText());
        EXPECT_TRUE(form.stationNoticeText().isEmpty());

        window.op().showStation({true, true, QStringLiteral("台数: 2  OK: 1  NG: 1 (NG-U04)  最新: 0")});
        EXPECT_EQ(form.stationNoticeText(), QStringLiteral("次のボードを接続してください"));
        EXPECT_EQ(form.stationCountersText(), QStringLiteral("台数: 2  OK: 1  NG: 1 (NG-U04)  最新: 0"));
        window.core().closeSequence();
    }
    const QString settings =
        QString::fromUtf8(FileBytes(program.filePath(QStringLiteral("Vardelintool/ifb-updater.ini"))));
    EXPECT_TRUE(settings.contains(QStringLiteral("[Station]\nEnabled=1\n"))) << settings.toStdString();
    UpdaterWindow again(exe, QStringLiteral("1022IFB00"));
    EXPECT_TRUE(child<QAction>(&again.form(), "StationModeItem")->isChecked());
    EXPECT_TRUE(again.core().station().enabled());
}

}  // namespace
