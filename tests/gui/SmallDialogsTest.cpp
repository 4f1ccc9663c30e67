#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "About.h"
#include "ClickableLabel.h"
#include "DialogTestSupport.h"
#include "Guage1Dlg.h"
#include "Input1.h"
#include "MainForm.h"
#include "MsgDlg1.h"
#include "OpenCom1Dlg.h"
#include "QtPrinters.h"
#include "RecordingMessageBoxes.h"
#include "Result1.h"
#include "UiStyle.h"
#include "VersionInfo.h"
#include "WidgetOperator.h"

using namespace ifb;
using namespace ifb::test;

namespace {

QColor textColour(const QWidget* w) {
    return w->palette().color(QPalette::WindowText);
}

class DialogsTest : public ::testing::Test {
  protected:
    RecordingShell shell;
    RecordingMessageBoxes boxes;
    TVX7IFBProgAppForm window{QStringLiteral("1022IFB00")};
    WidgetOperator op{window};
};

}  // namespace

TEST_F(DialogsTest, ResultDialogShowsTheVerdictOfEachOutcome) {
    const QString aborted = QStringLiteral(
        "\nファームウェア書き込みを中止しました。\n\nソフトを再起動し、もう一度書き込みを行ってください。");
    const struct {
        WriteResult result;
        const char* verdict;
        QColor colour;
        QString text;
        QString diagnosis;
    } cases[] = {
        {{UpdateOutcome::Ok, std::nullopt, QString(), 12345},
         "OK",
         QColor(0, 0, 255),
         QStringLiteral("\nファームウェア書き込みが正常に完了しました。"),
         QStringLiteral("所要時間: 12.3秒")},
        {{UpdateOutcome::Aborted, NgCode::B01, QString(), 900},
         "NG",
         QColor(255, 0, 0),
         aborted,
         QStringLiteral("NG-B01: ボードがファームウェアを受け付けませんでした。\n"
                        "ソフトを再起動し、もう一度書き込んでください。\n所要時間: 0.9秒")},
        {{UpdateOutcome::TimeOut, NgCode::U03, QStringLiteral("espota.exe"), 61000},
         "NG",
         QColor(255, 0, 0),
         QStringLiteral("\nタイムアウトしました。\n\n接続を確認し、もう一度書き込みを行ってください。"),
         QStringLiteral(
             "NG-U03: ボードからPCへ接続できませんでした（PCのファイアウォール）。\n"
             "ファイアウォールで espota.exe の受信を許可し、ネットワークをプライベートにしてください。\n"
             "所要時間: 61.0秒")},
        {{UpdateOutcome::ToolFailed, NgCode::U05, QString(), 0},
         "NG",
         QColor(255, 0, 0),
         QStringLiteral("\nespota.exeでエラーが発生しました。\n\n接続製品とソフトを再起動してください。"),
         QStringLiteral("NG-U05: 書換ツールを起動できませんでした。\n"
                        "書換ツールのパス（App_ESPOta）と実行権限を確認してください。\n所要時間: 0.0秒")},
    };
    for (const auto& c : cases) {
        bool seen = false;
        WhenModal<TResultDlg>([&](TResultDlg* d) {
            seen = true;
            EXPECT_EQ(d->windowTitle(), QStringLiteral("書き込み結果"));
            EXPECT_EQ(d->parentWidget(), &window);
            EXPECT_EQ(d->ST1()->text(), QLatin1String(c.verdict));
            EXPECT_EQ(textColour(d->ST1()), c.colour);
            EXPECT_EQ(d->ST1()->font().pixelSize(), 64);
            EXPECT_EQ(d->ST2()->text(), c.text);
            EXPECT_EQ(d->diagnosis()->text(), c.diagnosis);
            EXPECT_GE(d->height(), d->sizeHint().height()) << "the diagnosis is not cut off";
            auto* ok = child<QPushButton>(d, "Button1");
            EXPECT_EQ(ok->text(), QStringLiteral("OK"));
            EXPECT_TRUE(ok->isDefault());
            QTest::keyClick(KeyTarget(d), Qt::Key_Return);
        });
        ShowWriteResult(&window, c.result);
        EXPECT_TRUE(seen) << static_cast<int>(c.result.outcome);
    }
}

