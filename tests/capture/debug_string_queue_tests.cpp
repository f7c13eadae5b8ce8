// The queue between the capture threads: what a full one drops and counts,
// batches in order, and the taker's end.

#include <gtest/gtest.h>

#include <thread>

#include "capture/debug_string_queue.h"

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

// Strings pushed before the close are still taken; then the taker is free.
TEST(DebugStringQueueTest, AWaitingTakerGetsEveryStringInOrderAndEndsAfterTheClose) {
    TDebugStringQueue queue;
    const auto writer = MakeCapturedWriter(L"PC", 7, L"app.exe");
    std::vector<std::string> taken;
    std::thread taker([&] {
        std::vector<CapturedString> batch(64);
        while (const size_t count = queue.Take(batch)) {
            for (size_t i = 0; i < count; ++i) taken.push_back(batch[i].text);
        }
    });
    constexpr int kStrings = 5000;
    for (int i = 0; i < kStrings; ++i) queue.Push(writer, std::to_string(i), {});
    queue.Close();
    taker.join();
    ASSERT_EQ(taken.size(), size_t{kStrings});
    for (int i = 0; i < kStrings; ++i) ASSERT_EQ(taken[static_cast<size_t>(i)], std::to_string(i));
}

}  // namespace
}  // namespace norvale
