#pragma once

// Entries between the dispatch and the sender. The dispatch only appends, so
// no client call ever waits on the network. The sender takes the oldest
// entries and settles them once it tried: what went out counts as sent, what
// did not goes back to the front, so that a broken connection sends it again.
// What the sender holds is neither dropped nor counted twice; of what waits,
// a full queue (by count or by bytes) forgets the oldest entries and counts
// them. The counts are published for readers that must never wait.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "forward/forward_status.h"
#include "forward/syslog_message.h"

namespace norvale {

class TForwardQueue {
public:
    static constexpr size_t kCapacity = 100000;
    static constexpr size_t kByteCapacity = size_t{64} << 20;
    using Entry = std::shared_ptr<const ForwardedEntry>;

    explicit TForwardQueue(size_t capacity = kCapacity, size_t byteCapacity = kByteCapacity)
        : capacity_(capacity), byteCapacity_(byteCapacity) {}

    // The dispatch's side: holds the queue's lock only to append. An entry
    // larger than the byte bound is dropped whole.
    void Push(Entry entry);
    // An entry that never came, its copy not made: dropped all the same.
    void CountDropped() noexcept;

    // The sender's side. Takes the oldest entries, at most `most` and, past
    // the first, at most `bytes` of them; waits up to `wait` for one when
    // there is none.
    std::vector<Entry> Take(size_t most, size_t bytes, std::chrono::milliseconds wait);
    // The first `sent` of what `Take` gave went out; the others go back to
    // the front, where the bound may drop them.
    void Settle(std::vector<Entry> taken, size_t sent);
    // Forgets every waiting entry and counts it as dropped.
    void DropAll();
    // Dropped and not yet told to the collector; `Reported` takes off what
    // a notice told, once it went out.
    uint64_t Unreported() const;
    void Reported(uint64_t count);

    // Never waits.
    ForwardCounts Counts() const;
    // Wakes a waiting `Take`, which then returns what there is at once.
    void Wake();

private:
    struct THeld {
        Entry entry;
        size_t bytes;
    };
    // Under the lock.
    void DropFront();
    void Publish();

    const size_t capacity_;
    const size_t byteCapacity_;
    mutable std::mutex lock_;
    std::condition_variable pushed_;
    std::deque<THeld> entries_;
    size_t bytes_ = 0;    // of `entries_`
    size_t taken_ = 0;    // entries the sender holds
    uint64_t dropped_ = 0;
    uint64_t unreported_ = 0;
    bool woken_ = false;
    bool waiting_ = false;  // in `Take`
    std::atomic<uint64_t> sentCount_{0};
    std::atomic<uint64_t> queuedCount_{0};
    std::atomic<uint64_t> droppedCount_{0};
};

}  // namespace norvale
