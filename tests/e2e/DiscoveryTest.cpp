// Board discovery against the simulated board: the USB-mode fallback's long
// wait, the port choice, the network settings the board hands over, and a TCP
// link, which is never open when it is checked.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <algorithm>
#include <functional>
#include <optional>

#include "AppHarness.h"
#include "QtPrinters.h"
#include "SerialPortList.h"
#include "TTComXDlg.h"

using namespace ifb;
using namespace ifb::test;

namespace {

const QString kNoBoard = QStringLiteral(
    "I/Fボードの接続を確認できませんでした。\n\n接続と設定の確認およびソフトと接続製品を再起動してください。");
// Frame traces (diagnostic mode) of the requests, ID 0.
const QString kSetUsbModeFrame = QStringLiteral("02 00 45 03 01 00 00 ");
const QString kGetModeFrame = QStringLiteral("02 00 45 01 00 03 ");

constexpr quint32 kCheckTime = 1000;  // CHK_IFB_TIME of these runs

// A tick clock that moves only while a wait blocks, by whole steps that never
// pass the wait's deadline: an unanswered wait takes exactly its limit of
// clock time, however long it takes in real time, and a 45 s wait runs
// through in about a second. Answered requests still get hundreds of real
// milliseconds. It starts near the 32-bit wrap, which the long wait crosses.
class SteppingClock final : public TickClock {
  public:
    SteppingClock() { setTickClock(this); }
    ~SteppingClock() override { setTickClock(nullptr); }

    quint32 now() const override { return now_; }
    int blockSliceMs(quint32 remaining) const override {
        if (held_ && heldFor_.elapsed() > 5000) held_ = false;  // the test fails, but ends
        if (!held_) {
            now_ += std::min<quint32>(remaining, remaining > 2000 ? 500 : 5);
            if (onAdvance) onAdvance(now_);
        }
        return 1;
    }

    // Stops the clock until release(): a board's late answer arrives at a
    // chosen moment of a wait.
    void hold() {
        held_ = true;
        heldFor_.start();
    }
    void release() { held_ = false; }

    std::function<void(quint32)> onAdvance;

  private:
    mutable quint32 now_ = 0xFFFFFFFFu - 20000;
    mutable bool held_ = false;
    QElapsedTimer heldFor_;
};

class Discovery : public ::testing::Test {
  protected:
    void boot(const QStringList& simArgs, const QMap<QString, QString>& extra = {}) {
        sim = h.boot(simArgs, extra);
        ASSERT_TRUE(sim) << h.simError.toStdString();
    }
    void TearDown() override {
        if (h.app) h.app->closeSequence();
    }

    AppHarness h;
    std::unique_ptr<SimProcess> sim;
};

// The USB-mode run of a board that does not answer the normal check (its two
// mode requests are ignored) with USBWait_Mode 1, the operator answering Yes.
// Every request frame is traced with the clock time it was sent at.
class UsbModeWait : public Discovery {
  protected:
    void start(QStringList simArgs) {
        h.boxes.shown.clear();
        h.op.log.lines.clear();
        setModeSent.clear();
        getModeSent.clear();
        boot(simArgs, {{QStringLiteral("USBWait_Mode"), QStringLiteral("1")},
                       {QStringLiteral("CHK_IFB_TIME"), QString::number(kCheckTime)}});
        h.boxes.answers = {MsgAnswer::Yes};
        h.app->enableDiagnosticMode();
        // The link exists once the first check opens its progress dialog.
        h.op.onProgressOpened = [this](const ProgressSetup&) {
            if (h.app->link()) h.app->link()->fTrace = true;
        };
        h.op.log.onLine = [this](const QString& line) {
            if (line.startsWith(kSetUsbModeFrame)) setModeSent.push_back(clock.now());
            if (line.startsWith(kGetModeFrame)) getModeSent.push_back(clock.now());
            if (line.startsWith(QStringLiteral("02 00 45 "))) clock.release();
        };
    }
    // Clock time from the first USB-mode request to the end of its 1000 ms
    // pause and the 45000 ms wait for an acknowledgement.
    static constexpr quint32 kToWaitEnd = kCheckTime + 1000 + 45000;

