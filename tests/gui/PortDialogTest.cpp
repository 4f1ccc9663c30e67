#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "DeviceWatcher.h"
#include "DialogTestSupport.h"
#include "MainForm.h"
#include "OpenCom1Dlg.h"
#include "QtPrinters.h"
#include "WidgetOperator.h"

using namespace ifb;
using namespace ifb::test;

namespace {

QString checkedText(QWidget* dialog, const char* group) {
    for (QRadioButton* r : child<QGroupBox>(dialog, group)->findChildren<QRadioButton*>())
        if (r->isChecked()) return r->text();
    return QString();
}

// A system whose port list the test changes between enumerations.
struct FakeSystem {
    QList<COMPPORT_NMAE> present;
    QMap<QString, QString> devices;
    SystemPortList list() {
        return {[this] { return present; }, [this](const QString& n) { return devices.value(n); }};
    }
};

class PortDialogTest : public ::testing::Test {
  protected:
    RecordingShell shell;
    FakeSystem system;
    TVX7IFBProgAppForm window{QStringLiteral("1022IFB00")};
    WidgetOperator op{window, system.list()};

    PortDialogSetup setupFor(const QString& configured) {
        TEnumCom ports(system.list());
        ports.Enumerate(configured);
        PortDialogSetup s;
        s.caption = QStringLiteral("シリアルポートのオープン");
        s.items = ports.items();
        s.selectedIndex = 0;
        for (int i = 0; i < ports.count(); ++i)
            if (ports.at(i).name == configured) s.selectedIndex = i;
        return s;
    }
};

}  // namespace

TEST_F(PortDialogTest, ShowsTheSetupAndItsControls) {
    system.present = {{"COM5", "USB Serial Device"}, {"COM3", "通信ポート"}};
    PortDialogSetup setup = setupFor(QStringLiteral("COM5"));
    setup.speedItem = 4;
    setup.parityItem = 2;

    WhenModal<TOpenCom1Dlg>([](TOpenCom1Dlg* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("シリアルポートのオープン"));
        EXPECT_EQ(d->parentWidget()->objectName(), QStringLiteral("VX7IFBProgAppForm"));
        EXPECT_EQ(child<QLabel>(d, "Label1")->text(), QStringLiteral("COM Port"));
        auto* list = child<QListWidget>(d, "LBComPort");
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(0)->text(), QStringLiteral("COM3(通信ポート)"));
        EXPECT_EQ(list->item(1)->text(), QStringLiteral("COM5(USB Serial Device)"));
        EXPECT_EQ(d->selectedIndex(), 1);
        EXPECT_EQ(child<QLabel>(d, "STComPort")->text(), QStringLiteral("COM5(USB Serial Device)"));

        EXPECT_EQ(child<QGroupBox>(d, "RGComSpeed")->title(), QStringLiteral("Speed"));
        EXPECT_EQ(checkedText(d, "RGComSpeed"), QStringLiteral("115.2kbps"));
        EXPECT_EQ(child<QGroupBox>(d, "RGParity")->title(), QStringLiteral("Parity"));
        EXPECT_EQ(checkedText(d, "RGParity"), QStringLiteral("偶数"));
        EXPECT_FALSE(child<QGroupBox>(d, "RGParity")->isEnabled());
        EXPECT_TRUE(child<QGroupBox>(d, "RGComSpeed")->isEnabled());

        EXPECT_EQ(child<QPushButton>(d, "Button1")->text(), QStringLiteral("ポートの確認..."));
        auto* open = child<QPushButton>(d, "OKBtn");
        EXPECT_EQ(open->text(), QStringLiteral("Open"));
        EXPECT_TRUE(open->isDefault());
        EXPECT_TRUE(open->isEnabled());
        EXPECT_EQ(child<QPushButton>(d, "CancelBtn")->text(), QStringLiteral("キャンセル"));
        for (const char* name : {"CBNoVerCheck", "USE_USBOTA"}) {
            auto* box = child<QCheckBox>(d, name);
            EXPECT_TRUE(box->isHidden()) << name;
            EXPECT_FALSE(box->isChecked()) << name;
        }
        EXPECT_EQ(child<QCheckBox>(d, "CBNoVerCheck")->text(), QStringLiteral("No Version Check"));
        EXPECT_EQ(child<QCheckBox>(d, "USE_USBOTA")->text(), QStringLiteral("USBモードで実行"));
        EXPECT_FALSE(child<QCheckBox>(d, "CBNoVerCheck")->isEnabled());

        // The operator picks COM3 and 9600 bit/s.
        QListWidgetItem* com3 = d->findChild<QListWidget*>("LBComPort")->item(0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(com3).center());
        EXPECT_EQ(child<QLabel>(d, "STComPort")->text(), QStringLiteral("COM3(通信ポート)"));
        child<QRadioButton>(d, "RGComSpeed_0")->click();
        open->click();
    });
    const PortDialogResult r = op.runPortDialog(setup);
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(r.items, setup.items);
    EXPECT_EQ(r.selectedIndex, 0);
    EXPECT_EQ(r.speedItem, 0);
    EXPECT_EQ(r.parityItem, 2);
}