TEST_F(DialogsTest, JoinDialogConfirmsWithOkAndRefusesWithEscapeOrCancel) {
    JoinInstruction join;
    join.caption = QStringLiteral("WiFi接続");
    join.message1 = QStringLiteral("一行目\n二行目");
    join.message2 = QStringLiteral("次に");
    join.memoLines = {QStringLiteral("SSID      : IFB-AP"), QStringLiteral("Password  : secret")};
    const struct {
        const char* how;
        std::function<void(TMsg1Dlg*)> act;
        bool answer;
    } cases[] = {
        {"OK button", [](TMsg1Dlg* d) { child<QPushButton>(d, "OKBtn")->click(); }, true},
        {"Enter", [](TMsg1Dlg* d) { QTest::keyClick(KeyTarget(d), Qt::Key_Return); }, true},
        {"Escape", [](TMsg1Dlg* d) { QTest::keyClick(KeyTarget(d), Qt::Key_Escape); }, false},
        {"Cancel button", [](TMsg1Dlg* d) { child<QPushButton>(d, "CancelBtn")->click(); }, false},
        {"close box", [](TMsg1Dlg* d) { d->close(); }, false},
    };
    for (const auto& c : cases) {
        WhenModal<TMsg1Dlg>([&](TMsg1Dlg* d) {
            EXPECT_EQ(d->windowTitle(), join.caption);
            EXPECT_EQ(d->lMessage1()->text(), join.message1);
            EXPECT_EQ(d->lMessage2()->text(), join.message2);
            EXPECT_EQ(d->Memo1()->toPlainText(), join.memoLines.join('\n'));
            EXPECT_TRUE(d->Memo1()->isReadOnly());
            EXPECT_TRUE(d->Memo1()->font().fixedPitch());
            EXPECT_EQ(d->Memo1()->palette().color(QPalette::Base), kCream);
            EXPECT_EQ(d->palette().color(QPalette::Window), kCream);
            EXPECT_EQ(child<QPushButton>(d, "OKBtn")->text(), QStringLiteral("OK"));
            EXPECT_EQ(child<QPushButton>(d, "CancelBtn")->text(), QStringLiteral("キャンセル"));
            for (const char* name : {"STMessage1", "STMessage2"}) {
                EXPECT_TRUE(child<QLabel>(d, name)->isHidden());
                EXPECT_TRUE(child<QLabel>(d, name)->text().isEmpty());
            }
            c.act(d);
        });
        EXPECT_EQ(op.confirmJoin(join), c.answer) << c.how;
    }
}

