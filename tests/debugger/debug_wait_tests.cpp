// What the debug loop does after its wait.

#include <gtest/gtest.h>

#include "debugger/debug_wait.h"

namespace norvale {
namespace {

// Each stop check resets the last error, as the lock behind it may: a loop
// that read the error after it would wait again after every failure.
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
        uint32_t lastError = c.error;
        const auto stopCheck = [&] { return lastError = 0, c.stopped; };
        EXPECT_EQ(DecideAfterDebugWait(c.received, [&] { return lastError; }, stopCheck), c.expected)
            << "received " << c.received << ", error " << c.error << ", stopped " << c.stopped;
    }
}

}  // namespace
}  // namespace norvale
