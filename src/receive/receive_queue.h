#pragma once

// Received entries between the receiving thread and the dispatch, bounded by
// count and by bytes. Each transport meets a full queue by its own policy:
//  - a stream (TCP) is not read while the queue is full, so its sender
//    waits and nothing of it is lost;
//  - a datagram (UDP) cannot be held up: it takes the place of the oldest
//    waiting datagram's entry, or is itself dropped when only streams' entries
//    wait, and the drop is counted.
// An entry that finds no memory for its place is dropped and counted too.
// The dispatch takes them in the order they arrived.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "receive/received_entry.h"

namespace norvale {

class TReceiveQueue {
public:
    static constexpr size_t kCapacity = 100000;
    static constexpr size_t kByteCapacity = size_t{64} << 20;

    explicit TReceiveQueue(size_t capacity = kCapacity, size_t byteCapacity = kByteCapacity)
        : capacity_(capacity), byteCapacity_(byteCapacity) {}

    // What the stream reader may still queue: it asks before it makes a
    // read's entries. The last of them may pass the byte bound, as may any
    // entry queued while there was room.
    struct TRoom {
        size_t entries = 0;
        size_t bytes = 0;
    };
    TRoom Room() const;
    // Moves every entry out of `entries`, with one wake-up for them all.
    void PushFromStream(std::vector<ReceivedEntry>& entries);
    void PushDatagram(ReceivedEntry entry);

    // Waits for entries, then moves up to `most` of them, oldest first, to
    // the end of `into`; 0 once the queue is closed and empty.
    size_t Take(std::vector<ReceivedEntry>& into, size_t most);
    // Lets `Take` return what is left, then 0.
    void Close();

    // An entry lost on its way, as its handling raised (memory it could not
    // have): counted with the drops.
    void CountDropped() { ++dropped_; }
    // Never waits.
    uint64_t Dropped() const { return dropped_.load(); }
    // Whether a taker waits for entries: a test's sign that a push must wake it.
    bool TakerWaits() const;

private:
    struct THeld {
        uint64_t order;
        size_t bytes;
        ReceivedEntry entry;
    };
    // Under the lock.
    bool FullLocked() const { return count_ >= capacity_ || bytes_ >= byteCapacity_; }
    void PushLocked(std::deque<THeld>& into, ReceivedEntry entry);
    void WakeTaker() { pushed_.notify_one(); }

    const size_t capacity_;
    const size_t byteCapacity_;
    mutable std::mutex lock_;
    std::condition_variable pushed_;
    std::deque<THeld> streams_;
    std::deque<THeld> datagrams_;
    size_t count_ = 0;
    size_t bytes_ = 0;
    uint64_t nextOrder_ = 0;
    bool closed_ = false;
    size_t waiting_ = 0;
    std::atomic<uint64_t> dropped_{0};
};

}  // namespace norvale
