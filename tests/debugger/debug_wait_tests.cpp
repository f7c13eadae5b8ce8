// What the debug loop does after its wait, and that it reads the wait's error
// before the stop check that may reset it.

#include <gtest/gtest.h>

#include "debugger/debug_wait.h"

namespace norvale {
namespace {

TEST(DebugWaitTest, AnEventIsHandledATimeoutWaitsAgainAndEverythingElseEndsTheRun) {
    constexpr uint32_t kOtherError = 6;
    const struct {
        bool received;
        uint32_t error;
        bool stopped;
        AfterDebugWait expected;
    } cases[] = {
        {true, 0, false, AfterDebugWait::Handle},
        {true, 0, true, AfterDebugWait::Handle},
        {false, kWaitTimedOut, false, AfterDebugWait::WaitAgain},
        {false, kWaitTimedOut, true, AfterDebugWait::End},
        {false, kOtherError, false, AfterDebugWait::End},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecideAfterDebugWait(c.received, [&] { return c.error; }, [&] { return c.stopped; }), c.expected)
            << "received " << c.received << ", error " << c.error << ", stopped " << c.stopped;
    }
}

// As the platform's last error is: one value per thread, which the stop
// check's lock resets.
TEST(DebugWaitTest, TheWaitsErrorIsReadBeforeTheStopCheckResetsIt) {
    uint32_t lastError = kWaitTimedOut;
    const auto stopCheck = [&] {
        lastError = 0;
        return false;
    };
    EXPECT_EQ(DecideAfterDebugWait(false, [&] { return lastError; }, stopCheck), AfterDebugWait::WaitAgain);
}

}  // namespace
}  // namespace norvale
