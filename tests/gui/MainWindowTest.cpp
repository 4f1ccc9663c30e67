#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "DialogTestSupport.h"
#include "MainForm.h"
#include "QtPrinters.h"
#include "WidgetOperator.h"

using namespace ifb;
using namespace ifb::test;

namespace {

QStringList menuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) texts.append(a->text());
    return texts;
}

QStringList linesOf(const LogMemo& memo) {
    return memo.lineCount() == 0 ? QStringList() : memo.toPlainText().split('\n');
}

}  // namespace

TEST(MainWindowTest, CaptionControlsAndMenus) {
    TVX7IFBProgAppForm w(QStringLiteral("1022IFB00"));
    EXPECT_EQ(w.windowTitle(),
              QStringLiteral("I/Fボード ファームウェアアップデート for PL-RZ41 (1022IFB00)"));
    EXPECT_EQ(child<QToolButton>(&w, "ToolButton2")->text(), QStringLiteral("書き込み開始"));
    EXPECT_EQ(child<QToolButton>(&w, "TBExit")->text(), QStringLiteral("Exit"));
    EXPECT_EQ(child<QLabel>(&w, "Label1")->text(), QStringLiteral("実行ファイル(espota.exe)"));
    EXPECT_EQ(child<QLabel>(&w, "Label2")->text(), QStringLiteral("書き込むファームウェアバージョン"));
    EXPECT_TRUE(child<LogMemo>(&w, "Memo1")->isReadOnly());

    QStringList titles;
    for (QAction* a : w.menuBar()->actions()) titles.append(a->text());
    EXPECT_EQ(titles, (QStringList{"ファイル(&F)", "設定", "記録(&R)", "ステーション(&S)", "ヘルプ(&H)"}));
    const QList<QAction*> menus = w.menuBar()->actions();
    EXPECT_EQ(menuTexts(menus.at(0)->menu()), (QStringList{"書き込み開始", "終了(&X)"}));
    EXPECT_EQ(menuTexts(menus.at(1)->menu()), QStringList{"実行ファイル再設定"});
    EXPECT_EQ(menuTexts(menus.at(2)->menu()), QStringList{"履歴(&H)..."});
    EXPECT_EQ(menuTexts(menus.at(3)->menu()), (QStringList{"連続書き込み", "カウンタをリセット"}));
    EXPECT_EQ(menuTexts(menus.at(4)->menu()), QStringList{"バージョン情報(&A)..."});
    EXPECT_EQ(child<QAction>(&w, "FileSaveItem")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));

    WidgetOperator op(w);
    op.setStatusText(QStringLiteral("------- Check IFB ----------"));
    op.showEspotaPath(QStringLiteral("/opt/espota.py"));
    op.showFirmwareVersion(QStringLiteral("Ver : 1022IFB00"));
    EXPECT_EQ(child<QLabel>(w.statusBar(), "StatusText")->text(),
              QStringLiteral("------- Check IFB ----------"));
    EXPECT_EQ(child<QLabel>(&w, "Sel_espota")->text(), QStringLiteral("/opt/espota.py"));
    EXPECT_EQ(child<QLabel>(&w, "Sel_firm")->text(), QStringLiteral("Ver : 1022IFB00"));
    EXPECT_EQ(&op.logPane(), static_cast<LogPane*>(&w.Memo1()));
}