// The automatic join from the join dialog: a join closes it as OK does, a
// failed one says why and leaves OK and Cancel as they were.
TEST_F(DialogsTest, JoinDialogJoinsByItselfWhenOfferedAndFallsBackToTheManualWay) {
    enum class Then { Nothing, Ok, Cancel, CancelWhileJoining };
    const struct {
        const char* what;
        bool atOnce;
        bool joins;
        Then then;
        bool answer;
    } cases[] = {
        {"button, joined", false, true, Then::Nothing, true},
        {"button, failed, then OK", false, false, Then::Ok, true},
        {"button, failed, then Cancel", false, false, Then::Cancel, false},
        {"at once, joined", true, true, Then::Nothing, true},
        {"Cancel while joining", false, true, Then::CancelWhileJoining, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        JoinInstruction join;
        join.caption = QStringLiteral("OTA経由のアップデート開始");
        join.memoLines = {QStringLiteral("SSID      : IFB-AP"), QStringLiteral("Password  : secret")};
        join.joiningText = QStringLiteral("「IFB-AP」に接続しています...");
        join.joinAtOnce = c.atOnce;
        join.offerButton = true;
        int joins = 0;
        bool stopped = false;
        TMsg1Dlg* shown = nullptr;
        join.autoJoin = [&](const std::function<bool()>& stop) {
            ++joins;
            if (!shown) shown = qobject_cast<TMsg1Dlg*>(QApplication::activeModalWidget());
            if (!shown) {
                ADD_FAILURE() << "no join dialog";
                return AutoJoinResult{};
            }
            EXPECT_FALSE(child<QPushButton>(shown, "OKBtn")->isEnabled());
            EXPECT_EQ(child<QLabel>(shown, "AutoJoinStatus")->text(), join.joiningText);
            if (c.then == Then::CancelWhileJoining) {
                QTimer::singleShot(50, shown, [&] { child<QPushButton>(shown, "CancelBtn")->click(); });
                QElapsedTimer clock;
                clock.start();
                while (!stop() && clock.elapsed() < 5000) QTest::qWait(10);
                stopped = stop();
            }
            return c.joins
                       ? AutoJoinResult{true, QStringLiteral("「IFB-AP」に接続しました (wlan0)。")}
                       : AutoJoinResult{
                             false,
                             QStringLiteral("自動接続できませんでした: SSID「IFB-AP」が見つかりません。")};
        };
        // Joining at once needs nobody at the dialog.
        if (!c.atOnce)
            WhenModal<TMsg1Dlg>([&](TMsg1Dlg* d) {
                shown = d;
                QPushButton* button = child<QPushButton>(d, "AutoJoinBtn");
                EXPECT_FALSE(button->isHidden());
                EXPECT_EQ(button->text(), QStringLiteral("自動接続"));
                button->click();
                if (c.joins) return;
                EXPECT_TRUE(d->isVisible());
                EXPECT_TRUE(child<QPushButton>(d, "OKBtn")->isEnabled());
                EXPECT_EQ(child<QLabel>(d, "AutoJoinStatus")->text(),
                          QStringLiteral("自動接続できませんでした: SSID「IFB-AP」が見つかりません。\n"
                                         "手動で接続してOKを押してください。"));
                child<QPushButton>(d, c.then == Then::Ok ? "OKBtn" : "CancelBtn")->click();
            });
        EXPECT_EQ(op.confirmJoin(join), c.answer);
        EXPECT_EQ(joins, 1);
        EXPECT_EQ(stopped, c.then == Then::CancelWhileJoining);
    }
    // Not possible on this PC, or not asked for by the settings (the dialog as it
    // always was): no button, and nothing joins by itself.
    JoinInstruction notAskedFor;
    int joins = 0;
    notAskedFor.autoJoin = [&joins](const std::function<bool()>&) {
        ++joins;
        return AutoJoinResult{};
    };
    notAskedFor.joinAtOnce = true;
    for (const JoinInstruction& join : {JoinInstruction{}, notAskedFor}) {
        WhenModal<TMsg1Dlg>([&](TMsg1Dlg* d) {
            EXPECT_TRUE(child<QPushButton>(d, "AutoJoinBtn")->isHidden());
            d->reject();
        });
        EXPECT_FALSE(op.confirmJoin(join));
    }
    EXPECT_EQ(joins, 0);
}

TEST_F(DialogsTest, ProgressDialogConfigurations) {
    const struct {
        ProgressKind kind;
        const char* banner;
        bool panel, writing;
    } cases[] = {
        {ProgressKind::BoardCheck, "------- Check IFB ----------", true, false},
        {ProgressKind::ConnectionWait, "------- Check WiFi AP Connection ----------", false, false},
        {ProgressKind::FirmwareWrite, "------- WiFi OTA Mode ----------", false, true},
    };
    for (const auto& c : cases) {
        op.openProgress({c.kind, QStringLiteral("しばらくお待ちください"), QLatin1String(c.banner)});
        ASSERT_TRUE(op.progressOpen());
        TGuage1Dlg* d = op.progressDialog();
        EXPECT_TRUE(d->isVisible());
        EXPECT_FALSE(d->isModal());
        EXPECT_EQ(d->parentWidget(), &window);
        EXPECT_EQ(d->windowTitle(), QStringLiteral("しばらくお待ちください"));
        EXPECT_EQ(d->Label1()->text(), QLatin1String(c.banner));
        EXPECT_EQ(d->size(), QSize(333, 125));
        EXPECT_FALSE(d->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        EXPECT_FALSE(d->windowFlags().testFlag(Qt::WindowSystemMenuHint));
        EXPECT_TRUE(d->Button1()->isHidden());
        EXPECT_EQ(d->Panel2()->isVisible(), c.panel);
        if (c.panel) {
            EXPECT_TRUE(d->ProgressBar1()->isEnabled());
            EXPECT_EQ(d->ProgressBar1()->maximum(), 0) << "marquee";
        }
        EXPECT_EQ(d->CT()->isVisible(), c.writing);
        EXPECT_EQ(d->dot()->isVisible(), c.writing);
        if (c.writing) {
            EXPECT_EQ(d->CT()->text(), QStringLiteral("書き込み中"));
            EXPECT_EQ(d->CT()->font().pixelSize(), 40);
            op.setProgressDots(QStringLiteral("・・"));
            EXPECT_EQ(d->dot()->text(), QStringLiteral("・・"));
        }
        // The operator cannot close it.
        QTest::keyClick(KeyTarget(d), Qt::Key_Escape);
        d->close();
        EXPECT_TRUE(d->isVisible());

        op.closeProgress();
        EXPECT_FALSE(op.progressOpen());
        EXPECT_EQ(LiveDialogs(), 0);
    }
    // Dots without a dialog, or a second close, do nothing.
    op.setProgressDots(QStringLiteral("・"));
    op.closeProgress();
}

TEST_F(DialogsTest, OnlyOneProgressDialogAtATime) {
    op.openProgress({ProgressKind::BoardCheck, QStringLiteral("a"), QStringLiteral("b")});
    op.openProgress({ProgressKind::ConnectionWait, QStringLiteral("c"), QStringLiteral("d")});
    EXPECT_EQ(LiveDialogs(), 1);
    EXPECT_EQ(op.progressDialog()->windowTitle(), QStringLiteral("c"));
    op.closeProgress();
    EXPECT_EQ(LiveDialogs(), 0);
}

// Dialogs owned by the main window must still take input and paint normally
// while the window's commands are off, also those opened before.
TEST_F(DialogsTest, DialogsStayUsableWhileTheMainWindowIsDisabled) {
    op.openProgress({ProgressKind::BoardCheck, QStringLiteral("a"), QStringLiteral("b")});
    op.setMainWindowEnabled(false);
    EXPECT_TRUE(op.progressDialog()->isEnabled());
    EXPECT_TRUE(op.progressDialog()->ProgressBar1()->isEnabled());
    op.closeProgress();
    EXPECT_TRUE(window.Memo1().isEnabled()) << "the log stays readable";
    WhenModal<TMsg1Dlg>([](TMsg1Dlg* d) {
        EXPECT_TRUE(child<QPushButton>(d, "OKBtn")->isEnabled());
        child<QPushButton>(d, "OKBtn")->click();
    });
    EXPECT_TRUE(op.confirmJoin({}));
}

TEST_F(DialogsTest, NoDialogOutlivesItsUse) {
    const int before = LiveDialogs();
    for (int round = 0; round < 3; ++round) {
        WhenModal<TOpenCom1Dlg>([](TOpenCom1Dlg* d) { d->accept(); });
        op.runPortDialog({QStringLiteral("x"), {QStringLiteral("COM1()")}, 0, 1, 0});
        op.openProgress({ProgressKind::BoardCheck, QStringLiteral("a"), QStringLiteral("b")});
        op.closeProgress();
        WhenModal<TMsg1Dlg>([](TMsg1Dlg* d) { d->accept(); });
        op.confirmJoin({});
        WhenModal<TResultDlg>([](TResultDlg* d) { d->accept(); });
        WriteResult result;
        result.outcome = static_cast<UpdateOutcome>(round);
        op.showWriteResult(result);
        WhenModal<TInputDlg1>([](TInputDlg1* d) { d->reject(); });
        op.runEspotaDialog(QString());
        EXPECT_EQ(LiveDialogs(), before) << "round " << round;
        EXPECT_TRUE(window.findChildren<QDialog*>().isEmpty());
    }
}

namespace {

// Sends a drag of the given data over EF1 and drops it when accepted.
bool dropOn(QWidget* field, QMimeData* mime) {
    const QPoint at = field->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &drop);
    return drop.isAccepted();
}

QMimeData* filesMime(const QStringList& paths) {
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths) urls.append(QUrl::fromLocalFile(p));
    mime->setUrls(urls);
    return mime;
}

}  // namespace

