// The queue between the capture threads: what a full one drops and counts,
// batches in order, and the taker's end.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "capture/debug_string_queue.h"
#include "tests_support/wait_until.h"

namespace norvale {
namespace {

std::vector<std::string> TakeTexts(TDebugStringQueue& queue, size_t most) {
    std::vector<CapturedString> batch(most);
    batch.resize(queue.Take(batch));
    std::vector<std::string> texts;
    for (const auto& captured : batch) texts.push_back(captured.text);
    return texts;
}

TEST(DebugStringQueueTest, AFullQueueDropsTheOldestAndCountsThemAmongTheCaptured) {
    EXPECT_EQ(TDebugStringQueue::kCapacity, 100000u) << "the bound the documents give";
    TDebugStringQueue queue(3);
    const auto writer = MakeCapturedWriter(L"PC", 7, L"app.exe");
    for (const char* text : {"a", "b", "c", "d", "e"}) queue.Push(writer, text, {});
    EXPECT_EQ(TakeTexts(queue, 2), (std::vector<std::string>{"c", "d"}));
    queue.Push(writer, "f", {});
    EXPECT_EQ(TakeTexts(queue, 8), (std::vector<std::string>{"e", "f"}));
    queue.CountLost();
    queue.CountUndispatched(3);
    EXPECT_EQ(queue.Read().captured, 7u);
    EXPECT_EQ(queue.Read().dropped, 6u);
}

// Each burst is taken before anything is closed, so only the pushes can wake
// the taker; strings pushed before the close are still taken; then the taker
// is free.
TEST(DebugStringQueueTest, AWaitingTakerIsWokenByPushesGetsEveryStringInOrderAndEndsAfterTheClose) {
    TDebugStringQueue queue;
    const auto writer = MakeCapturedWriter(L"PC", 7, L"app.exe");
    std::vector<std::string> taken;
    std::atomic<size_t> takenCount{0};
    std::thread taker([&] {
        std::vector<CapturedString> batch(64);
        while (const size_t count = queue.Take(batch)) {
            for (size_t i = 0; i < count; ++i) taken.push_back(batch[i].text);
            takenCount = taken.size();
        }
    });
    constexpr int kBursts = 3;
    constexpr int kStrings = 6000;
    int burst = 0;
    for (int i = 0; burst < kBursts; ++burst) {
        for (const int end = i + kStrings / kBursts; i < end; ++i) queue.Push(writer, std::to_string(i), {});
        const auto pushed = static_cast<size_t>(i);
        if (!test::WaitUntil([&] { return takenCount == pushed; }, std::chrono::seconds(10))) break;
    }
    queue.Push(writer, std::to_string(kStrings), {});
    queue.Close();
    taker.join();
    EXPECT_EQ(burst, kBursts) << "the taker, waiting, to take burst " << burst << " with no close to wake it";
    ASSERT_EQ(taken.size(), size_t{kStrings + 1});
    for (int i = 0; i <= kStrings; ++i) ASSERT_EQ(taken[static_cast<size_t>(i)], std::to_string(i));
}

}  // namespace
}  // namespace norvale
