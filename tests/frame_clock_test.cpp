#include <gtest/gtest.h>

#include <cmath>

#include "web/frame_clock.h"

// The page's pacing: callbacks at any refresh rate become passes at no more
// than 60 a second, so the run speed steps as on the desktop.

namespace {

constexpr double FramesPerSecond = 60.0;

// Passes granted to callbacks every `interval` ms (plus a jitter that
// alternates sign) from `start` for `seconds`.
int passes(FrameClock& clock, double start, double interval, double seconds, double jitter = 0.0) {
    int granted = 0;
    const int calls = static_cast<int>(std::floor(seconds * 1000.0 / interval));
    for (int k = 0; k < calls; ++k) {
        const double now = start + k * interval + (k % 2 == 0 ? jitter : -jitter);
        if (clock.due(now)) ++granted;
    }
    return granted;
}

}  // namespace

TEST(FrameClock, EveryCallbackAtSixtyASecondOrSlowerIsAFrame) {
    FrameClock atSixty(FramesPerSecond);
    EXPECT_EQ(passes(atSixty, 5.0, 1000.0 / 60, 10.0, 1.5), 600);
    FrameClock atFifty(FramesPerSecond);
    EXPECT_EQ(passes(atFifty, 5.0, 20.0, 10.0), 500);
}

TEST(FrameClock, FasterDisplaysGiveSixtyFramesASecond) {
    for (const double rate : {75.0, 120.0, 144.0, 240.0}) {
        FrameClock clock(FramesPerSecond);
        const int granted = passes(clock, 0.0, 1000.0 / rate, 10.0);
        EXPECT_GE(granted, 599) << rate;
        EXPECT_LE(granted, 601) << rate;
    }
}

// A long stall (an analysis, a hidden page) is not made up with a burst.
TEST(FrameClock, AfterAStallTheRateStaysTheSame) {
    FrameClock clock(FramesPerSecond);
    passes(clock, 0.0, 1000.0 / 144, 1.0);
    EXPECT_TRUE(clock.due(5000.0));
    EXPECT_EQ(passes(clock, 5000.0 + 1000.0 / 144, 1000.0 / 144, 1.0), 60);
}