TEST_F(DialogsTest, EspotaDialogTextsAndAnswers) {
    WhenModal<TInputDlg1>([this](TInputDlg1* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("OTA書換ツールの選択"));
        EXPECT_EQ(d->parentWidget(), &window);
        auto* st1 = child<QLabel>(d, "ST1");
        EXPECT_EQ(st1->text(), QStringLiteral("OTA書換ツール「espota.exe」を選択してください。"));
        EXPECT_EQ(st1->palette().color(QPalette::Window), kSkyBlue);
        EXPECT_EQ(child<QLineEdit>(d, "EF1")->text(), QStringLiteral("/opt/tools/espota.py"));
        auto* st2 = child<QLabel>(d, "ST2");
        EXPECT_TRUE(st2->isVisible());
        EXPECT_EQ(st2->text(), QStringLiteral("espota.exeは下記URLよりダウンロードしてください。"));
        auto* url = child<ClickableLabel>(d, "URL");
        EXPECT_TRUE(url->isVisible());
        EXPECT_EQ(textColour(url), kBlue);
        EXPECT_EQ(url->text(), EspotaDownloadUrl());
        QTest::mouseClick(url, Qt::LeftButton);
        EXPECT_EQ(shell.urls, QList<QUrl>{QUrl(EspotaDownloadUrl())});
        EXPECT_EQ(child<QPushButton>(d, "Button1")->text(), QStringLiteral("OK"));
        EXPECT_EQ(child<QPushButton>(d, "Button2")->text(), QStringLiteral("キャンセル"));
        child<QLineEdit>(d, "EF1")->setText(QStringLiteral("/typed/espota"));
        QTest::keyClick(KeyTarget(d), Qt::Key_Return);
    });
    EXPECT_EQ(op.runEspotaDialog(QStringLiteral("/opt/tools/espota.py")), QStringLiteral("/typed/espota"));
    EXPECT_EQ(shell.urls.size(), 1);

    WhenModal<TInputDlg1>([](TInputDlg1* d) { QTest::keyClick(KeyTarget(d), Qt::Key_Escape); });
    EXPECT_EQ(op.runEspotaDialog(QStringLiteral("/opt/tools/espota.py")), std::nullopt);
}

