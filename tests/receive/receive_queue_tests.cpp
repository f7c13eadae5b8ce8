// The receiving queue's bound: a stream's entries are never dropped, the
// stream reader sees it full; a datagram takes the oldest datagram's place,
// or is dropped when only streams' entries wait; by count and by bytes. A
// push wakes a taker that already waits.

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "receive/receive_queue.h"
#include "tests_support/wait_until.h"

namespace norvale {
namespace {

ReceivedEntry Entry(const std::wstring& text) {
    ReceivedEntry entry;
    entry.text = text;
    return entry;
}

void PushFromStream(TReceiveQueue& queue, std::initializer_list<const wchar_t*> texts) {
    std::vector<ReceivedEntry> entries;
    for (const wchar_t* text : texts) entries.push_back(Entry(text));
    queue.PushFromStream(entries);
    EXPECT_TRUE(entries.empty());
}

bool Full(const TReceiveQueue& queue) {
    const TReceiveQueue::TRoom room = queue.Room();
    return room.entries == 0 || room.bytes == 0;
}

std::vector<std::wstring> TakeAll(TReceiveQueue& queue) {
    queue.Close();
    std::vector<ReceivedEntry> taken;
    while (queue.Take(taken, 2) > 0) {
    }
    std::vector<std::wstring> texts;
    for (const auto& entry : taken) texts.push_back(entry.text);
    return texts;
}

TEST(ReceiveQueueTest, StreamsWaitAndDatagramsDropTheOldestDatagram) {
    TReceiveQueue queue(3);
    queue.PushDatagram(Entry(L"d1"));
    PushFromStream(queue, {L"s1"});
    EXPECT_EQ(queue.Room().entries, 1u);
    queue.PushDatagram(Entry(L"d2"));
    EXPECT_TRUE(Full(queue));
    queue.PushDatagram(Entry(L"d3"));
    queue.PushDatagram(Entry(L"d4"));
    EXPECT_EQ(queue.Dropped(), 2u);
    EXPECT_EQ(TakeAll(queue), (std::vector<std::wstring>{L"s1", L"d3", L"d4"}));

    TReceiveQueue streams(2);
    PushFromStream(streams, {L"s1", L"s2"});
    streams.PushDatagram(Entry(L"d1"));
    EXPECT_EQ(streams.Dropped(), 1u);
    EXPECT_EQ(TakeAll(streams), (std::vector<std::wstring>{L"s1", L"s2"}));
}

TEST(ReceiveQueueTest, BytesBoundItToo) {
    const ReceivedEntry big = Entry(std::wstring(1000, L'x'));
    TReceiveQueue queue(100, ReceivedBytes(big) * 2);
    queue.PushDatagram(big);
    EXPECT_EQ(queue.Room().bytes, ReceivedBytes(big));
    queue.PushDatagram(big);
    EXPECT_TRUE(Full(queue));
    queue.PushDatagram(Entry(L"small"));
    EXPECT_EQ(queue.Dropped(), 1u);
    EXPECT_EQ(TakeAll(queue).back(), L"small");
}

TEST(ReceiveQueueTest, APushWakesATakerThatAlreadyWaits) {
    using namespace std::chrono_literals;
    for (const bool stream : {true, false}) {
        TReceiveQueue queue;
        std::promise<size_t> took;
        std::future<size_t> taken = took.get_future();
        std::thread taker([&] {
            std::vector<ReceivedEntry> into;
            took.set_value(queue.Take(into, 2));
        });
        const bool waits = test::WaitUntil([&] { return queue.TakerWaits(); }, 20s);
        EXPECT_TRUE(waits) << "the taker waiting on the empty queue within 20 s";
        if (stream) {
            PushFromStream(queue, {L"s1"});
        } else {
            queue.PushDatagram(Entry(L"d1"));
        }
        const bool woken = taken.wait_for(20s) == std::future_status::ready;
        EXPECT_TRUE(woken) << (stream ? "a stream's" : "a datagram's") << " push waking the taker within 20 s";
        queue.Close();
        taker.join();
        EXPECT_EQ(taken.get(), 1u);
    }
}

}  // namespace
}  // namespace norvale
