// UTC to local time, which keeps one second's result per thread: each
// millisecond and the next second are their own, also across a spring-forward
// (natively, where a test may choose the zone).

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <string>

#include "common/clock.h"

namespace norvale {
namespace {

// 2026-03-29 00:59:59.999 UTC and the millisecond after, in 100 ns units since 1601.
constexpr uint64_t kLastWinter = (13419216000ULL + 3599) * 10000000 + 9990000;
constexpr uint64_t kFirstSummer = kLastWinter + 10000;

std::array<int, 4> Clock(uint64_t ticks) {
    const TimeOfDay time = LocalTimeOfFileTime(ticks).time;
    return {time.hour, time.minute, time.second, time.millisecond};
}

TEST(ClockTest, EachMillisecondAndTheNextSecondAreTheirOwnAlsoWhereTheZoneSpringsForward) {
    const auto first = Clock(kLastWinter - 9990000), last = Clock(kLastWinter), next = Clock(kFirstSummer);
    EXPECT_EQ(first, (std::array{last[0], last[1], last[2], 0}));
    EXPECT_EQ(last[3], 999);
    EXPECT_EQ(next[3], 0);
    EXPECT_NE(next, last);
#ifndef _WIN32
    const char* const zone = std::getenv("TZ");
    const std::string kept = zone != nullptr ? zone : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    const auto winter = Clock(kLastWinter), summer = Clock(kFirstSummer);
    zone != nullptr ? setenv("TZ", kept.c_str(), 1) : unsetenv("TZ");
    tzset();
    // The thread's second is converted again in the zone restored.
    Clock(0);
    EXPECT_EQ(winter, (std::array{1, 59, 59, 999}));
    EXPECT_EQ(summer, (std::array{3, 0, 0, 0}));
#endif
}

}  // namespace
}  // namespace norvale
