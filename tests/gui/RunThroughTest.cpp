// The real main window, driven as an operator would drive it: the port dialog,
// the start-up against the simulated board, a whole write with our espota, the
// result dialog and the close. Window, operator, core and about box come from
// the same unit the program uses.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <functional>
#include <memory>

#include "AppPaths.h"
#include "DialogTestSupport.h"
#include "Guage1Dlg.h"
#include "MainForm.h"
#include "MsgDlg1.h"
#include "NmMock.h"
#include "OpenCom1Dlg.h"
#include "OutcomeLog.h"
#include "QtPrinters.h"
#include "Result1.h"
#include "SimProcess.h"
#include "UpdaterApp.h"
#include "UpdaterWindow.h"

using namespace ifb;
using namespace ifb::test;

namespace {

const QString kFirmwareId = QStringLiteral("1022IFB00");

// A progress dialog as it looked when it appeared.
struct ProgressSeen {
    QString caption;
    QString banner;
    bool bar = false;
    bool writing = false;  // CT and dot shown
    QString ctText;
    QString statusAtClose;  // the main window's status text as the dialog went away
};

// Pictures for the user guide. With IFB_SCREENSHOT_DIR set (scripts/screenshots
// runs this test on a virtual X display) each step of the run is saved there as
// <name>.png, the window with its frame; otherwise nothing happens.
class Camera {
  public:
    Camera() : dir_(qEnvironmentVariable("IFB_SCREENSHOT_DIR")) {}

    void shoot(QWidget* window, const QString& name) const {
        if (dir_.isEmpty() || !window) return;
        QTest::qWait(400);  // painted, fonts loaded
        // The window with the window manager's frame around it.
        const int rc = QProcess::execute(
            QStringLiteral("import"),
            {QStringLiteral("-window"), QString::number(window->winId()), QStringLiteral("-frame"),
             QStringLiteral("-strip"), dir_ + QLatin1Char('/') + name + ".png"});
        EXPECT_EQ(rc, 0) << "import for " << name.toStdString();
    }

  private:
    QString dir_;
};

// Watches every window that appears. No message box belongs to a successful
// run: one that shows up fails the test and is answered, so the run goes on.
// Progress dialogs are non-modal; each one is noted as it appears.
class WindowWatch final : public QObject {
  public:
    explicit WindowWatch(const Camera& camera) : camera_(camera) { qApp->installEventFilter(this); }
    ~WindowWatch() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide) {
            // The status line keeps the phase's text until the next phase sets its own.
            // The newest dialog seen at this address: a new dialog may take the
            // place of one already deleted.
            const auto at = std::find(shownDialogs.rbegin(), shownDialogs.rend(), watched);
            if (at == shownDialogs.rend()) return false;
            auto* widget = qobject_cast<QWidget*>(watched);
            auto* form = widget ? qobject_cast<TVX7IFBProgAppForm*>(widget->parentWidget()) : nullptr;
            if (form)
                progress[static_cast<size_t>(shownDialogs.rend() - at) - 1].statusAtClose =
                    form->statusText();
            return false;
        }
        if (event->type() != QEvent::Show) return false;
        if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            ADD_FAILURE() << "message box: " << box->windowTitle().toStdString() << ": "
                          << box->text().toStdString();
            boxes.append(box->text());
            QPointer<QMessageBox> guard(box);
            QTimer::singleShot(0, box, [guard] {
                if (guard && !guard->buttons().isEmpty()) guard->buttons().first()->click();
            });
        } else if (auto* dialog = qobject_cast<TGuage1Dlg*>(watched)) {
            progress.push_back(
                {dialog->windowTitle(), dialog->Label1()->text(), !dialog->Panel2()->isHidden(),
                 !dialog->CT()->isHidden() && !dialog->dot()->isHidden(), dialog->CT()->text(), QString()});
            progressDialogs.append(dialog);
            shownDialogs.push_back(dialog);
            if (progress.back().writing) {
                // Taken half way: the update waits inside the tool's run while the picture is made.
                QPointer<TGuage1Dlg> guard(dialog);
                QObject::connect(dialog->ProgressBar1(), &QProgressBar::valueChanged, dialog,
                                 [this, guard](int value) {
                                     // The first figure past the middle of the transfer (or past
                                     // its start, when the tool's output came in few reads).
                                     if (halfWayShot || value < 1 || value >= 100 ||
                                         guard->stageLine()->text() != QStringLiteral("転送"))
                                         return;
                                     if (value < 50) {
                                         if (halfWayDetail.isEmpty())
                                             halfWayDetail = guard->detailLine()->text();
                                         return;
                                     }
                                     halfWayShot = true;
                                     halfWayDetail = guard->detailLine()->text();
                                     camera_.shoot(guard, "progress-writing");
                                 });
            }
        }
        return false;
    }

    bool progressGone() const {
        for (const QPointer<TGuage1Dlg>& d : progressDialogs)
            if (d && d->isVisible()) return false;
        return true;
    }

    QStringList boxes;
    bool halfWayShot = false;
    QString halfWayDetail;  // the writing dialog's figures during the transfer
    std::vector<ProgressSeen> progress;
    QList<QPointer<TGuage1Dlg>> progressDialogs;
    std::vector<QObject*> shownDialogs;  // in the order of progress

  private:
    const Camera& camera_;
};