TEST(MainWindowTest, CommandsReachTheirSignals) {
    TVX7IFBProgAppForm w(QStringLiteral("X"));
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QSignalSpy write(&w, &TVX7IFBProgAppForm::writeRequested);
    QSignalSpy reselect(&w, &TVX7IFBProgAppForm::reselectEspotaRequested);
    QSignalSpy about(&w, &TVX7IFBProgAppForm::aboutRequested);

    child<QToolButton>(&w, "ToolButton2")->click();
    child<QAction>(&w, "FileSaveItem")->trigger();
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(write.count(), 3);
    child<QAction>(&w, "N7")->trigger();
    EXPECT_EQ(reselect.count(), 1);
    child<QAction>(&w, "HelpAbout1")->trigger();
    EXPECT_EQ(about.count(), 1);

    // Write command off: the button stays in the tool bar but is disabled, the
    // menu item is hidden, the shortcut does nothing.
    w.setWriteCommandAvailable(false);
    EXPECT_TRUE(child<QToolButton>(&w, "ToolButton2")->isVisible());
    EXPECT_FALSE(child<QToolButton>(&w, "ToolButton2")->isEnabled());
    EXPECT_FALSE(child<QAction>(&w, "FileSaveItem")->isVisible());
    EXPECT_FALSE(child<QAction>(&w, "FileSaveItem")->isEnabled());
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    child<QToolButton>(&w, "ToolButton2")->click();
    EXPECT_EQ(write.count(), 3);
    w.setWriteCommandAvailable(true);
    EXPECT_TRUE(child<QAction>(&w, "FileSaveItem")->isVisible());
    EXPECT_TRUE(child<QToolButton>(&w, "ToolButton2")->isEnabled());

    // Window disabled: no command gets through, and enabling keeps the write off
    // when it was made unavailable meanwhile.
    w.setWorkEnabled(false);
    EXPECT_FALSE(w.menuBar()->isEnabled());
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    child<QToolButton>(&w, "TBExit")->click();
    EXPECT_EQ(write.count(), 3);
    EXPECT_TRUE(w.isVisible());
    w.setWriteCommandAvailable(false);
    w.setWorkEnabled(true);
    EXPECT_FALSE(child<QAction>(&w, "FileSaveItem")->isEnabled());
    EXPECT_TRUE(child<QAction>(&w, "HelpAbout1")->isEnabled());
}

TEST(MainWindowTest, CommandsDoNotNest) {
    TVX7IFBProgAppForm w(QStringLiteral("X"));
    int writes = 0, abouts = 0;
    QObject::connect(&w, &TVX7IFBProgAppForm::writeRequested, [&] {
        ++writes;
        // Something clicked while the write's wait lets events through.
        child<QAction>(&w, "HelpAbout1")->trigger();
        child<QAction>(&w, "FileSaveItem")->trigger();
    });
    QObject::connect(&w, &TVX7IFBProgAppForm::aboutRequested, [&] { ++abouts; });
    child<QAction>(&w, "FileSaveItem")->trigger();
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(abouts, 0);
    child<QAction>(&w, "HelpAbout1")->trigger();
    EXPECT_EQ(abouts, 1);
}

TEST(MainWindowTest, FirstShownOnceAfterTheWindowIsUp) {
    TVX7IFBProgAppForm w(QStringLiteral("X"));
    bool visibleThen = false;
    int shown = 0;
    QObject::connect(&w, &TVX7IFBProgAppForm::firstShown, [&] {
        ++shown;
        visibleThen = w.isVisible();
    });
    w.show();
    EXPECT_EQ(shown, 0) << "not inside show()";
    QTest::qWait(20);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(visibleThen);
    w.hide();
    w.show();
    QTest::qWait(20);
    EXPECT_EQ(shown, 1);
}

TEST(MainWindowTest, EveryCloseRunsTheHandlerOnceBeforeTheWindowGoes) {
    const std::function<void(TVX7IFBProgAppForm&)> ways[] = {
        [](TVX7IFBProgAppForm& w) { child<QToolButton>(&w, "TBExit")->click(); },
        [](TVX7IFBProgAppForm& w) { child<QAction>(&w, "FileExitItem")->trigger(); },
        [](TVX7IFBProgAppForm& w) { w.close(); },
        [](TVX7IFBProgAppForm& w) {
            w.requestClose();
            QTest::qWait(20);
        },
    };
    for (const auto& way : ways) {
        TVX7IFBProgAppForm w(QStringLiteral("X"));
        w.show();
        int handled = 0;
        bool visibleDuringHandler = false;
        QObject::connect(&w, &TVX7IFBProgAppForm::closeRequested, [&] {
            ++handled;
            visibleDuringHandler = w.isVisible();
            w.close();  // a close asked for by the handler itself changes nothing
        });
        way(w);
        EXPECT_EQ(handled, 1);
        EXPECT_TRUE(visibleDuringHandler);
        EXPECT_FALSE(w.isVisible());
        EXPECT_TRUE(w.closeHandled());
        w.close();
        EXPECT_EQ(handled, 1);
    }
}