TEST_F(PortDialogTest, SpeedAndParityItemsShowTheirTexts) {
    const QStringList speeds{"9600bps", "19.2kbps", "38.4kbps", "57.6kbps", "115.2kbps"};
    const QStringList parities{"なし", "奇数", "偶数"};
    TOpenCom1Dlg d;
    for (int i = 0; i < speeds.size(); ++i) {
        d.setSpeedItem(i);
        EXPECT_EQ(checkedText(&d, "RGComSpeed"), speeds.at(i));
        EXPECT_EQ(d.speedItem(), i);
    }
    for (int i = 0; i < parities.size(); ++i) {
        d.setParityItem(i);
        EXPECT_EQ(checkedText(&d, "RGParity"), parities.at(i));
        EXPECT_EQ(d.parityItem(), i);
    }
    d.setSpeedItem(7);
    EXPECT_EQ(d.speedItem(), -1);
    EXPECT_EQ(checkedText(&d, "RGComSpeed"), QString());
}

TEST_F(PortDialogTest, DeviceChangeRefillsWithoutSelection) {
    system.present = {{"ttyUSB10", "CP2102"}, {"ttyS1", ""}};
    system.devices = {{"ttyUSB10", "/dev/ttyUSB10"}, {"ttyS1", "/dev/ttyS1"}, {"/tmp/sim", "/dev/pts/3"}};
    const PortDialogSetup setup = setupFor(QStringLiteral("ttyUSB10"));
    ASSERT_EQ(setup.items, (QStringList{"ttyS1()", "ttyUSB10(CP2102)"}));
    ASSERT_EQ(setup.selectedIndex, 1);

    WhenModal<TOpenCom1Dlg>([this](TOpenCom1Dlg* d) {
        // An adapter is plugged in.
        system.present.append(COMPPORT_NMAE{"ttyUSB0", "FT232R"});
        d->deviceWatcher().notifyChanged();
        EXPECT_EQ(d->items(), (QStringList{"ttyS1()", "ttyUSB0(FT232R)", "ttyUSB10(CP2102)"}));
        EXPECT_EQ(d->selectedIndex(), -1);
        EXPECT_EQ(child<QLabel>(d, "STComPort")->text(), QStringLiteral("ttyUSB10(CP2102)"));
        QTest::keyClick(KeyTarget(d), Qt::Key_Return);
    });
    const PortDialogResult r = op.runPortDialog(setup);
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(r.items, (QStringList{"ttyS1()", "ttyUSB0(FT232R)", "ttyUSB10(CP2102)"}));
    EXPECT_EQ(r.selectedIndex, -1);
}

