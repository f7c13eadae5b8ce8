#include "forward/forward_queue.h"

#include <algorithm>

namespace norvale {

// Waking the sender is a system call, dear under load: it is woken only when
// it waits; while it works or gathers, it finds the entry by itself.
void TForwardQueue::Push(Entry entry) {
    const size_t bytes = ForwardedBytes(*entry);
    bool wake = false;
    {
        std::lock_guard lock(lock_);
        if (bytes > byteCapacity_) {
            ++dropped_;
            ++unreported_;
        } else {
            while (!entries_.empty() && (entries_.size() >= capacity_ || bytes_ + bytes > byteCapacity_)) {
                DropFront();
            }
            entries_.push_back(THeld{std::move(entry), bytes});
            bytes_ += bytes;
            wake = waiting_;
        }
        Publish();
    }
    if (wake) pushed_.notify_one();
}

void TForwardQueue::CountDropped() noexcept {
    std::lock_guard lock(lock_);
    ++dropped_;
    ++unreported_;
    Publish();
}

void TForwardQueue::DropFront() {
    bytes_ -= entries_.front().bytes;
    entries_.pop_front();
    ++dropped_;
    ++unreported_;
}

void TForwardQueue::Publish() {
    queuedCount_.store(entries_.size() + taken_, std::memory_order_relaxed);
    droppedCount_.store(dropped_, std::memory_order_relaxed);
}

std::vector<TForwardQueue::Entry> TForwardQueue::Take(size_t most, size_t bytes, std::chrono::milliseconds wait) {
    std::unique_lock lock(lock_);
    waiting_ = true;
    pushed_.wait_for(lock, wait, [&] { return !entries_.empty() || woken_; });
    waiting_ = false;
    woken_ = false;
    std::vector<Entry> taken;
    size_t takenBytes = 0;
    while (!entries_.empty() && taken.size() < most &&
           (taken.empty() || takenBytes + entries_.front().bytes <= bytes)) {
        takenBytes += entries_.front().bytes;
        bytes_ -= entries_.front().bytes;
        taken.push_back(std::move(entries_.front().entry));
        entries_.pop_front();
    }
    taken_ += taken.size();
    return taken;
}

void TForwardQueue::Settle(std::vector<Entry> taken, size_t sent) {
    std::lock_guard lock(lock_);
    sent = std::min(sent, taken.size());
    taken_ -= taken.size();
    sentCount_.fetch_add(sent, std::memory_order_relaxed);
    for (size_t i = taken.size(); i > sent; --i) {
        const size_t bytes = ForwardedBytes(*taken[i - 1]);
        entries_.push_front(THeld{std::move(taken[i - 1]), bytes});
        bytes_ += bytes;
    }
    while (entries_.size() > capacity_ || bytes_ > byteCapacity_) DropFront();
    Publish();
}

void TForwardQueue::DropAll() {
    std::lock_guard lock(lock_);
    while (!entries_.empty()) DropFront();
    Publish();
}

uint64_t TForwardQueue::Unreported() const {
    std::lock_guard lock(lock_);
    return unreported_;
}

void TForwardQueue::Reported(uint64_t count) {
    std::lock_guard lock(lock_);
    unreported_ -= std::min(count, unreported_);
}

ForwardCounts TForwardQueue::Counts() const {
    return ForwardCounts{sentCount_.load(std::memory_order_relaxed), queuedCount_.load(std::memory_order_relaxed),
                         droppedCount_.load(std::memory_order_relaxed)};
}

void TForwardQueue::Wake() {
    {
        std::lock_guard lock(lock_);
        woken_ = true;
    }
    pushed_.notify_one();
}

}  // namespace norvale