    SteppingClock clock;
    std::vector<quint32> setModeSent;
    std::vector<quint32> getModeSent;
};

const QStringList kNormalCheckIgnored{QStringLiteral("GetIFBMode"), QStringLiteral("GetIFBMode")};
const QStringList kNetworkRead{QStringLiteral("GetWiFiConfig"), QStringLiteral("GetWiFiConfig"),
                               QStringLiteral("GetTCPIPParam")};

}  // namespace

TEST_F(UsbModeWait, LateAcknowledgementLetsTheModeReadDecide) {
    // The board is stopped before the USB-mode request and let go 44 s into
    // the 45 s wait: its acknowledgement of that request is the frame waited
    // for. The mode read then passes only with its low three bits 0.
    struct Case {
        const char* name;
        QStringList simArgs;
        bool modeAccepted;
    } cases[] = {
        {"mode 0 after the change", {}, true},
        {"mode 8 kept", {QStringLiteral("--keep-mode"), QStringLiteral("--mode"), QStringLiteral("8")}, true},
        {"mode 3 kept",
         {QStringLiteral("--keep-mode"), QStringLiteral("--mode"), QStringLiteral("3")},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(QStringList{QStringLiteral("--ignore-first"), QStringLiteral("2")} + c.simArgs);
        bool frozen = false;
        bool thawed = false;
        clock.onAdvance = [&](quint32 now) {
            // The question has been answered; the 1000 ms pause before the request runs.
            if (!frozen && h.boxes.shown.size() == 1) {
                sim->freeze();
                frozen = true;
            }
            if (!thawed && !setModeSent.empty() && now - setModeSent[0] >= kToWaitEnd - 1000) {
                clock.hold();
                sim->thaw();
                thawed = true;
            }
        };
        EXPECT_TRUE(h.app->discovery().FindBoard());
        clock.onAdvance = nullptr;
        EXPECT_TRUE(thawed);
        EXPECT_TRUE(h.app->session().UsbModeRun);
        QStringList expected = kNormalCheckIgnored;
        expected << QStringLiteral("SetIFBMode") << QStringLiteral("GetIFBMode");
        // A mode read that fails ends the first attempt; the second one's request is answered at once.
        if (!c.modeAccepted) expected << QStringLiteral("SetIFBMode");
        EXPECT_EQ(sim->requests(), expected + kNetworkRead);
        ASSERT_GE(getModeSent.size(), 3u);
        EXPECT_EQ(getModeSent[2] - setModeSent[0], kToWaitEnd - 1000);
        EXPECT_EQ(h.op.log.lines.last(), QStringLiteral("Find VX7 IFB"));
        h.app->closeSequence();
        h.app.reset();
    }
}

TEST_F(UsbModeWait, WithoutAcknowledgementTheSecondModeRequestDecidesAfter45Seconds) {
    // The board ignores the first USB-mode request too and answers from then on.
    start({QStringLiteral("--ignore-first"), QStringLiteral("3")});
    EXPECT_TRUE(h.app->discovery().FindBoard());
    const QStringList expected = kNormalCheckIgnored +
                                 QStringList{QStringLiteral("SetIFBMode"), QStringLiteral("SetIFBMode")} +
                                 kNetworkRead;
    EXPECT_EQ(sim->requests(), expected);
    ASSERT_EQ(setModeSent.size(), 2u);
    EXPECT_EQ(setModeSent[1] - setModeSent[0], kToWaitEnd);
    EXPECT_TRUE(h.app->session().UsbModeRun);
    EXPECT_EQ(h.app->session().SavedBoardMode, 0);
    EXPECT_EQ(h.op.log.lines.last(), QStringLiteral("Find VX7 IFB"));
}

TEST_F(Discovery, BoardNetworkFieldsAreSavedAsTheTcpSettings) {
    boot({QStringLiteral("--net-tcp-port"), QStringLiteral("4321"), QStringLiteral("--net-address"),
          QStringLiteral("10.20.30.40"), QStringLiteral("--net-field1"), QStringLiteral("6543"),
          QStringLiteral("--net-field2"), QStringLiteral("3232235876")});
    ASSERT_EQ(h.app->startUp(), StartupResult::Ready);
    h.app->closeSequence();
    const QString ini = h.settingsText();
    EXPECT_TRUE(ini.contains(QStringLiteral("\nTCPPort=4321\n"))) << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("\nfTCPServer=169090600\n")));  // 10.20.30.40 as one number
    EXPECT_TRUE(ini.contains(QStringLiteral("\nTCPServPort=6543\n")));
    // Above 2^31: the unsigned decimal text.
    EXPECT_TRUE(ini.contains(QStringLiteral("\nTCPServAddr=3232235876\n")));
}