// Runs actions on modal dialogs as they come up. Each action waits for the
// active modal window to be a T; one that does not come within limitMs fails
// the test, and whatever modal dialog is up then is rejected so that the test
// ends instead of hanging. Pending waits end with the script.
class ModalScript final : public QObject {
  public:
    template <typename T>
    void on(int limitMs, std::function<void(T*)> action, bool* ran) {
        auto* timer = new QTimer(this);
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        connect(timer, &QTimer::timeout, this, [timer, action, clock, limitMs, ran] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<T*>(modal)) {
                timer->stop();
                timer->deleteLater();
                *ran = true;
                action(dialog);
            } else if (clock->elapsed() > limitMs) {
                timer->stop();
                timer->deleteLater();
                ADD_FAILURE() << T::staticMetaObject.className() << " did not appear within " << limitMs
                              << " ms";
                if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
            }
        });
        timer->start(10);
    }
};

// Picks the board's port in the port dialog and presses Open.
void PickBoardPort(ModalScript& script, const SimProcess& sim, const Camera* camera, bool* ran) {
    script.on<TOpenCom1Dlg>(
        10000,
        [&sim, camera](TOpenCom1Dlg* dialog) {
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("シリアルポートのオープン"));
            auto* list = child<QListWidget>(dialog, "LBComPort");
            auto* open = child<QPushButton>(dialog, "OKBtn");
            int row = -1;
            for (int i = 0; list && i < list->count(); ++i)
                if (TEnumCom::PortNameOfItem(list->item(i)->text()) == sim.linkPath()) row = i;
            if (!list || !open || row < 0) {
                ADD_FAILURE() << "the board's port is not listed: "
                              << dialog->items().join(", ").toStdString();
                dialog->reject();
                return;
            }
            list->scrollToItem(list->item(row));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(row)).center());
            EXPECT_EQ(dialog->selectedIndex(), row);
            EXPECT_EQ(dialog->portText(), list->item(row)->text());
            EXPECT_EQ(dialog->speedItem(), 4);  // ComSpeed 4: 115.2kbps
            if (camera) camera->shoot(dialog, "port-dialog");
            QTest::mouseClick(open, Qt::LeftButton);
        },
        ran);
}

QStringList LogLines(const LogMemo& memo) {
    return memo.lineCount() == 0 ? QStringList() : memo.toPlainText().split(QLatin1Char('\n'));
}

