#include <dlfcn.h>
#include <gtest/gtest.h>
#include <termios.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include "ComPort.h"
#include "LinkTestPeers.h"
#include "QtPrinters.h"

using namespace ifb;
using namespace ifb::test;

// The pty driver forces eight data bits and no parity on the device (and the
// serial library re-reads the device before each setting), so those two are
// checked among the requests the library hands to the system.
namespace {
std::vector<termios> g_requests;
}

extern "C" int tcsetattr(int fd, int action, const struct termios* tio) {
    using Real = int (*)(int, int, const struct termios*);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "tcsetattr"));
    g_requests.push_back(*tio);
    return real(fd, action, tio);
}

TEST(ComPort, StartsWithTheDocumentedLine) {
    TComPort port;
    const SerialLine& l = port.Line();
    EXPECT_EQ(l.port, QStringLiteral("COM1"));
    EXPECT_EQ(l.baudRate, BaudRate::br19200);
    EXPECT_EQ(l.parity, Parity::prNone);
    EXPECT_EQ(l.dataBits, DataBits::dbEight);
    EXPECT_EQ(l.stopBits, StopBits::sbOneStopBit);
    EXPECT_EQ(l.flowControl, FlowControl::fcNone);
    EXPECT_FALSE(port.Connected());
}

TEST(ComPort, BytesBothWaysOverAPty) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    TComPort port;
    port.SetPort(pty.path());
    port.SetBaudRate(BaudRate::br115200);
    ASSERT_NO_THROW(port.Open());
    EXPECT_TRUE(port.Connected());

    const QByteArray out = hex("02 00 45 01 00 03 4B 0D");
    port.Write(out.constData(), static_cast<int>(out.size()));
    QByteArray atBoard;
    ASSERT_TRUE(spinUntil([&] {
        atBoard += pty.readAvailable();
        return atBoard.size() >= out.size();
    }));
    EXPECT_EQ(atBoard, out);

    // Every OnRxChar count is exactly what Read then copies.
    QByteArray received;
    int events = 0;
    QObject::connect(&port, &TComPort::OnRxChar, [&](int count) {
        ++events;
        EXPECT_EQ(count, port.BytesAvailable());
        QByteArray chunk(count, '\0');
        EXPECT_EQ(port.Read(chunk.data(), count), count);
        received += chunk;
    });
    QByteArray in;
    for (int i = 0; i < 3000; ++i) in.append(static_cast<char>(i * 13));
    pty.write(in);
    ASSERT_TRUE(spinUntil([&] { return received.size() >= in.size(); }));
    EXPECT_EQ(received, in);
    EXPECT_GE(events, 1);
}