TEST_F(Discovery, PortDialogPreselectsTheConfiguredPortOrTheFirst) {
    // The list holds the ports this system has, plus a configured port that
    // exists. That one is reached by a relative name starting with "_", which
    // sorts after the system's names (ttyS0, COM3): when the system lists any
    // port, the configured one is not the first item.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(h.dir.path()));
    struct Case {
        const char* name;
        QString comPort;
        bool present;
    } cases[] = {{"configured port present", QStringLiteral("_board/tty"), true},
                 {"configured port absent", QStringLiteral("COM77"), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        h.op.portDialogSetups.clear();
        h.op.portDialogOpens = false;
        boot({}, {{QStringLiteral("ComPort"), c.comPort}});
        ASSERT_TRUE(QDir(h.dir.path()).mkpath(QStringLiteral("_board")));
        QFile::link(sim->linkPath(), h.dir.filePath(QStringLiteral("_board/tty")));
        EXPECT_FALSE(h.app->discovery().FindBoard());
        ASSERT_EQ(h.op.portDialogSetups.size(), 1u);
        const PortDialogSetup& s = h.op.portDialogSetups[0];
        if (c.present) {
            ASSERT_GE(s.selectedIndex, 0);
            ASSERT_LT(s.selectedIndex, s.items.size());
            EXPECT_EQ(TEnumCom::PortNameOfItem(s.items[s.selectedIndex]), c.comPort)
                << s.items.join(", ").toStdString();
        } else {
            EXPECT_EQ(s.selectedIndex, s.items.isEmpty() ? -1 : 0);
        }
        QFile::remove(h.dir.filePath(QStringLiteral("_board/tty")));
    }
    QDir::setCurrent(before);
}

TEST_F(Discovery, OpenWithNothingSelectedTakesTheFirstItem) {
    struct Case {
        const char* name;
        bool simFirst;
        bool found;
    } cases[] = {{"board's port first", true, true}, {"missing port first", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        h.boxes.shown.clear();
        boot({});
        const QString simItem = sim->linkPath() + QStringLiteral("(sim)");
        const QString missingItem = h.dir.filePath(QStringLiteral("gone/ttyQ")) + QStringLiteral("(none)");
        h.op.portDialogEdit = [&](PortDialogResult& r) {
            r.items = c.simFirst ? QStringList{simItem, missingItem} : QStringList{missingItem, simItem};
            r.selectedIndex = -1;
        };
        EXPECT_EQ(h.app->discovery().FindBoard(), c.found);
        EXPECT_EQ(h.app->session().option.ComPort,
                  TEnumCom::PortNameOfItem(c.simFirst ? simItem : missingItem));
        EXPECT_EQ(sim->requests().isEmpty(), !c.found);
        h.app->closeSequence();
        h.app.reset();
    }
}

TEST_F(Discovery, TcpLinkIsNeverOpenAtTheCheckAndEndsAtPortOpen) {
    // A peer that would take the connection: the check still comes first.
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost));
    boot({}, {{QStringLiteral("UseUSB"), QStringLiteral("2")},
              {QStringLiteral("fTCPServer"), QStringLiteral("0")},
              {QStringLiteral("TCPServAddr"), QStringLiteral("127.0.0.1")},
              {QStringLiteral("TCPServPort"), QString::number(peer.serverPort())}});
    h.app->enableDiagnosticMode();
    EXPECT_EQ(h.app->startUp(), StartupResult::BoardNotFound);
    EXPECT_TRUE(h.op.log.lines.contains(QStringLiteral("NG: Port Open")))
        << h.op.log.lines.join('\n').toStdString();
    ASSERT_EQ(h.boxes.shown.size(), 1u);
    EXPECT_EQ(h.boxes.shown[0], (MessageBoxRequest{kNoBoard, std::nullopt, MsgIcon::Error, MsgButtons::Ok,
                                                   MsgOwner::MainWindow}));
    EXPECT_TRUE(h.op.closeRequested);
    EXPECT_TRUE(h.op.progress.empty());  // no board check ran
    EXPECT_TRUE(sim->requests().isEmpty());
}