void WriteSettings(const QString& exePath, const QStringList& optionLines) {
    MakeFolder(ProgramFolder(exePath));
    QFile file(SettingsPathFor(exePath));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(("[Option]\n" + optionLines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

// Events the board logged from index `from` on, as "event" or "event:detail".
QStringList BoardEventsFrom(const SimProcess& sim, qsizetype from) {
    QStringList out;
    const QList<QJsonObject> events = sim.events();
    for (qsizetype i = from; i < events.size(); ++i) {
        const QJsonObject& e = events.at(i);
        const QString name = e.value(QStringLiteral("event")).toString();
        if (name == QLatin1String("rx"))
            out.append(QStringLiteral("rx:") + e.value(QStringLiteral("cmd")).toString());
        else if (name == QLatin1String("mode_change"))
            out.append(QStringLiteral("mode_change:%1").arg(e.value(QStringLiteral("to")).toInt()));
        else if (name == QLatin1String("restart"))
            out.append(QStringLiteral("restart:%1").arg(e.value(QStringLiteral("mode")).toInt()));
    }
    return out;
}

// Whether the board has come back from its last restart.
bool BoardUp(const SimProcess& sim) {
    qsizetype restart = -1, ready = -1;
    const QList<QJsonObject> events = sim.events();
    for (qsizetype i = 0; i < events.size(); ++i) {
        const QString name = events.at(i).value(QStringLiteral("event")).toString();
        if (name == QLatin1String("restart")) restart = i;
        if (name == QLatin1String("ready")) ready = i;
    }
    return ready > restart;
}

}  // namespace

// The join dialog's 自動接続 joins the board's access point through
// NetworkManager (its mock); the update runs on as after OK, and the office
// network is back when the result shows. First in the file: a run of the
// whole binary (scripts/screenshots) points the system bus at the mock before
// anything connects to it.
TEST(GuiRunThrough, AutoJoinFromTheJoinDialogAndTheOfficeNetworkBackAtTheResult) {
    NmMock nm;
    ASSERT_TRUE(nm.start()) << nm.error().toStdString();
    const QString wlan0 = nm.addOfficeWithBoard(QStringLiteral("IFB-OTA-1234")).wlan0;
    SimProcess sim;
    ASSERT_TRUE(sim.start()) << sim.error().toStdString();
    QTemporaryDir dir;
    const QString exePath = dir.filePath(QStringLiteral("app/ifb-updater"));
    WriteSettings(exePath,
                  {QStringLiteral("ComPort=") + sim.linkPath(), QStringLiteral("ComSpeed=4"),
                   QStringLiteral("App_ESPOta=") + EspotaPath(), QStringLiteral("CHK_IFB_TIME=1000"),
                   QStringLiteral("CONECT_WAIT_TIME=10000"), QStringLiteral("Prog_WAIT_TIME=20000")});
    {
        QFile settings(SettingsPathFor(exePath));
        ASSERT_TRUE(settings.open(QIODevice::Append));
        settings.write("[WiFi]\nAutoJoinButton=1\n");
    }
    const Camera camera;
    UpdaterWindow window(exePath, kFirmwareId);
    TVX7IFBProgAppForm& form = window.form();
    ModalScript script;
    bool portDialogRan = false, joinRan = false, resultRan = false;
    PickBoardPort(script, sim, nullptr, &portDialogRan);
    window.show();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !form.firmwareVersionText().isEmpty() || form.closeHandled(); }, 30000));
    ASSERT_FALSE(form.closeHandled()) << LogLines(form.Memo1()).join('\n').toStdString();

    QString st1, onWlan0AtResult;
    script.on<TMsg1Dlg>(
        15000,
        [&](TMsg1Dlg* dialog) {
            auto* button = child<QPushButton>(dialog, "AutoJoinBtn");
            ASSERT_NE(button, nullptr);
            EXPECT_TRUE(button->isVisible());
            EXPECT_EQ(button->text(), QStringLiteral("自動接続"));
            camera.shoot(dialog, "auto-join");
            QTest::mouseClick(button, Qt::LeftButton);
        },
        &joinRan);
    script.on<TResultDlg>(
        90000,
        [&](TResultDlg* dialog) {
            st1 = dialog->ST1()->text();
            onWlan0AtResult = nm.activeOn(wlan0);
            QTest::mouseClick(child<QPushButton>(dialog, "Button1"), Qt::LeftButton);
        },
        &resultRan);
    QTest::mouseClick(child<QToolButton>(&form, "ToolButton2"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return resultRan; }, 5000))
        << LogLines(form.Memo1()).join('\n').toStdString();
    EXPECT_TRUE(joinRan);
    EXPECT_EQ(st1, QStringLiteral("OK"));
    EXPECT_EQ(onWlan0AtResult, QStringLiteral("Office"));
    const QStringList log = LogLines(form.Memo1());
    EXPECT_TRUE(log.contains(
        QStringLiteral("Wi-Fi自動接続: wlan0 を「IFB-OTA-1234」に接続しました (前の接続: Office)。")))
        << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Wi-Fi: wlan0 を前の接続 Office に戻しました。")));
    EXPECT_EQ(nm.calls(QStringLiteral("AddAndActivateConnection")).size(), 1);
    for (const QString& id : nm.connectionIds()) EXPECT_FALSE(id.startsWith(QStringLiteral("ifb-updater-")));
    EXPECT_TRUE(form.close());
}

