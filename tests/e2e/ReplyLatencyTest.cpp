// A board reply is decoded as soon as its bytes are in, not at the next tick
// of the 50 ms poll: otherwise every command costs most of a tick, and the
// start-up's nine commands alone add close to half a second.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "AppHarness.h"
#include "BoardCommands.h"
#include "QtPrinters.h"

using namespace ifb;
using namespace ifb::test;

TEST(ReplyLatency, CommandsDoNotWaitForThePollTick) {
    AppHarness h;
    SimProcess sim;
    ASSERT_TRUE(sim.start()) << sim.error().toStdString();
    h.writeSettings(h.settingsFor(sim));
    UpdaterApp& app = h.makeApp();
    ASSERT_EQ(app.startUp(), StartupResult::Ready);

    BoardCommands commands(*app.link(), app);
    constexpr int kCommands = 10;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kCommands; ++i) {
        QString version;
        ASSERT_TRUE(commands.GetRomVersion(version));
        EXPECT_EQ(version, QStringLiteral("1021IFB00"));
    }
    // Waiting for the tick would take about 50 ms per command.
    EXPECT_LT(clock.elapsed(), kCommands * 50 / 2);
    app.closeSequence();
}
