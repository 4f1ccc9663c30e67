// The Wi-Fi seam against NetworkManager's mock on a private system bus: what
// the program asks of NetworkManager is read back from the mock's call log.
#include <gtest/gtest.h>

#include <QTimer>

#include "LogSink.h"
#include "NetworkManagerWifi.h"
#include "NmMock.h"
#include "QtPrinters.h"
#include "WifiJoin.h"

namespace ifb {
namespace {

using test::NmMock;

const QString kBoardSsid = QStringLiteral("IFB-OTA-1234");
const QString kPassword = QStringLiteral("MobirePxUn");

struct RecordingLog final : LogSink {
    QStringList lines;
    void WriteLog(const QString& text, bool always) override {
        if (always) lines.append(text);
    }
};

QStringList Temporaries(const QStringList& ids) {
    QStringList out;
    for (const QString& id : ids)
        if (id.startsWith(QLatin1String(kTemporaryConnectionPrefix))) out.append(id);
    return out;
}

qsizetype IndexOf(const QStringList& calls, const QString& method) {
    for (qsizetype i = 0; i < calls.size(); ++i)
        if (calls[i] == method || calls[i].startsWith(method + QLatin1Char(' '))) return i;
    return -1;
}

class WifiControlTest : public ::testing::Test {
  protected:
    // The office network up on wlan0, the board's access point in range.
    void startOffice(NmMock::Activation activation = NmMock::Activation::Succeeds) {
        ASSERT_TRUE(nm.start(activation)) << nm.error().toStdString();
        const NmMock::Office scene = nm.addOfficeWithBoard(kBoardSsid);
        wlan0 = scene.wlan0;
        office = scene.connection;
        ASSERT_EQ(nm.activeOn(wlan0), QStringLiteral("Office")) << nm.error().toStdString();
    }
    WifiJoinResult join(const QString& ssid = kBoardSsid, int timeoutMs = 5000) {
        return wifi.join({ssid.toUtf8(), kPassword, timeoutMs, {}});
    }
    // Nothing of ours is left and the office network is back.
    void expectPcAsBefore() {
        EXPECT_EQ(Temporaries(nm.connectionIds()), QStringList());
        EXPECT_EQ(nm.activeOn(wlan0), QStringLiteral("Office"));
    }

