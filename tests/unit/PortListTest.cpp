#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <algorithm>

#include "QtPrinters.h"
#include "SerialPortList.h"

using namespace ifb;

namespace {

SystemPortList listOf(const QList<COMPPORT_NMAE>& ports, QMap<QString, QString> devices = {}) {
    SystemPortList system;
    system.present = [ports] { return ports; };
    system.resolve = [devices](const QString& name) { return devices.value(name); };
    return system;
}

QStringList namesAfterEnumerate(const QStringList& names) {
    QList<COMPPORT_NMAE> ports;
    for (const QString& n : names) ports.append({n, QString()});
    TEnumCom e(listOf(ports));
    e.Enumerate();
    QStringList out;
    for (const COMPPORT_NMAE& p : e.ports()) out.append(p.name);
    return out;
}

}  // namespace

TEST(PortListOrder, SortsComNamesAndTrailingNumbers) {
    const struct {
        QStringList in, expected;
    } cases[] = {
        {{"COM10", "COM2", "COM1"}, {"COM1", "COM2", "COM10"}},
        // Letter case does not count.
        {{"com3", "COM10", "Com2"}, {"Com2", "com3", "COM10"}},
        {{"COM5", "COM3"}, {"COM3", "COM5"}},
        // Three-digit COM numbers keep the character order of the padded names.
        {{"COM100", "COM20", "COM11", "COM9"}, {"COM9", "COM100", "COM11", "COM20"}},
        // Other names: the trailing number by value.
        {{"ttyUSB10", "ttyS1", "ttyUSB2", "ttyUSB0", "ttyACM0"},
         {"ttyACM0", "ttyS1", "ttyUSB0", "ttyUSB2", "ttyUSB10"}},
        {{"ttyS10", "ttyS9", "ttyS009"}, {"ttyS009", "ttyS9", "ttyS10"}},
        {{}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(namesAfterEnumerate(c.in), c.expected) << c.in.join(' ').toStdString();
}

// std::sort needs a strict weak order; mixing the two rules must not break it.
TEST(PortListOrder, ComparisonIsAStrictOrderOverMixedNames) {
    const QStringList names{"COM1", "com2",      "COM10",      "COM100", "COM20", "COM",
                            "COMX", "COM3A",     "ttyUSB0",    "ttyS1",  "tty1",  "ttyS10",
                            "ABCD", "/tmp/sim0", "/tmp/sim10", "COM 5"};
    auto less = &TEnumCom::PortNameLess;
    for (const QString& a : names) {
        EXPECT_FALSE(less(a, a)) << a.toStdString();
        for (const QString& b : names) {
            if (a != b) {
                EXPECT_NE(less(a, b), less(b, a)) << a.toStdString() << " / " << b.toStdString();
            }
            for (const QString& c : names) {
                if (less(a, b) && less(b, c)) {
                    EXPECT_TRUE(less(a, c))
                        << a.toStdString() << " < " << b.toStdString() << " < " << c.toStdString();
                }
            }
        }
    }
}

TEST(PortListItems, NameWithDescriptionInBrackets) {
    TEnumCom e(listOf({{"COM4", ""}, {"COM3", "USB Serial Device"}, {"ttyUSB0", "CP2102 (Silicon Labs)"}}));
    EXPECT_EQ(e.Enumerate(), 3);
    EXPECT_EQ(e.items(),
              (QStringList{"COM3(USB Serial Device)", "COM4()", "ttyUSB0(CP2102 (Silicon Labs))"}));
    // The port name is what stands before the first bracket.
    EXPECT_EQ(TEnumCom::PortNameOfItem(e.items().at(2)), QStringLiteral("ttyUSB0"));
    EXPECT_EQ(TEnumCom::PortNameOfItem(QStringLiteral("COM7")), QStringLiteral("COM7"));
}

TEST(PortListItems, EnumerateReplacesThePreviousList) {
    QList<COMPPORT_NMAE> present{{"COM1", "a"}, {"COM2", "b"}};
    SystemPortList system;
    system.present = [&present] { return present; };
    TEnumCom e(system);
    EXPECT_EQ(e.Enumerate(), 2);
    present = {};
    EXPECT_EQ(e.Enumerate(), 0);
    EXPECT_TRUE(e.items().isEmpty());
}

TEST(PortListConfiguredPort, ListedWhenItExistsButTheSystemDoesNotShowIt) {
    const QList<COMPPORT_NMAE> present{{"ttyUSB0", "FT232R USB UART"}, {"ttyS0", ""}};
    const QMap<QString, QString> devices{{"ttyUSB0", "/dev/ttyUSB0"},
                                         {"ttyS0", "/dev/ttyS0"},
                                         {"/tmp/ifb-sim", "/dev/pts/7"},
                                         {"/dev/serial/by-id/usb-FTDI", "/dev/ttyUSB0"}};
    const struct {
        const char* configured;
        QStringList expected;
    } cases[] = {
        {"/tmp/ifb-sim", {"/tmp/ifb-sim(/dev/pts/7)", "ttyS0()", "ttyUSB0(FT232R USB UART)"}},
        // Already listed under its own name or through another name for the same device.
        {"ttyUSB0", {"ttyS0()", "ttyUSB0(FT232R USB UART)"}},
        {"/dev/serial/by-id/usb-FTDI", {"ttyS0()", "ttyUSB0(FT232R USB UART)"}},
        // Not present on the system.
        {"/tmp/gone", {"ttyS0()", "ttyUSB0(FT232R USB UART)"}},
        {"COM5", {"ttyS0()", "ttyUSB0(FT232R USB UART)"}},
        {"", {"ttyS0()", "ttyUSB0(FT232R USB UART)"}},
    };
    for (const auto& c : cases) {
        TEnumCom e(listOf(present, devices));
        e.Enumerate(QString::fromUtf8(c.configured));
        EXPECT_EQ(e.items(), c.expected) << c.configured;
    }
}

#ifndef Q_OS_WIN
TEST(PortListConfiguredPort, SystemResolverFollowsSymlinks) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("pty"));
    QFile(target).open(QIODevice::WriteOnly);
    const QString link = dir.filePath(QStringLiteral("board"));
    ASSERT_TRUE(QFile::link(target, link));
    const SystemPortList system = SystemPorts();
    EXPECT_EQ(system.resolve(link), QFileInfo(target).canonicalFilePath());
    EXPECT_TRUE(system.resolve(dir.filePath(QStringLiteral("missing"))).isEmpty());
    EXPECT_TRUE(system.resolve(QStringLiteral("COM1")).isEmpty());
    EXPECT_EQ(system.resolve(QStringLiteral("null")), QStringLiteral("/dev/null"));

    TEnumCom e(SystemPortList{[] { return QList<COMPPORT_NMAE>{}; }, system.resolve});
    e.Enumerate(link);
    EXPECT_EQ(e.items(), QStringList{link + "(" + QFileInfo(target).canonicalFilePath() + ")"});
}
#endif
