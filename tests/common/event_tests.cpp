#include <gtest/gtest.h>

#include <thread>

#include "common/event.h"

namespace norvale {
namespace {

TEST(EventTest, OneSetReleasesOneWaitThenResets) {
    TEvent event;
    EXPECT_FALSE(event.WaitFor(0));
    event.Set();
    EXPECT_TRUE(event.WaitFor(0));
    EXPECT_FALSE(event.WaitFor(10));
}

TEST(EventTest, WakesAWaitingThread) {
    TEvent event;
    std::thread setter([&] { event.Set(); });
    EXPECT_TRUE(event.WaitFor(10000)) << "the other thread's Set within 10 s";
    setter.join();
}

}  // namespace
}  // namespace norvale