TEST(GuiRunThrough, PortDialogStartUpWriteResultAndClose) {
    SimProcess sim;
    ASSERT_TRUE(sim.start()) << sim.error().toStdString();
    QTemporaryDir dir;
    const QString exePath = dir.filePath(QStringLiteral("app/ifb-updater"));
    const QString espota = EspotaPath();
    WriteSettings(exePath,
                  {QStringLiteral("ComPort=") + sim.linkPath(), QStringLiteral("ComSpeed=4"),
                   QStringLiteral("App_ESPOta=") + espota, QStringLiteral("CHK_IFB_TIME=1000"),
                   QStringLiteral("CONECT_WAIT_TIME=10000"), QStringLiteral("Prog_WAIT_TIME=20000")});

    bool portDialogRan = false;
    bool joinRan = false;
    bool resultRan = false;
    QString st1, st2, resultCaption;
    QColor st1Colour;
    Camera camera;
    WindowWatch watch(camera);
    UpdaterWindow window(exePath, kFirmwareId);
    TVX7IFBProgAppForm& form = window.form();
    ModalScript script;

    // The port dialog: pick the board's port, press Open.
    PickBoardPort(script, sim, &camera, &portDialogRan);
    window.show();

    // The start-up runs from the first show and ends with the window ready.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !form.firmwareVersionText().isEmpty() || form.closeHandled(); }, 30000));
    ASSERT_TRUE(portDialogRan);
    ASSERT_FALSE(form.closeHandled()) << LogLines(form.Memo1()).join('\n').toStdString();
    EXPECT_EQ(form.windowTitle(),
              QStringLiteral("I/Fボード ファームウェアアップデート for PL-RZ41 (1022IFB00)"));
    EXPECT_EQ(LogLines(form.Memo1()),
              (QStringList{QStringLiteral("IFB-ROMVer : 1021IFB00"),
                           QStringLiteral("IFB-ModelName : PL-RZ41-IFB"), QStringLiteral("ID : 1234")}));
    EXPECT_EQ(form.espotaPath(), espota);
    EXPECT_EQ(form.firmwareVersionText(), QStringLiteral("Ver : 1022IFB00"));
    EXPECT_TRUE(form.workEnabled());
    auto* writeButton = child<QToolButton>(&form, "ToolButton2");
    ASSERT_NE(writeButton, nullptr);
    EXPECT_TRUE(writeButton->isEnabled());
    ASSERT_EQ(watch.progress.size(), 1u);
    EXPECT_EQ(watch.progress[0].caption, QStringLiteral("しばらくお待ちください"));
    EXPECT_EQ(watch.progress[0].banner, QStringLiteral("------- Check IFB ----------"));
    EXPECT_TRUE(watch.progress[0].bar);
    EXPECT_FALSE(watch.progress[0].writing);
    EXPECT_EQ(watch.progress[0].statusAtClose, QStringLiteral("------- Check IFB ----------"));
    EXPECT_TRUE(watch.progressGone());
    camera.shoot(&form, "main-window");

    // The write: the Wi-Fi join instruction (OK), the progress dialogs, the result.
    script.on<TMsg1Dlg>(
        15000,
        [&](TMsg1Dlg* dialog) {
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("OTA経由のアップデート開始"));
            EXPECT_EQ(dialog->lMessage1()->text(),
                      QStringLiteral("パソコンを以下のWi-Fiアクセスポイント\nに接続してください。"));
            EXPECT_EQ(dialog->lMessage2()->text(),
                      QStringLiteral("接続完了後OKを押してください。\n書き込みが開始されます。"));
            EXPECT_EQ(dialog->Memo1()->toPlainText(),
                      QStringLiteral("SSID      : IFB-OTA-1234\nPassword  : MobirePxUn"));
            EXPECT_FALSE(form.workEnabled());
            EXPECT_FALSE(writeButton->isEnabled());
            camera.shoot(dialog, "wifi-join");
            QTest::mouseClick(child<QPushButton>(dialog, "OKBtn"), Qt::LeftButton);
        },
        &joinRan);
    script.on<TResultDlg>(
        90000,
        [&](TResultDlg* dialog) {
            resultCaption = dialog->windowTitle();
            st1 = dialog->ST1()->text();
            st2 = dialog->ST2()->text();
            st1Colour = dialog->ST1()->palette().color(QPalette::WindowText);
            EXPECT_TRUE(watch.progressGone());
            camera.shoot(dialog, "result-ok");
            QTest::mouseClick(child<QPushButton>(dialog, "Button1"), Qt::LeftButton);
        },
        &resultRan);
    QTest::mouseClick(writeButton, Qt::LeftButton);
    // The click runs the whole update; wait for the handlers above all the same.
    ASSERT_TRUE(QTest::qWaitFor([&] { return resultRan; }, 5000))
        << LogLines(form.Memo1()).join('\n').toStdString();
    EXPECT_TRUE(joinRan);
    EXPECT_EQ(resultCaption, QStringLiteral("書き込み結果"));
    EXPECT_EQ(st1, QStringLiteral("OK"));
    EXPECT_EQ(st1Colour, QColor(0, 0, 255));
    EXPECT_EQ(st2, QStringLiteral("\nファームウェア書き込みが正常に完了しました。"));

    ASSERT_EQ(watch.progress.size(), 3u);
    EXPECT_EQ(watch.progress[1].banner, QStringLiteral("------- Check WiFi AP Connection ----------"));
    EXPECT_FALSE(watch.progress[1].bar);
    EXPECT_FALSE(watch.progress[1].writing);
    EXPECT_EQ(watch.progress[1].statusAtClose, QStringLiteral("------- Check WiFi AP Connection ----------"));
    EXPECT_EQ(watch.progress[2].caption, QStringLiteral("しばらくお待ちください"));
    EXPECT_EQ(watch.progress[2].banner, QStringLiteral("------- WiFi OTA Mode ----------"));
    EXPECT_FALSE(watch.progress[2].bar);
    EXPECT_TRUE(watch.progress[2].writing);
    EXPECT_EQ(watch.progress[2].ctText, QStringLiteral("書き込み中"));
    EXPECT_EQ(watch.progress[2].statusAtClose, QString());  // emptied for the write
    // The real figures under "書き込み中" while the image goes out.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+ / 1562 KB(  \\d+ kB/s  残り \\d+秒)?$"))
                    .match(watch.halfWayDetail)
                    .hasMatch())
        << watch.halfWayDetail.toStdString();
    EXPECT_TRUE(watch.progressGone());
    EXPECT_TRUE(form.findChildren<TResultDlg*>().isEmpty());
    EXPECT_TRUE(form.findChildren<TMsg1Dlg*>().isEmpty());

    const QStringList log = LogLines(form.Memo1());
    EXPECT_TRUE(log.contains(QStringLiteral("IFB-ROMVer : 1022IFB00"))) << log.join('\n').toStdString();
    EXPECT_EQ(OutcomeLog(log).last(), QStringLiteral("OK:ファームウェア書き込みが正常に完了しました。"));
    EXPECT_TRUE(form.workEnabled());
    EXPECT_FALSE(writeButton->isEnabled());  // one write per start
    EXPECT_FALSE(QFileInfo::exists(ProgramFolder(exePath) + QStringLiteral("/UOf.bin")));
    EXPECT_EQ(sim.lastMode(), 3);

    // Close, once the board is back from the update's restart (an operator
    // reads the result first): the close sequence finds the board up and
    // restores the saved mode.
    ASSERT_TRUE(QTest::qWaitFor([&] { return BoardUp(sim); }, 5000));
    const qsizetype before = sim.events().size();
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(form.closeHandled());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(window.core().link(), nullptr);
    QTest::qWait(50);
    EXPECT_EQ(BoardEventsFrom(sim, before),
              (QStringList{QStringLiteral("rx:GetIFBMode"), QStringLiteral("rx:SetIFBMode"),
                           QStringLiteral("mode_change:3"), QStringLiteral("rx:ESP32_RestartCmd"),
                           QStringLiteral("restart:3")}));
    QFile settings(SettingsPathFor(exePath));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(settings.readAll());
    EXPECT_TRUE(saved.contains(QStringLiteral("ComPort=") + sim.linkPath())) << saved.toStdString();
    EXPECT_TRUE(saved.contains(QStringLiteral("App_ESPOta=") + espota)) << saved.toStdString();
    EXPECT_TRUE(watch.boxes.isEmpty());
}

