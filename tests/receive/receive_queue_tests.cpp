// The receiving queue's bound: a stream's entries are never dropped, the
// stream reader sees it full; a datagram takes the oldest datagram's place,
// or is dropped when only streams' entries wait; by count and by bytes.

#include <gtest/gtest.h>

#include "receive/receive_queue.h"

namespace norvale {
namespace {

ReceivedEntry Entry(const std::wstring& text) {
    ReceivedEntry entry;
    entry.text = text;
    return entry;
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
    queue.PushFromStream(Entry(L"s1"));
    queue.PushDatagram(Entry(L"d2"));
    EXPECT_TRUE(queue.Full());
    queue.PushDatagram(Entry(L"d3"));
    queue.PushDatagram(Entry(L"d4"));
    EXPECT_EQ(queue.Dropped(), 2u);
    EXPECT_EQ(TakeAll(queue), (std::vector<std::wstring>{L"s1", L"d3", L"d4"}));

    TReceiveQueue streams(2);
    streams.PushFromStream(Entry(L"s1"));
    streams.PushFromStream(Entry(L"s2"));
    streams.PushDatagram(Entry(L"d1"));
    EXPECT_EQ(streams.Dropped(), 1u);
    EXPECT_EQ(TakeAll(streams), (std::vector<std::wstring>{L"s1", L"s2"}));
}

TEST(ReceiveQueueTest, BytesBoundItToo) {
    const ReceivedEntry big = Entry(std::wstring(1000, L'x'));
    TReceiveQueue queue(100, ReceivedBytes(big) * 2);
    queue.PushDatagram(big);
    EXPECT_FALSE(queue.Full());
    queue.PushDatagram(big);
    EXPECT_TRUE(queue.Full());
    queue.PushDatagram(Entry(L"small"));
    EXPECT_EQ(queue.Dropped(), 1u);
    EXPECT_EQ(TakeAll(queue).back(), L"small");
}

}  // namespace
}  // namespace norvale