TEST(ComPort, LineSettingsReachTheDevice) {
    struct Case {
        BaudRate rate;
        speed_t speed;
        Parity parity;
        DataBits bits;
        StopBits stop;
        FlowControl flow;
    } cases[] = {
        {BaudRate::br115200, B115200, Parity::prNone, DataBits::dbEight, StopBits::sbOneStopBit,
         FlowControl::fcNone},
        {BaudRate::br9600, B9600, Parity::prOdd, DataBits::dbSeven, StopBits::sbTwoStopBits,
         FlowControl::fcHardware},
        {BaudRate::br38400, B38400, Parity::prEven, DataBits::dbEight, StopBits::sbOneStopBit,
         FlowControl::fcSoftware},
        {BaudRate::br57600, B57600, Parity::prMark, DataBits::dbSeven, StopBits::sbOneStopBit,
         FlowControl::fcNone},
        {BaudRate::br19200, B19200, Parity::prSpace, DataBits::dbSix, StopBits::sbOneStopBit,
         FlowControl::fcNone},
    };
    for (const Case& c : cases) {
        PtyPair pty;
        TComPort port;
        SerialLine line;
        line.port = pty.path();
        line.baudRate = c.rate;
        line.parity = c.parity;
        line.dataBits = c.bits;
        line.stopBits = c.stop;
        line.flowControl = c.flow;
        port.SetLine(line);
        g_requests.clear();
        ASSERT_NO_THROW(port.Open()) << BaudRateToStr(c.rate).toStdString();
        termios tio{};
        ASSERT_EQ(::tcgetattr(pty.slave(), &tio), 0);
        SCOPED_TRACE(BaudRateToStr(c.rate).toStdString());
        EXPECT_EQ(::cfgetospeed(&tio), c.speed);
        EXPECT_EQ(::cfgetispeed(&tio), c.speed);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.stop == StopBits::sbTwoStopBits);
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.flow == FlowControl::fcHardware);
        EXPECT_EQ((tio.c_iflag & IXON) != 0, c.flow == FlowControl::fcSoftware);
        const tcflag_t parityBits = c.parity == Parity::prNone   ? 0
                                    : c.parity == Parity::prOdd  ? PARENB | PARODD
                                    : c.parity == Parity::prEven ? PARENB
                                    : c.parity == Parity::prMark ? PARENB | PARODD | CMSPAR
                                                                 : PARENB | CMSPAR;
        const tcflag_t size = c.bits == DataBits::dbEight ? CS8 : c.bits == DataBits::dbSeven ? CS7 : CS6;
        auto requested = [](auto match) { return std::any_of(g_requests.begin(), g_requests.end(), match); };
        EXPECT_TRUE(requested(
            [&](const termios& t) { return (t.c_cflag & (PARENB | PARODD | CMSPAR)) == parityBits; }));
        EXPECT_TRUE(requested([&](const termios& t) { return (t.c_cflag & CSIZE) == size; }));
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u) << "raw mode";
    }
}

TEST(ComPort, SymlinkToAPtyOpens) {
    PtyPair pty;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ifb-board"));
    ASSERT_TRUE(QFile::link(pty.path(), link));
    TComPort port;
    port.SetPort(link);
    ASSERT_NO_THROW(port.Open());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.Port(), link) << "the configured name stays as given";
    port.Write("x", 1);
    QByteArray got;
    ASSERT_TRUE(spinUntil([&] { return !(got += pty.readAvailable()).isEmpty(); }));
    EXPECT_EQ(got, QByteArray("x"));
}

TEST(ComPort, OpenFailureThrowsAndCloseIsHarmless) {
    for (const QString& name : {QStringLiteral("COM7"), QStringLiteral("ttyIFBMissing0"),
                                QStringLiteral("/tmp/ifb-no-such-port")}) {
        TComPort port;
        port.SetPort(name);
        EXPECT_THROW(port.Open(), ComPortError) << name.toStdString();
        EXPECT_FALSE(port.Connected());
        port.Close();
        port.Close();
        port.Write("x", 1);
        char c;
        EXPECT_EQ(port.Read(&c, 1), 0);
    }
    PtyPair pty;
    TComPort port;
    port.SetPort(pty.path());
    port.Open();
    port.Close();
    EXPECT_FALSE(port.Connected());
    port.Close();
    EXPECT_NO_THROW(port.Open()) << "reopens after close";
    EXPECT_TRUE(port.Connected());
}

TEST(ComPort, LostDeviceIsReportedOnce) {
    auto pty = std::make_unique<PtyPair>();
    TComPort port;
    port.SetPort(pty->path());
    port.Open();
    QList<ComErrors> errors;
    QObject::connect(&port, &TComPort::OnError, [&](ComErrors e) { errors.append(e); });
    pty->closeSlave();
    pty->closeMaster();  // the board is unplugged
    spinFor(200);
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_TRUE(errors.first() & ceDeviceLost) << ComErrorsToStr(errors.first()).toStdString();
    EXPECT_LE(errors.size(), 2) << "no storm of errors";
    port.Close();
}

TEST(ComPort, ErrorTexts) {
    EXPECT_EQ(ComErrorsToStr(0), QString());
    EXPECT_EQ(ComErrorsToStr(ceRead | ceDeviceLost), QStringLiteral("read error, device lost"));
    EXPECT_EQ(ComErrorsToStr(ceWrite), QStringLiteral("write error"));
}