// An NG result with its code, cause and remedy under the fixed sentences, all
// of it inside the dialog.
TEST(GuiRunThrough, NgResultShowsItsCode) {
    const Camera camera;
    TVX7IFBProgAppForm form{QStringLiteral("1022IFB00")};
    form.show();
    TResultDlg dialog(&form);
    dialog.setResult({UpdateOutcome::TimeOut, NgCode::U03, QStringLiteral("espota"), 64230});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.diagnosis()->text(),
              QStringLiteral(
                  "NG-U03: ボードからPCへ接続できませんでした（PCのファイアウォール）。\n"
                  "ファイアウォールで espota の受信を許可し、ネットワークをプライベートにしてください。\n"
                  "所要時間: 64.2秒"));
    EXPECT_TRUE(dialog.diagnosis()->isVisible());
    EXPECT_LE(dialog.diagnosis()->geometry().bottom(), dialog.height());
    camera.shoot(&dialog, "result-ng");
}

// Station mode in the real window: a board written, then a re-plugged board
// that already runs this firmware; the window waits for the next one.
TEST(GuiRunThrough, StationModeBoardAfterBoard) {
    SimProcess first;
    ASSERT_TRUE(first.start()) << first.error().toStdString();
    const QString link = first.linkPath();
    QTemporaryDir dir;
    const QString exePath = dir.filePath(QStringLiteral("app/ifb-updater"));
    WriteSettings(exePath,
                  {QStringLiteral("ComPort=") + link, QStringLiteral("ComSpeed=4"),
                   QStringLiteral("App_ESPOta=") + EspotaPath(), QStringLiteral("CHK_IFB_TIME=1000"),
                   QStringLiteral("CONECT_WAIT_TIME=10000"), QStringLiteral("Prog_WAIT_TIME=20000")});
    {
        QFile settings(SettingsPathFor(exePath));
        ASSERT_TRUE(settings.open(QIODevice::Append));
        settings.write("[Station]\nEnabled=1\n");
    }
    Camera camera;
    WindowWatch watch(camera);
    UpdaterWindow window(exePath, kFirmwareId);
    TVX7IFBProgAppForm& form = window.form();
    ModalScript script;
    bool portDialogRan = false, joinRan = false, resultRan = false;
    script.on<TOpenCom1Dlg>(
        10000,
        [](TOpenCom1Dlg* dialog) { QTest::mouseClick(child<QPushButton>(dialog, "OKBtn"), Qt::LeftButton); },
        &portDialogRan);
    window.show();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !form.firmwareVersionText().isEmpty() || form.closeHandled(); }, 30000));
    ASSERT_FALSE(form.closeHandled()) << LogLines(form.Memo1()).join('\n').toStdString();
    EXPECT_TRUE(child<QAction>(&form, "StationModeItem")->isChecked());
    EXPECT_TRUE(form.nextBoardButton()->isVisible());

    script.on<TMsg1Dlg>(
        15000,
        [](TMsg1Dlg* dialog) { QTest::mouseClick(child<QPushButton>(dialog, "OKBtn"), Qt::LeftButton); },
        &joinRan);
    script.on<TResultDlg>(
        90000,
        [](TResultDlg* dialog) { QTest::mouseClick(child<QPushButton>(dialog, "Button1"), Qt::LeftButton); },
        &resultRan);
    QTest::mouseClick(child<QToolButton>(&form, "ToolButton2"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return resultRan; }, 5000));
    EXPECT_EQ(form.stationNoticeText(), QStringLiteral("次のボードを接続してください"));
    EXPECT_EQ(form.statusText(), QStringLiteral("次のボードを接続してください"));

    // Re-plugged: the next board already runs this firmware.
    first.stop();
    SimProcess second({QStringLiteral("--rom"), QStringLiteral("1022IFB00")});
    second.useLink(link);
    ASSERT_TRUE(second.start()) << second.error().toStdString();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return LogLines(form.Memo1()).contains(QStringLiteral("ファームウェアは最新です (1022IFB00)"));
        },
        20000))
        << LogLines(form.Memo1()).join('\n').toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.workEnabled(); }, 5000));
    EXPECT_EQ(form.stationCountersText(), QStringLiteral("台数: 2  OK: 1  NG: 0  最新: 1"));
    EXPECT_EQ(form.stationNoticeText(), QStringLiteral("次のボードを接続してください"));
    EXPECT_TRUE(form.writeCommandAvailable()) << "a current board may still be written";
    camera.shoot(&form, "station");
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(watch.boxes.isEmpty());
}
