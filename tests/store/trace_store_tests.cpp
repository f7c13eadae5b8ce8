#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "store/trace_rows_watch.h"
#include "store/trace_shown_rows.h"

#include "store_test_entries.h"

namespace norvale {
namespace {

using test::Entry;

// The kept rows' messages, "|" before each entry's first row.
std::wstring Messages(const TTraceStore& store) {
    return store.Read([](const TTraceRows& rows) {
        std::wstring text;
        for (uint64_t row = rows.First(); row < rows.End(); ++row) {
            const TraceRowFields fields = rows.Fields(row);
            text += (fields.continuation ? L" " : L"|") + std::wstring(fields.message);
        }
        return text;
    });
}

struct Counts {
    uint64_t kept, dropped, appended;
    bool operator==(const Counts&) const = default;
};

Counts CountsOf(const TTraceStore& store) { return {store.KeptRows(), store.DroppedRows(), store.AppendedRows()}; }

TEST(TraceStoreTest, RingDropsWholeEntriesOldestFirstAndCountsTheirRows) {
    const TBlockLines two = TBlockLines::FromText(L"a\nb");
    const TBlockLines six = TBlockLines::FromText(L"1\n2\n3\n4\n5\n6");
    TTraceStore store(5);
    store.Append(Entry(L"one"));
    store.Append(Entry(L"block", MessageKind::Block, &two));
    store.Append(Entry(L"two"));
    EXPECT_EQ(Messages(store), L"|one|block a b|two");
    store.Append(Entry(L"three"));
    EXPECT_EQ(Messages(store), L"|block a b|two|three");
    store.Append(Entry(L"four"));
    EXPECT_EQ(Messages(store), L"|two|three|four");
    EXPECT_EQ(CountsOf(store), (Counts{3, 4, 7}));
    // Larger than the ring: its first rows that fit, the rest dropped.
    store.Append(Entry(L"big", MessageKind::Block, &six));
    EXPECT_EQ(Messages(store), L"|big 1 2 3 4");
    EXPECT_EQ(CountsOf(store), (Counts{5, 9, 12}));
    store.Append(Entry(L"five"));
    store.Append(Entry(L"six"));
    store.Append(Entry(L"block", MessageKind::Block, &two));
    store.ApplyOptions(OptionsSettings{true, 4});
    store.SetCapacity(8);
    store.Append(Entry(L"seven"));
    EXPECT_EQ(Messages(store), L"|six|block a b|seven");
    EXPECT_EQ(CountsOf(store), (Counts{5, 15, 18}));
    store.Clear();
    EXPECT_EQ(Messages(store), L"");
    EXPECT_EQ(CountsOf(store), (Counts{0, 15, 18}));
    EXPECT_EQ(store.Read([](const TTraceRows& rows) { return rows.First(); }), 18u);
    EXPECT_THROW(store.SetCapacity(0), std::invalid_argument);
}

// The texts' bound pushes whole entries out as the row bound does; the
// newest entry stays however large. Units of wchar_t: the source's names are
// 23, counted on each entry's first row.
TEST(TraceStoreTest, TheTextsBoundDropsOldestEntriesAndKeepsTheNewestWhole) {
    constexpr size_t kUnit = sizeof(wchar_t);
    const TBlockLines two = TBlockLines::FromText(L"a\nb");
    TTraceStore store(100, 60 * kUnit);
    store.Append(Entry(L"one"));
    store.Append(Entry(L"two"));
    EXPECT_EQ(store.KeptBytes(), 52 * kUnit);
    store.Append(Entry(L"six"));
    EXPECT_EQ(Messages(store), L"|two|six");
    store.Append(Entry(L"block", MessageKind::Block, &two));
    EXPECT_EQ(Messages(store), L"|six|block a b");
    EXPECT_EQ(store.KeptBytes(), 56 * kUnit);
    store.SetCapacity(3);
    EXPECT_EQ(Messages(store), L"|block a b");
    EXPECT_EQ(store.KeptBytes(), 30 * kUnit);
    store.SetCapacity(100);
    store.Append(Entry(std::wstring(60, L'x')));
    EXPECT_EQ(CountsOf(store), (Counts{1, 6, 7}));
    EXPECT_EQ(store.KeptBytes(), 83 * kUnit);
    store.Clear();
    EXPECT_EQ(store.KeptBytes(), 0u);
}

// The window's side of the protocol, on a thread of its own: take the posted
// message, take the rows, poll until a tick finds none. A lost wake-up would
// leave rows unread until the bounded wait gives up.
TEST(TraceStoreTest, AReaderOnAnotherThreadIsWokenForEveryRowWithOneMessageInFlight) {
    constexpr size_t kEntries = 20000;
    TTraceStore store(kEntries);
    std::mutex queue;
    std::condition_variable posted;
    int inFlight = 0;
    int mostInFlight = 0;
    TTraceRowsWatch watch(store, [&] {
        const std::lock_guard lock(queue);
        mostInFlight = std::max(mostInFlight, ++inFlight);
        posted.notify_one();
    });
    std::thread writer([&store] {
        for (size_t i = 0; i < kEntries; ++i) store.Append(Entry(L"x"));
    });
    TShownRows shown;
    while (shown.Count() < kEntries) {
        std::unique_lock lock(queue);
        if (!posted.wait_for(lock, std::chrono::seconds(30), [&inFlight] { return inFlight > 0; })) break;
        --inFlight;
        lock.unlock();
        do {
            watch.Taking();
            while (shown.Step(store, 1000).more) {
            }
        } while (watch.Tick());
    }
    writer.join();
    EXPECT_EQ(shown.Count(), kEntries) << "a wake-up for the last rows, within 30 s";
    EXPECT_EQ(mostInFlight, 1);
}

// A tick after rows came past the window's take, with the wake-up still
// pending so that the writer posted nothing: whether the window's look
// without the lock shows them or still lags, it takes them before it sleeps.
// Asleep, it is woken by the next row.
TEST(TraceStoreTest, TheWindowSleepsOnlyOnceItHasTakenEveryRowAndTheNextRowWakesIt) {
    struct Case {
        int rowsAfterTake;
        bool lookLags;
        bool takesAgain;
    };
    for (const Case& row : {Case{0, false, false}, Case{1, false, true}, Case{1, true, true}}) {
        SCOPED_TRACE(testing::Message() << row.rowsAfterTake << " rows after the take, look lags " << row.lookLags);
        TTraceStore store(8);
        int posted = 0;
        uint64_t looked = 0;
        TTraceRowsWatch watch(store, [&posted] { ++posted; }, [&looked] { return looked; });
        store.Append(Entry(L"first"));
        looked = store.AppendedRows();
        watch.Taking();
        for (int i = 0; i < row.rowsAfterTake; ++i) store.Append(Entry(L"later"));
        if (!row.lookLags) looked = store.AppendedRows();
        EXPECT_EQ(watch.Tick(), row.takesAgain);
        looked = store.AppendedRows();
        watch.Taking();
        EXPECT_FALSE(watch.Tick());
        store.Append(Entry(L"next"));
        EXPECT_EQ(posted, 2) << "a wake-up for the first row and one for the row after the window slept";
    }
}

// Cheap takes come 60 times a second; dear ones fill a quarter of the
// window's time at most, but come twice a second at least.
TEST(TraceStoreTest, TheNextLookWaitsThreeTimesWhatTheLastTakeCostWithinItsBounds) {
    using std::chrono::microseconds;
    const std::pair<microseconds, int> looks[] = {{microseconds(0), 16},       {microseconds(5400), 17},
                                                  {microseconds(40000), 120},  {microseconds(166667), 500},
                                                  {microseconds(2000000), 500}};
    for (const auto& [take, look] : looks) EXPECT_EQ(TTraceRowsWatch::NextLook(take).count(), look) << take.count();
}

// Each view of the rows has a wake-up of its own: one view taking rows past
// its look leaves the other asleep, and the next row wakes that one.
TEST(TraceStoreTest, EveryReaderIsWokenForItself) {
    TTraceStore store(8);
    int posted[2] = {};
    TTraceRowsWatch first(store, [&posted] { ++posted[0]; });
    TTraceRowsWatch second(store, [&posted] { ++posted[1]; });
    store.Append(Entry(L"one"));
    second.Taking();
    EXPECT_FALSE(second.Tick());
    store.Append(Entry(L"two"));
    EXPECT_TRUE(first.Tick()) << "rows past a take made before any came";
    store.Append(Entry(L"three"));
    EXPECT_EQ(posted[0], 1);
    EXPECT_EQ(posted[1], 2);
}

}  // namespace
}  // namespace norvale