TEST_F(DialogsTest, DroppedFileFillsTheFieldOnlyWhenItFits) {
    QTemporaryDir dir;
    auto touch = [&](const char* name) {
        const QString p = dir.filePath(QLatin1String(name));
        QFile(p).open(QIODevice::WriteOnly);
        return p;
    };
    const QString py = touch("espota.py"), bare = touch("espota"), upper = touch("tool.PY"),
                  exe = touch("espota.exe"), txt = touch("readme.txt");
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    const QString start = QStringLiteral("/start/espota.py");
    const struct {
        QStringList dropped;
        QString expected;
        int beeps;
    } cases[] = {
        {{py}, py, 0},
        {{bare}, bare, 0},
        {{upper}, upper, 0},
        {{exe}, start, 1},
        {{txt}, start, 1},
        {{dir.filePath("missing.py")}, start, 1},
        {{dir.filePath("folder")}, start, 1},
        // Only the first file counts.
        {{txt, py}, start, 1},
        {{py, txt}, py, 0},
    };
    for (const auto& c : cases) {
        shell.beeps = 0;
        TInputDlg1 d;
        d.setAcceptedExtensions({QStringLiteral("py"), QString()});
        d.setPath(start);
        auto* ef1 = child<QLineEdit>(&d, "EF1");
        std::unique_ptr<QMimeData> mime(filesMime(c.dropped));
        EXPECT_TRUE(dropOn(ef1, mime.get()));
        EXPECT_EQ(ef1->text(), c.expected) << c.dropped.join(' ').toStdString();
        EXPECT_EQ(shell.beeps, c.beeps) << c.dropped.join(' ').toStdString();
    }

    // Text and web links are not taken by the field at all.
    TInputDlg1 d;
    d.setAcceptedExtensions({QStringLiteral("py")});
    d.setPath(start);
    auto* ef1 = child<QLineEdit>(&d, "EF1");
    QMimeData text;
    text.setText(QStringLiteral("/somewhere/espota.py"));
    EXPECT_FALSE(dropOn(ef1, &text));
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.com/espota.py"))});
    EXPECT_FALSE(dropOn(ef1, &web));
    EXPECT_EQ(ef1->text(), start);
}

