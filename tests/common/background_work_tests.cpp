// The main thread's hand-off: jobs run in order, the queue is bounded, and
// the end runs what is queued.

#include <gtest/gtest.h>

#include <future>

#include "common/background_work.h"

namespace norvale {
namespace {

TEST(BackgroundWorkTest, JobsRunInOrderBeyondTheBoundTheyAreDroppedAndTheEndRunsTheRest) {
    std::vector<int> done;
    std::promise<void> started, release;
    std::shared_future<void> released = release.get_future().share();
    {
        TBackgroundWork work;
        // The first job holds the thread, bounded; the rest wait in the queue.
        work.Post([&started, released] {
            started.set_value();
            released.wait_for(std::chrono::seconds(30));
        });
        ASSERT_EQ(started.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready) << "the first job";
        for (int i = 0; i < static_cast<int>(TBackgroundWork::kCapacity); ++i) {
            EXPECT_TRUE(work.Post([&done, i] { done.push_back(i); }));
        }
        EXPECT_FALSE(work.Post([&done] { done.push_back(-1); }));
        EXPECT_EQ(work.Dropped(), 1u);
        release.set_value();
    }
    ASSERT_EQ(done.size(), TBackgroundWork::kCapacity);
    for (size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i], static_cast<int>(i));
}

}  // namespace
}  // namespace norvale
