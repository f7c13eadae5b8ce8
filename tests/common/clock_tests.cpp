// The UTC-to-local conversion, which keeps one second's result per thread:
// the milliseconds and the next second are its own, and natively, a zone
// that springs forward moves within a pair of neighbouring milliseconds.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>

#include "common/clock.h"

namespace norvale {
namespace {

// 2026-03-29 00:59:59 UTC, in 100 ns units since 1601-01-01.
constexpr uint64_t kSpringForward = (13419216000ULL + 3599) * 10000000;
constexpr uint64_t kMillisecond = 10000;

int SecondOfDay(const LocalDateTime& time) { return (time.time.hour * 60 + time.time.minute) * 60 + time.time.second; }

TEST(ClockTest, EachMillisecondAndTheNextSecondAreConvertedAsTheirOwn) {
    const LocalDateTime last = LocalTimeOfFileTime(kSpringForward + 999 * kMillisecond);
    const LocalDateTime first = LocalTimeOfFileTime(kSpringForward);
    const LocalDateTime next = LocalTimeOfFileTime(kSpringForward + 1000 * kMillisecond);
    EXPECT_EQ(first.time.millisecond, 0);
    EXPECT_EQ(last.time.millisecond, 999);
    EXPECT_EQ(SecondOfDay(first), SecondOfDay(last));
    EXPECT_EQ(next.time.millisecond, 0);
    // A zone may move on at that second; none moves back by it.
    EXPECT_GT(SecondOfDay(next), SecondOfDay(last));
}

#ifndef _WIN32
TEST(ClockTest, AZoneThatSpringsForwardMovesAnHourBetweenTwoMilliseconds) {
    const char* const before = std::getenv("TZ");
    const std::string kept = before != nullptr ? before : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    const LocalDateTime winter = LocalTimeOfFileTime(kSpringForward + 999 * kMillisecond);
    const LocalDateTime summer = LocalTimeOfFileTime(kSpringForward + 1000 * kMillisecond);
    if (before != nullptr) {
        setenv("TZ", kept.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    EXPECT_EQ((std::array{winter.time.hour, winter.time.minute, winter.time.second, winter.time.millisecond}),
              (std::array<uint16_t, 4>{1, 59, 59, 999}));
    EXPECT_EQ((std::array{summer.time.hour, summer.time.minute, summer.time.second, summer.time.millisecond}),
              (std::array<uint16_t, 4>{3, 0, 0, 0}));
}
#endif

}  // namespace
}  // namespace norvale