TEST_F(PortDialogTest, ConfiguredDevicePathStaysListedAcrossRefills) {
    system.present = {{"ttyS0", ""}};
    system.devices = {{"ttyS0", "/dev/ttyS0"}, {"/tmp/sim", "/dev/pts/3"}};
    const PortDialogSetup setup = setupFor(QStringLiteral("/tmp/sim"));
    ASSERT_EQ(setup.items, (QStringList{"/tmp/sim(/dev/pts/3)", "ttyS0()"}));

    WhenModal<TOpenCom1Dlg>([this](TOpenCom1Dlg* d) {
        d->deviceWatcher().notifyChanged();
        EXPECT_EQ(d->items(), (QStringList{"/tmp/sim(/dev/pts/3)", "ttyS0()"}));
        system.devices.remove("/tmp/sim");  // the simulator went away
        d->deviceWatcher().notifyChanged();
        EXPECT_EQ(d->items(), QStringList{"ttyS0()"});
        d->reject();
    });
    EXPECT_FALSE(op.runPortDialog(setup).opened);
}

TEST_F(PortDialogTest, WithoutPortsOpenWaitsForOne) {
    PortDialogSetup setup = setupFor(QString());
    ASSERT_TRUE(setup.items.isEmpty());
    setup.selectedIndex = -1;

    WhenModal<TOpenCom1Dlg>([this](TOpenCom1Dlg* d) {
        auto* open = child<QPushButton>(d, "OKBtn");
        EXPECT_FALSE(open->isEnabled());
        QTest::keyClick(KeyTarget(d), Qt::Key_Return);
        EXPECT_TRUE(d->isVisible()) << "Enter must not open a port that is not there";
        system.present = {{"COM4", ""}};
        d->deviceWatcher().notifyChanged();
        EXPECT_TRUE(open->isEnabled());
        open->click();
    });
    const PortDialogResult r = op.runPortDialog(setup);
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(r.items, QStringList{"COM4()"});
    EXPECT_EQ(r.selectedIndex, -1);
}

TEST_F(PortDialogTest, CancelEscapeAndCloseBoxCancel) {
    system.present = {{"COM1", ""}};
    const std::function<void(TOpenCom1Dlg*)> ways[] = {
        [](TOpenCom1Dlg* d) { child<QPushButton>(d, "CancelBtn")->click(); },
        [](TOpenCom1Dlg* d) { QTest::keyClick(KeyTarget(d), Qt::Key_Escape); },
        [](TOpenCom1Dlg* d) { d->close(); },
    };
    for (const auto& way : ways) {
        WhenModal<TOpenCom1Dlg>(way);
        EXPECT_FALSE(op.runPortDialog(setupFor(QStringLiteral("COM1"))).opened);
    }
}

TEST_F(PortDialogTest, PortCheckButtonOpensDeviceViewAndStaysOpen) {
    system.present = {{"COM1", ""}};
    WhenModal<TOpenCom1Dlg>([this](TOpenCom1Dlg* d) {
        child<QPushButton>(d, "Button1")->click();
        EXPECT_EQ(shell.deviceManagerOpens, 1);
        EXPECT_TRUE(d->isVisible());
        d->accept();
    });
    EXPECT_TRUE(op.runPortDialog(setupFor(QStringLiteral("COM1"))).opened);
}

TEST(DeviceWatcherTest, BurstOfChangesGivesOneNoticeAndLateFoldersAreWatched) {
    QTemporaryDir dev;
    const QString byId = dev.filePath(QStringLiteral("by-id"));
    DeviceWatcher watcher({dev.path(), byId}, nullptr);
    watcher.setSettleMs(50);
    QSignalSpy notices(&watcher, &DeviceWatcher::devicesChanged);

    // A new adapter: its node and the by-id folder appear together.
    for (const char* name : {"ttyUSB0", "ttyUSB1"})
        QFile(dev.filePath(QLatin1String(name))).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QDir().mkdir(byId));
    ASSERT_TRUE(notices.wait(2000));
    QTest::qWait(150);
    EXPECT_EQ(notices.count(), 1);

    // Changes inside the folder that appeared later are seen too.
    QFile(byId + QStringLiteral("/usb-FTDI")).open(QIODevice::WriteOnly);
    EXPECT_TRUE(notices.wait(2000));
    EXPECT_EQ(notices.count(), 2);

    watcher.notifyChanged();
    EXPECT_EQ(notices.count(), 3);
}
