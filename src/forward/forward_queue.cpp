#include "forward/forward_queue.h"

#include <algorithm>

namespace norvale {

// Waking the sender is a system call, dear under load: it is woken only when
// it waits; while it works or gathers, it finds the entry by itself.
void TForwardQueue::Push(Entry entry) {
    bool wake = false;
    {
        std::lock_guard lock(lock_);
        if (entries_.size() == capacity_) DropFront(1);
        entries_.push_back(std::move(entry));
        wake = waiting_;
    }
    if (wake) pushed_.notify_one();
}

void TForwardQueue::DropFront(size_t count) {
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
    first_ += count;
    dropped_ += count;
    unreported_ += count;
}

std::vector<TForwardQueue::Entry> TForwardQueue::Peek(size_t most, std::chrono::milliseconds wait,
                                                      uint64_t& first) {
    std::unique_lock lock(lock_);
    waiting_ = true;
    pushed_.wait_for(lock, wait, [&] { return !entries_.empty() || woken_; });
    waiting_ = false;
    woken_ = false;
    first = first_;
    const size_t count = std::min(most, entries_.size());
    return std::vector<Entry>(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
}

void TForwardQueue::Remove(uint64_t end) {
    std::lock_guard lock(lock_);
    if (end <= first_) return;
    const auto count = static_cast<size_t>(std::min<uint64_t>(end - first_, entries_.size()));
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
    first_ += count;
    sent_ += count;
}

void TForwardQueue::DropAll() {
    std::lock_guard lock(lock_);
    DropFront(entries_.size());
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
    std::lock_guard lock(lock_);
    return ForwardCounts{sent_, entries_.size(), dropped_};
}

void TForwardQueue::Wake() {
    {
        std::lock_guard lock(lock_);
        woken_ = true;
    }
    pushed_.notify_one();
}

}  // namespace norvale
