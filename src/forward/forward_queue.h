#pragma once

// Entries between the dispatch and the sender. The dispatch only appends, so
// no client call ever waits on the network; the sender looks at the oldest
// entries, sends them, and removes them only once they went out, so that a
// broken connection sends them again. A full queue forgets its oldest entry
// and counts it.

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
    using Entry = std::shared_ptr<const ForwardedEntry>;

    explicit TForwardQueue(size_t capacity = kCapacity) : capacity_(capacity) {}

    // The dispatch's side: holds the queue's lock only to append.
    void Push(Entry entry);

    // The sender's side. The oldest entries, at most `most`, left in the
    // queue; waits up to `wait` for one when there is none. `first` is the
    // number of the first of them, for `Remove`.
    std::vector<Entry> Peek(size_t most, std::chrono::milliseconds wait, uint64_t& first);
    // The entries numbered below `end` went out: they leave the queue (those
    // the bound forgot meanwhile are gone already) and count as sent.
    void Remove(uint64_t end);
    // Forgets every waiting entry and counts it as dropped.
    void DropAll();
    // Dropped and not yet told to the collector; `Reported` takes off what
    // a notice told, once it went out.
    uint64_t Unreported() const;
    void Reported(uint64_t count);

    ForwardCounts Counts() const;
    // Wakes a waiting `Peek`, which then returns what there is at once.
    void Wake();

private:
    void DropFront(size_t count);

    const size_t capacity_;
    mutable std::mutex lock_;
    std::condition_variable pushed_;
    std::deque<Entry> entries_;
    uint64_t first_ = 0;  // the number of `entries_.front()`
    uint64_t sent_ = 0;
    uint64_t dropped_ = 0;
    uint64_t unreported_ = 0;
    bool woken_ = false;
    bool waiting_ = false;  // in `Peek`
};

}  // namespace norvale
