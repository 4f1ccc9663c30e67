#include <gtest/gtest.h>

#include "FakeTickClock.h"
#include "TickClock.h"

using namespace ifb;
using namespace ifb::test;

// The main window's time-out slot and the link's are this one class; the tick
// counter wraps after 2^32 ms, and a time-out that spans the wrap must neither
// end at the wrap nor run on past its limit.
TEST(TickTimeout, ExpiresByElapsedTicksAcrossTheWrap) {
    struct Case {
        quint32 start;
        quint32 limit;
        quint32 now;
        quint32 elapsed;
        bool expired;
    } cases[] = {
        {0xFFFFFF9Cu, 300, 0xFFFFFF9Cu, 0, false},   // just started, 100 ticks below the wrap
        {0xFFFFFF9Cu, 300, 0xFFFFFFFFu, 99, false},  // last tick before the wrap
        {0xFFFFFF9Cu, 300, 0u, 100, false},          // the wrap itself
        {0xFFFFFF9Cu, 300, 199u, 299, false},        // one tick short, past the wrap
        {0xFFFFFF9Cu, 300, 200u, 300, true},         // the limit, past the wrap
        {0xFFFFFF9Cu, 300, 5000u, 5100, true},
        {0xFFFFFED4u, 300, 0xFFFFFFFFu, 299, false},  // the limit falls on the wrap
        {0xFFFFFED4u, 300, 0u, 300, true},
        {0xFFFFF830u, 2000, 0xFFFFFFFFu, 1999, false},
        {0xFFFFF830u, 2000, 0u, 2000, true},
        {0xFFFFFFFFu, 12000, 11998u, 11999, false},
        {0xFFFFFFFFu, 12000, 11999u, 12000, true},
        {0xFFFFFF00u, 0, 0xFFFFFF00u, 0, true},  // a zero limit is over at once
    };
    for (const Case& c : cases) {
        FakeTickClock clock(c.start);
        TickTimeout timeout;
        timeout.start();
        clock.set(c.now);
        SCOPED_TRACE(testing::Message() << std::hex << "start " << c.start << " now " << c.now << std::dec
                                        << " limit " << c.limit);
        EXPECT_EQ(timeout.elapsed(), c.elapsed);
        EXPECT_EQ(timeout.expired(c.limit), c.expired);
    }
}
