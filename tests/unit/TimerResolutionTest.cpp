#include <gtest/gtest.h>

#include <vector>

#include "TimerResolution.h"

namespace ifb {
namespace {

// 1, 2, ... ms until the first period that is not refused; never past 1000 ms.
TEST(TimerResolution, AsksFromTheFinestPeriodUpToTheFirstNotRefused) {
    const struct {
        quint32 firstGranted;  // 0: every period refused
        quint32 result;
        size_t asked;
    } cases[] = {{1, 1, 1}, {7, 7, 7}, {1000, 1000, 1000}, {0, 0, 1000}};
    for (const auto& c : cases) {
        std::vector<quint32> asked;
        const quint32 got = RequestFinestTimerResolution([&](quint32 periodMs) {
            asked.push_back(periodMs);
            return c.firstGranted == 0 || periodMs < c.firstGranted;
        });
        EXPECT_EQ(got, c.result) << c.firstGranted;
        ASSERT_EQ(asked.size(), c.asked) << c.firstGranted;
        for (size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], i + 1);
    }
}

}  // namespace
}  // namespace ifb