TEST(MainWindowTest, CloseDuringACommandWaitsForItsEnd) {
    TVX7IFBProgAppForm w(QStringLiteral("X"));
    WidgetOperator op(w);
    w.show();
    QStringList order;
    QObject::connect(&w, &TVX7IFBProgAppForm::writeRequested, [&] {
        order << "write begins";
        w.close();          // the close box, clicked while the write waits
        op.requestClose();  // the workflow asking to close
        QTest::qWait(20);
        EXPECT_TRUE(w.isVisible());
        order << "write ends";
    });
    QObject::connect(&w, &TVX7IFBProgAppForm::closeRequested, [&] { order << "close"; });
    child<QAction>(&w, "FileSaveItem")->trigger();
    QTest::qWait(20);
    EXPECT_EQ(order, (QStringList{"write begins", "write ends", "close"}));
    EXPECT_FALSE(w.isVisible());
}

TEST(MainWindowTest, LogPaneLines) {
    TVX7IFBProgAppForm w(QStringLiteral("X"));
    LogMemo& memo = w.Memo1();
    EXPECT_EQ(memo.lineCount(), 0);
    memo.appendLine(QString());
    EXPECT_EQ(memo.lineCount(), 1) << "an empty line is a line";
    memo.appendLine(QStringLiteral("IFB-ROMVer : 1.00"));
    memo.appendLine(QStringLiteral("a\nb\r\nc"));
    EXPECT_EQ(memo.lineCount(), 5);
    EXPECT_EQ(linesOf(memo), (QStringList{"", "IFB-ROMVer : 1.00", "a", "b", "c"}));
    memo.clear();
    EXPECT_EQ(memo.lineCount(), 0);
    memo.appendLine(QStringLiteral("x"));
    EXPECT_EQ(linesOf(memo), QStringList{"x"});
    // Emptied behind the pane's back, it still counts right.
    static_cast<QPlainTextEdit&>(memo).clear();
    EXPECT_EQ(memo.lineCount(), 0);
}

TEST(MainWindowTest, LogPaneStartsAnewPastTheLineLimit) {
    TVX7IFBProgAppForm w(QStringLiteral("X"));
    LogMemo& memo = w.Memo1();
    for (int i = 0; i < kLogPaneLineLimit - 1; ++i) AppendLogLine(memo, QString::number(i));
    EXPECT_EQ(memo.lineCount(), kLogPaneLineLimit - 1);
    AppendLogLine(memo, QStringLiteral("last"));
    EXPECT_EQ(memo.lineCount(), kLogPaneLineLimit);
    AppendLogLine(memo, QStringLiteral("first again"));
    EXPECT_EQ(linesOf(memo), QStringList{"first again"});
}

TEST(MainWindowTest, FloodOfToolOutputKeepsOnlyTheNewestLines) {
    TVX7IFBProgAppForm w(QStringLiteral("X"));
    LogMemo& memo = w.Memo1();
    QString chunk;
    for (int i = 0; i < 100; ++i) chunk += QStringLiteral("line %1\n").arg(i);
    for (int i = 0; i < 1000; ++i) memo.appendLine(chunk);  // what the tool runner does, unchecked
    EXPECT_EQ(memo.lineCount(), LogMemo::kToolOutputLineLimit);
    EXPECT_EQ(linesOf(memo).last(), QString());
}

TEST(MainWindowTest, PopupMenuClearEmptiesTheLog) {
    TVX7IFBProgAppForm w(QStringLiteral("X"));
    LogMemo& memo = w.Memo1();
    EXPECT_EQ(memo.contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_EQ(menuTexts(memo.popupMenu()), QStringList{"クリア"});
    memo.appendLine(QStringLiteral("one"));
    memo.appendLine(QStringLiteral("two"));
    memo.clearAction()->trigger();
    EXPECT_EQ(memo.lineCount(), 0);
    EXPECT_TRUE(memo.toPlainText().isEmpty());
}
