// The hand-over between a debugger thread and its window: no event, no
// Continue and no end of the run is lost, whatever the order of the two sides.

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "debugger/debug_event_handover.h"

namespace norvale {
namespace {

using std::chrono::seconds;

DebugEventCopy EventWithCode(uint32_t code, bool halted = false) {
    DebugEventCopy copy;
    copy.event.code = code;
    copy.halted = halted;
    return copy;
}

// Whether `future` is ready within 20 s; if not, the hand-over is stopped so
// that the waiting thread ends with the test.
template <typename T>
bool ReadyWithin20s(std::future<T>& future, TDebugEventHandOver& handOver) {
    if (future.wait_for(seconds(20)) == std::future_status::ready) return true;
    handOver.Stop();
    return false;
}

TEST(DebugEventHandOverTest, WakesOnceUntilTakenAndKeepsOrderAndTheEnd) {
    int wakes = 0;
    TDebugEventHandOver handOver([&] { return ++wakes, true; });
    EXPECT_TRUE(handOver.PostDebugEvent(EventWithCode(3)));
    EXPECT_TRUE(handOver.PostDebugEvent(EventWithCode(6)));
    EXPECT_EQ(wakes, 1);
    auto batch = handOver.Take(false);
    ASSERT_EQ(batch.events.size(), 2u);
    EXPECT_EQ(batch.events[0].event.code, 3u);
    EXPECT_EQ(batch.events[1].event.code, 6u);
    EXPECT_FALSE(batch.terminated);

    EXPECT_TRUE(handOver.PostDebugEvent(EventWithCode(5)));
    handOver.SetTerminated();
    EXPECT_EQ(wakes, 2);
    batch = handOver.Take(false);
    ASSERT_EQ(batch.events.size(), 1u);
    EXPECT_TRUE(batch.terminated);
}

// A window that paces itself is not woken while its takes find events, and is
// woken again once one finds none.
TEST(DebugEventHandOverTest, AWindowThatComesBackIsWokenOnlyAfterATakeThatFoundNothing) {
    int wakes = 0;
    TDebugEventHandOver handOver([&] { return ++wakes, true; });
    handOver.PostDebugEvent(EventWithCode(8));
    EXPECT_EQ(handOver.Take(true).events.size(), 1u);
    handOver.PostDebugEvent(EventWithCode(8));
    handOver.SetTerminated();
    EXPECT_EQ(wakes, 1);
    const auto batch = handOver.Take(true);
    EXPECT_EQ(batch.events.size(), 1u);
    EXPECT_TRUE(batch.terminated);
    EXPECT_TRUE(handOver.Take(true).events.empty());
    handOver.PostDebugEvent(EventWithCode(8));
    EXPECT_EQ(wakes, 2);
}

TEST(DebugEventHandOverTest, AFailedWakeIsTriedAgainWithTheNextEvent) {
    bool wakeWorks = false;
    int wakes = 0;
    TDebugEventHandOver handOver([&] { return ++wakes, wakeWorks; });
    handOver.PostDebugEvent(EventWithCode(8));
    wakeWorks = true;
    handOver.PostDebugEvent(EventWithCode(8));
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(handOver.Take(false).events.size(), 2u);
}

TEST(DebugEventHandOverTest, AContinueGivenBeforeTheWaitIsNotLostAndIsConsumedOnce) {
    TDebugEventHandOver handOver([] { return true; });
    handOver.Continue();
    EXPECT_TRUE(handOver.WaitForContinue());
    auto second = std::async(std::launch::async, [&] { return handOver.WaitForContinue(); });
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout)
        << "one Continue released two waits";
    handOver.Continue();
    ASSERT_TRUE(ReadyWithin20s(second, handOver)) << "the second Continue did not release the wait within 20 s";
    EXPECT_TRUE(second.get());
}

// Each dump asked for is written by the waiting thread outside the lock (its
// note is an event), one asked for with the Continue before it; of two asked
// for before the thread took either, the newer. No writer, no wake.
TEST(DebugEventHandOverTest, AWaitForContinueWritesEveryDumpAskedForAndOneAskedWithTheContinueFirst) {
    TDebugEventHandOver handOver([] { return true; });
    std::vector<std::wstring> written;
    std::promise<void> first;
    const auto writeDump = [&](const std::wstring& path) {
        written.push_back(path);
        EXPECT_TRUE(handOver.PostDebugEvent(EventWithCode(kDebuggerNoteEvent, true)));
        if (written.size() == 1) first.set_value();
    };
    handOver.RequestDump(L"old.dmp");
    handOver.RequestDump(L"a.dmp");
    auto waiting = std::async(std::launch::async, [&] { return handOver.WaitForContinue(writeDump); });
    ASSERT_EQ(first.get_future().wait_for(seconds(20)), std::future_status::ready) << "no dump written within 20 s";
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout) << "a dump ended the wait";
    handOver.RequestDump(L"b.dmp");
    handOver.Continue();
    ASSERT_TRUE(ReadyWithin20s(waiting, handOver)) << "Continue did not end the wait within 20 s";
    EXPECT_EQ(written, (std::vector<std::wstring>{L"a.dmp", L"b.dmp"}));
    EXPECT_EQ(handOver.Take(false).events.size(), 2u);
    handOver.RequestDump(L"c.dmp");
    auto plain = std::async(std::launch::async, [&] { return handOver.WaitForContinue(); });
    EXPECT_EQ(plain.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout) << "woken without a writer";
    handOver.Continue();
    ASSERT_TRUE(ReadyWithin20s(plain, handOver)) << "Continue did not end the plain wait within 20 s";
}

TEST(DebugEventHandOverTest, StopEndsEveryWaitAndRefusesFurtherEvents) {
    int wakes = 0;
    TDebugEventHandOver handOver([&] { return ++wakes, true; });
    auto waiting = std::async(std::launch::async, [&] { return handOver.WaitForContinue(); });
    handOver.Stop();
    ASSERT_TRUE(ReadyWithin20s(waiting, handOver)) << "Stop did not end the wait for Continue within 20 s";
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(handOver.PostDebugEvent(EventWithCode(8)));
    handOver.SetTerminated();
    EXPECT_EQ(wakes, 0) << "a stopped hand-over woke its window";
}

TEST(DebugEventHandOverTest, ADebuggeeThatOutrunsItsWindowIsHeldUntilTheWindowTakes) {
    TDebugEventHandOver handOver([] { return true; });
    for (size_t i = 0; i < TDebugEventHandOver::kMaxWaiting; ++i) handOver.PostDebugEvent(EventWithCode(8));
    auto held = std::async(std::launch::async, [&] { return handOver.PostDebugEvent(EventWithCode(5)); });
    EXPECT_EQ(held.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout) << "not held at the bound";
    EXPECT_EQ(handOver.Take(false).events.size(), TDebugEventHandOver::kMaxWaiting);
    ASSERT_TRUE(ReadyWithin20s(held, handOver)) << "not let go within 20 s after the window took";
    EXPECT_TRUE(held.get());
    EXPECT_EQ(handOver.Take(false).events.back().event.code, 5u);
}

}  // namespace
}  // namespace norvale