TEST_F(DialogsTest, BrowseStartsInTheFieldsFolderWithTheFilter) {
    TInputDlg1 d;
    d.setFilterText(QStringLiteral("espota実行ファイル|espota.py;espota|すべてのファイル|*"));
    QString folderAsked, filterAsked;
    QString answer = QStringLiteral("/picked/espota.py");
    d.setFileChooser([&](QWidget*, const QString& folder, const QString& filter) {
        folderAsked = folder;
        filterAsked = filter;
        return answer;
    });
    d.setPath(QStringLiteral("/opt/esp/tools/espota.py"));
    child<QToolButton>(&d, "SB1")->click();
    EXPECT_EQ(folderAsked, QStringLiteral("/opt/esp/tools"));
    EXPECT_EQ(filterAsked, QStringLiteral("espota実行ファイル (espota.py espota);;すべてのファイル (*)"));
    EXPECT_EQ(d.path(), QStringLiteral("/picked/espota.py"));

    answer.clear();  // the file dialog cancelled
    child<QToolButton>(&d, "SB1")->click();
    EXPECT_EQ(d.path(), QStringLiteral("/picked/espota.py"));

    const struct {
        const char* path;
        const char* folder;
    } folders[] = {{"/espota", "/"}, {"espota.py", ""}, {"", ""}, {"/a/b/", "/a/b"}, {"/a/b/c", "/a/b"}};
    for (const auto& f : folders)
        EXPECT_EQ(TInputDlg1::FolderOf(QLatin1String(f.path)), QLatin1String(f.folder)) << f.path;
}

TEST(VersionInfoTest, KeyCodes) {
    const struct {
        unsigned code;
        const char* value;
    } cases[] = {{0, "Vardel Systems"},
                 {1, "I/Fボード ファームウェアアップデートツール"},
                 {2, "1.0.0.0"},
                 {3, "ifb-updater"},
                 {4, "Copyright (C) 2026 Vardel Systems"},
                 {5, "ifb-updater"},
                 {6, "1.0.0"},
                 {7, "IFB Updater"},
                 {8, "1.0.0"},
                 {0xFFFFFFFFu, "1.0.0"}};
    for (const auto& c : cases) EXPECT_EQ(GetVersionInfo(c.code), QString::fromUtf8(c.value)) << c.code;
}

TEST(AboutBoxTest, ShowsTheVersionRecord) {
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(child<QLabel>(&box, "ProductName")->text(), GetVersionInfo(7));
    EXPECT_EQ(child<QLabel>(&box, "Version")->text(), QStringLiteral("     Version ") + GetVersionInfo(2));
    EXPECT_EQ(child<QLabel>(&box, "Copyright")->text(), GetVersionInfo(4));
    EXPECT_EQ(child<QLabel>(&box, "Comments")->text(), GetVersionInfo(1));
    EXPECT_FALSE(child<QLabel>(&box, "ProgramIcon")->pixmap().isNull());
    auto* ok = child<QPushButton>(&box, "OKButton");
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
}

// Clicks on the icon, one showing of the box per group; 'C' is a Ctrl-click,
// 'p' a plain one. The mark after each click: diagnostic mode on or not.
TEST(AboutBoxTest, ThreeCtrlClicksAcrossShowingsSwitchDiagnosticModeOn) {
    const struct {
        QStringList showings;
        const char* onAfter;
    } cases[] = {
        {{"C", "C", "C"}, "001"},
        {{"CC", "ppp", "pC"},
         "00"
         "000"
         "01"},
        {{"CCpppp"}, "000000"},
        {{"CpCpC", "pp"},
         "00001"
         "11"},
        {{"CCC", "CCCC"},
         "001"
         "1111"},
    };
    for (const auto& c : cases) {
        RecordingShell shell;
        TAboutBox box;
        int calls = 0;
        box.setDiagnosticModeHandler([&] { ++calls; });
        QString marks;
        for (const QString& showing : c.showings) {
            WhenModal<TAboutBox>([&](TAboutBox* d) {
                for (QChar click : showing) {
                    shell.modifiers = click == 'C' ? Qt::ControlModifier : Qt::NoModifier;
                    // The click itself carries no modifier: the keyboard is asked.
                    QTest::mouseClick(d->ProgramIcon(), Qt::LeftButton);
                    marks += calls > 0 ? '1' : '0';
                }
                child<QPushButton>(d, "OKButton")->click();
            });
            box.exec();
        }
        EXPECT_EQ(marks, QLatin1String(c.onAfter)) << c.showings.join('|').toStdString();
    }
}