    NmMock nm;  // first: it points the system bus at the mock's bus
    NetworkManagerWifi wifi{NmMock::bus(), NetworkManagerWifi::Options{300}};
    QString wlan0;
    QString office;
};

TEST_F(WifiControlTest, JoinsWithATemporaryProfileAndPutsThePreviousConnectionBack) {
    startOffice();
    ASSERT_TRUE(wifi.availability().available);
    const QList<WifiDevice> before = wifi.devices();
    ASSERT_EQ(before.size(), 1);
    EXPECT_EQ(before[0].name, QStringLiteral("wlan0"));
    EXPECT_EQ(before[0].activeConnection, QStringLiteral("Office"));

    const WifiJoinResult joined = join();
    ASSERT_EQ(joined.status, WifiStatus::Ok) << joined.detail.toStdString();
    EXPECT_EQ(joined.device, QStringLiteral("wlan0"));
    EXPECT_EQ(joined.previousConnection, QStringLiteral("Office"));
    EXPECT_EQ(nm.activeOn(wlan0), QStringLiteral("ifb-updater-IFB-OTA-1234"));

    const QStringList added = nm.calls(QStringLiteral("AddAndActivateConnection"));
    ASSERT_EQ(added.size(), 1);
    for (const QString& part :
         {QStringLiteral("\"id\": \"ifb-updater-IFB-OTA-1234\""), QStringLiteral("\"autoconnect\": False"),
          QStringLiteral("\"permissions\": [\"%1\"]").arg(test::CurrentUserPermission()),
          QStringLiteral("\"type\": \"802-11-wireless\""), QStringLiteral("\"key-mgmt\": \"wpa-psk\""),
          QStringLiteral("\"psk\": \"MobirePxUn\""),
          QStringLiteral("\"/org/freedesktop/NetworkManager/Devices/wlan0\""),
          QStringLiteral("\"/org/freedesktop/NetworkManager/AccessPoint/board\"")})
        EXPECT_TRUE(added[0].contains(part)) << part.toStdString() << " in " << added[0].toStdString();

    const WifiRestoreReport back = wifi.restore();
    EXPECT_TRUE(back.hadTemporary);
    EXPECT_TRUE(back.temporaryRemoved) << back.detail.toStdString();
    EXPECT_EQ(back.previous, WifiRestoreReport::Previous::Reactivated) << back.detail.toStdString();
    EXPECT_FALSE(wifi.hasTemporary());
    const QStringList calls = nm.calls();
    const qsizetype down = IndexOf(calls, QStringLiteral("DeactivateConnection"));
    const qsizetype deleted = IndexOf(calls, QStringLiteral("Delete"));
    const qsizetype up = IndexOf(calls, QStringLiteral("ActivateConnection"));
    EXPECT_TRUE(down >= 0 && down < deleted && deleted < up) << calls.join(QLatin1Char('\n')).toStdString();
    ASSERT_GE(up, 0);
    EXPECT_TRUE(calls[up].contains(QStringLiteral("\"%1\"").arg(office))) << calls[up].toStdString();
    expectPcAsBefore();

    // A second restore has nothing left to do.
    EXPECT_FALSE(wifi.restore().hadTemporary);
}

TEST_F(WifiControlTest, EveryFailedJoinNamesItsCauseAndLeavesThePcAsItWas) {
    const struct {
        const char* what;
        NmMock::Activation activation;
        WifiStatus status;
        bool temporaryMade;
    } cases[] = {
        {"pass phrase refused", NmMock::Activation::AuthRefused, WifiStatus::AuthRefused, true},
        {"activation hangs", NmMock::Activation::NeverFinishes, WifiStatus::TimedOut, true},
        {"SSID not visible", NmMock::Activation::Succeeds, WifiStatus::SsidNotFound, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NmMock mock;
        ASSERT_TRUE(mock.start(c.activation)) << mock.error().toStdString();
        const QString dev = mock.addWifiDevice(QStringLiteral("wlan0"), NmMock::kActivated);
        mock.addAccessPoint(dev, QStringLiteral("office"), QStringLiteral("Office"));
        if (c.status != WifiStatus::SsidNotFound)
            mock.addAccessPoint(dev, QStringLiteral("board"), kBoardSsid);
        mock.addActiveWifiConnection(dev, QStringLiteral("Office"), QStringLiteral("Office"));
        NetworkManagerWifi control(NmMock::bus(), NetworkManagerWifi::Options{300});

        const WifiJoinResult result = control.join({kBoardSsid.toUtf8(), kPassword, 1500, {}});
        EXPECT_EQ(result.status, c.status) << result.detail.toStdString();
        EXPECT_EQ(control.hasTemporary(), c.temporaryMade);
        EXPECT_EQ(mock.calls(QStringLiteral("AddAndActivateConnection")).size(), c.temporaryMade ? 1 : 0);
        if (c.status == WifiStatus::SsidNotFound) {
            EXPECT_EQ(mock.calls(QStringLiteral("RequestScan")).size(), 1);  // looked again before giving up
        }

        const WifiRestoreReport back = control.restore();
        EXPECT_EQ(back.hadTemporary, c.temporaryMade);
        EXPECT_EQ(back.temporaryRemoved, c.temporaryMade) << back.detail.toStdString();
        EXPECT_EQ(Temporaries(mock.connectionIds()), QStringList());
        EXPECT_EQ(mock.activeOn(dev), QStringLiteral("Office"));
    }
}

TEST_F(WifiControlTest, NoWifiDeviceOrRadioOffIsNoDevice) {
    ASSERT_TRUE(nm.start()) << nm.error().toStdString();
    nm.addEthernetDevice(QStringLiteral("eth0"));
    EXPECT_EQ(join().status, WifiStatus::NoDevice);
    const QString off = nm.addWifiDevice(QStringLiteral("wlan0"), 20);  // unavailable: radio off
    nm.addAccessPoint(off, QStringLiteral("board"), kBoardSsid);
    EXPECT_EQ(join().status, WifiStatus::NoDevice);
    EXPECT_TRUE(nm.calls(QStringLiteral("AddAndActivateConnection")).isEmpty());
    EXPECT_FALSE(wifi.hasTemporary());
}

TEST_F(WifiControlTest, WithoutNetworkManagerTheSeamIsUnavailable) {
    const WifiAvailability can = wifi.availability();
    EXPECT_FALSE(can.available);
    EXPECT_FALSE(can.reason.isEmpty());
    EXPECT_EQ(join().status, WifiStatus::NoService);
    EXPECT_FALSE(wifi.restore().hadTemporary);
    EXPECT_TRUE(wifi.removeLeftovers().isEmpty());
}

TEST_F(WifiControlTest, NetworkManagerGoingAwayMidJoinEndsTheJoin) {
    startOffice(NmMock::Activation::NeverFinishes);
    QTimer::singleShot(400, [this] { nm.kill(); });
    const WifiJoinResult result = join(kBoardSsid, 20000);
    EXPECT_EQ(result.status, WifiStatus::ServiceLost);
    const WifiRestoreReport back = wifi.restore();
    EXPECT_TRUE(back.hadTemporary);
    EXPECT_FALSE(back.temporaryRemoved);
    EXPECT_FALSE(back.detail.isEmpty());
    EXPECT_FALSE(wifi.hasTemporary());
}

TEST_F(WifiControlTest, AnIdleSecondDeviceIsUsedAndTheBusyOneLeftAlone) {
    startOffice();
    const QString wlan1 = nm.addWifiDevice(QStringLiteral("wlan1"), NmMock::kDisconnected);
    nm.addAccessPoint(wlan1, QStringLiteral("board1"), kBoardSsid);

    const WifiJoinResult joined = join();
    ASSERT_EQ(joined.status, WifiStatus::Ok) << joined.detail.toStdString();
    EXPECT_EQ(joined.device, QStringLiteral("wlan1"));
    EXPECT_TRUE(joined.previousConnection.isEmpty());
    EXPECT_EQ(nm.activeOn(wlan0), QStringLiteral("Office"));

    const WifiRestoreReport back = wifi.restore();
    EXPECT_TRUE(back.temporaryRemoved);
    EXPECT_EQ(back.previous, WifiRestoreReport::Previous::None);
    EXPECT_TRUE(nm.calls(QStringLiteral("ActivateConnection")).isEmpty());
    EXPECT_EQ(nm.activeOn(wlan1), QString());
    expectPcAsBefore();
}

TEST_F(WifiControlTest, APreviousConnectionDeletedMeanwhileIsNotBroughtBack) {
    startOffice();
    ASSERT_EQ(join().status, WifiStatus::Ok);
    nm.removeConnection(wlan0, office);
    const WifiRestoreReport back = wifi.restore();
    EXPECT_TRUE(back.temporaryRemoved);
    EXPECT_EQ(back.previous, WifiRestoreReport::Previous::Missing);
    EXPECT_TRUE(nm.calls(QStringLiteral("ActivateConnection")).isEmpty());
    EXPECT_EQ(Temporaries(nm.connectionIds()), QStringList());
}

TEST_F(WifiControlTest, SsidsAreMatchedAndNamedByTheirBytes) {
    ASSERT_TRUE(nm.start()) << nm.error().toStdString();
    wlan0 = nm.addWifiDevice(QStringLiteral("wlan0"), NmMock::kDisconnected);
    const QString ssids[] = {QStringLiteral("IFB \"AP\" 'one'"), QStringLiteral("ボード-AP"),
                             QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345")};
    int n = 0;
    for (const QString& ssid : ssids) {
        SCOPED_TRACE(ssid.toStdString());
        nm.addAccessPoint(wlan0, QStringLiteral("ap%1").arg(n++), ssid);
        const WifiJoinResult joined = join(ssid);
        ASSERT_EQ(joined.status, WifiStatus::Ok) << joined.detail.toStdString();
        EXPECT_EQ(nm.activeOn(wlan0), QLatin1String(kTemporaryConnectionPrefix) + ssid);
        EXPECT_TRUE(wifi.restore().temporaryRemoved);
        EXPECT_EQ(Temporaries(nm.connectionIds()), QStringList());
    }
}

TEST_F(WifiControlTest, LeftoversOfThisUserAreRemovedAndNothingElse) {
    ASSERT_TRUE(nm.start()) << nm.error().toStdString();
    nm.addSavedConnection(QStringLiteral("ifb-updater-IFB-OTA-1"), {test::CurrentUserPermission()});
    nm.addSavedConnection(QStringLiteral("ifb-updater-IFB-OTA-2"), {QStringLiteral("user:someone-else")});
    nm.addSavedConnection(QStringLiteral("Home"), {test::CurrentUserPermission()});
    EXPECT_EQ(wifi.removeLeftovers(), QStringList{QStringLiteral("ifb-updater-IFB-OTA-1")});
    QStringList ids = nm.connectionIds();
    ids.sort();
    EXPECT_EQ(ids, (QStringList{QStringLiteral("Home"), QStringLiteral("ifb-updater-IFB-OTA-2")}));
    EXPECT_EQ(nm.calls(QStringLiteral("Delete")).size(), 1);
}

// --- The update's join on top of the seam -----------------------------------

TEST(WifiJoinValues, BoardValuesThatCannotBeJoinedWithAreRefusedWithTheirReason) {
    const struct {
        QByteArray ssid;
        QString passphrase;
        bool ok;
    } cases[] = {
        {"IFB-OTA-1234", QStringLiteral("MobirePxUn"), true},
        {"", QStringLiteral("MobirePxUn"), false},                  // board reported no SSID
        {QByteArray(32, 'A'), QStringLiteral("MobirePxUn"), true},  // the longest SSID
        {QByteArray(33, 'A'), QStringLiteral("MobirePxUn"), false},
        {"IFB", QString(), false},                  // empty pass phrase
        {"IFB", QStringLiteral("1234567"), false},  // too short for WPA2
        {"IFB", QString(63, QLatin1Char('x')), true},
        {"IFB", QString(64, QLatin1Char('x')), false},         // 64 characters, not hex
        {"IFB", QString(64, QLatin1Char('a')), true},          // a 64-digit hex key
        {"IFB", QStringLiteral("パスワード12345678"), false},  // not ASCII
    };
    for (const auto& c : cases) {
        const std::optional<QString> refused = CheckJoinValues(c.ssid, c.passphrase);
        EXPECT_EQ(!refused.has_value(), c.ok) << c.ssid.toStdString() << " / " << c.passphrase.toStdString();
        if (refused) {
            EXPECT_FALSE(refused->isEmpty());
        }
    }
}

TEST_F(WifiControlTest, TheUpdatesJoinLogsTheJoinAndTheWayBack) {
    startOffice();
    RecordingLog log;
    WifiJoin wifiJoin([] { return std::make_unique<NetworkManagerWifi>(NmMock::bus()); });
    JoinInstruction instruction;
    wifiJoin.offer(instruction, kBoardSsid.toUtf8(), kPassword, log);
    ASSERT_TRUE(instruction.autoJoin);
    const AutoJoinResult joined = instruction.autoJoin([] { return false; });
    EXPECT_TRUE(joined.joined) << joined.text.toStdString();
    wifiJoin.goBack(log);
    EXPECT_EQ(log.lines,
              (QStringList{QStringLiteral(
                               "Wi-Fi自動接続: wlan0 を「IFB-OTA-1234」に接続しました (前の接続: Office)。"),
                           QStringLiteral("Wi-Fi: 一時接続 ifb-updater-IFB-OTA-1234 を削除しました。"),
                           QStringLiteral("Wi-Fi: wlan0 を前の接続 Office に戻しました。")}));
    expectPcAsBefore();

    // Values the board gave that cannot work never reach NetworkManager.
    log.lines.clear();
    const AutoJoinResult refused = wifiJoin.join(QByteArray(), kPassword, {}, log);
    EXPECT_FALSE(refused.joined);
    EXPECT_TRUE(refused.text.contains(QStringLiteral("SSID"))) << refused.text.toStdString();
    EXPECT_EQ(nm.calls(QStringLiteral("AddAndActivateConnection")).size(), 1);
}

TEST_F(WifiControlTest, AFailedJoinOfTheUpdatePutsThePcBackAtOnce) {
    startOffice(NmMock::Activation::AuthRefused);
    RecordingLog log;
    WifiJoin wifiJoin([] { return std::make_unique<NetworkManagerWifi>(NmMock::bus()); });
    const AutoJoinResult result = wifiJoin.join(kBoardSsid.toUtf8(), kPassword, {}, log);
    EXPECT_FALSE(result.joined);
    EXPECT_EQ(result.text,
              QStringLiteral("自動接続できませんでした: パスワードが受け付けられませんでした。"));
    ASSERT_EQ(log.lines.size(), 3) << log.lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(log.lines[0].startsWith(
        QStringLiteral("Wi-Fi自動接続: 失敗 (パスワードが受け付けられませんでした。")));
    expectPcAsBefore();
    // The update's own end then finds nothing left to undo.
    wifiJoin.goBack(log);
    EXPECT_EQ(log.lines.size(), 3);
}

}  // namespace
}  // namespace ifb
