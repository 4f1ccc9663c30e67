#include <gtest/gtest.h>

#include <QDir>
#include <QHostAddress>
#include <QTemporaryDir>
#include <vector>

#include "LogSink.h"
#include "NetworkAdapters.h"
#include "QtPrinters.h"
#include "WiFiAdapterCheck.h"

namespace ifb {
namespace {

struct RecordingLogSink final : LogSink {
    void WriteLog(const QString& text, bool always) override {
        lines.append(text);
        EXPECT_TRUE(always) << text.toStdString();
    }
    QStringList lines;
};

AdapterAddress V4(const char* text) {
    return {AddressFamily::IPv4, QString::fromLatin1(text)};
}
AdapterAddress V6(const char* text) {
    return {AddressFamily::IPv6, QString::fromLatin1(text)};
}

TEST(WiFiAdapterCheck, LastBoardOrLinkLocalAddressOnAWiFiAdapterDecides) {
    struct Case {
        const char* name;
        QList<NetworkAdapter> adapters;
        bool answer;
        QStringList logged;
    };
    const std::vector<Case> cases = {
        {"no adapters", {}, false, {}},
        {"wireless adapter not named Wi-Fi",
         {{"Wireless Network Connection", {V4("192.168.0.10")}}},
         false,
         {}},
        {"name test is case-sensitive",
         {{"wi-fi", {V4("192.168.0.10")}}, {"WI-FI", {V4("192.168.0.10")}}},
         false,
         {}},
        {"board network", {{"Wi-Fi", {V4("192.168.0.10")}}}, true, {}},
        {"link-local only", {{"Wi-Fi", {V4("169.254.7.1")}}}, false, {"IPv4:169.254.7.1"}},
        {"link-local after board address",
         {{"Wi-Fi", {V4("192.168.0.10"), V4("169.254.7.1")}}},
         false,
         {"IPv4:169.254.7.1"}},
        {"board address after link-local",
         {{"Wi-Fi", {V4("169.254.7.1"), V4("192.168.0.10")}}},
         true,
         {"IPv4:169.254.7.1"}},
        {"other network leaves answer", {{"Wi-Fi", {V4("10.1.2.3")}}}, false, {}},
        {"other network after board address", {{"Wi-Fi", {V4("192.168.0.10"), V4("10.1.2.3")}}}, true, {}},
        {"IPv6 skipped",
         {{"Wi-Fi", {V6("fe80::1"), V6("::ffff:192.168.0.10"), V6("::ffff:169.254.7.1")}}},
         false,
         {}},
        {"other adapters skipped",
         {{"Ethernet", {V4("192.168.0.5"), V4("169.254.1.1")}}, {"Wi-Fi 2", {V4("10.0.0.2")}}},
         false,
         {}},
        {"second adapter overturns to false",
         {{"Wi-Fi (wlan0)", {V4("192.168.0.10")}}, {"Wi-Fi (wlan1)", {V4("169.254.9.9")}}},
         false,
         {"IPv4:169.254.9.9"}},
        {"second adapter overturns to true",
         {{"Wi-Fi (wlan0)", {V4("169.254.9.9")}},
          {"Ethernet", {V4("169.254.3.3")}},
          {"Wi-Fi (wlan1)", {V4("192.168.0.77")}}},
         true,
         {"IPv4:169.254.9.9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingLogSink log;
        EXPECT_EQ(CheckWiFiAdapter(c.adapters, log), c.answer);
        EXPECT_EQ(log.lines, c.logged);
    }
}

TEST(NetworkAdapters, WirelessInterfacesAreCalledWiFi) {
#ifndef Q_OS_LINUX
    GTEST_SKIP() << "Linux naming only";
#endif
    QTemporaryDir sys;
    ASSERT_TRUE(sys.isValid());
    QDir root(sys.path());
    ASSERT_TRUE(root.mkpath("wlan0/wireless"));
    ASSERT_TRUE(root.mkpath("wlp2s0/phy80211"));
    ASSERT_TRUE(root.mkpath("eth0"));
    EXPECT_EQ(AdapterFriendlyName("wlan0", "wlan0", sys.path()), "Wi-Fi (wlan0)");
    EXPECT_EQ(AdapterFriendlyName("wlp2s0", "wlp2s0", sys.path()), "Wi-Fi (wlp2s0)");
    EXPECT_EQ(AdapterFriendlyName("eth0", "eth0", sys.path()), "eth0");
    EXPECT_EQ(AdapterFriendlyName("missing", "missing", sys.path()), "missing");
}

TEST(NetworkAdapters, SystemListCarriesLoopbackAsDottedIpv4) {
    bool found = false;
    for (const NetworkAdapter& a : ListNetworkAdapters())
        for (const AdapterAddress& addr : a.addresses)
            if (addr.family == AddressFamily::IPv4 && addr.text == "127.0.0.1") found = true;
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace ifb
