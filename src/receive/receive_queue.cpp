#include "receive/receive_queue.h"

#include <new>

namespace norvale {

TReceiveQueue::TRoom TReceiveQueue::Room() const {
    std::lock_guard lock(lock_);
    if (FullLocked()) return {};
    return TRoom{capacity_ - count_, byteCapacity_ - bytes_};
}

void TReceiveQueue::PushLocked(std::deque<THeld>& into, ReceivedEntry entry) {
    const size_t bytes = ReceivedBytes(entry);
    into.push_back(THeld{nextOrder_++, bytes, std::move(entry)});
    ++count_;
    bytes_ += bytes;
}

void TReceiveQueue::PushFromStream(std::vector<ReceivedEntry>& entries) {
    if (entries.empty()) return;
    size_t pushed = 0;
    try {
        std::lock_guard lock(lock_);
        for (; pushed < entries.size(); ++pushed) PushLocked(streams_, std::move(entries[pushed]));
    } catch (const std::bad_alloc&) {
        dropped_ += entries.size() - pushed;
    }
    entries.clear();
    WakeTaker();
}

// A forgotten entry leaves its place only once it has its own, so that a
// failure to make room changes nothing.
void TReceiveQueue::PushDatagram(ReceivedEntry entry) {
    std::unique_lock lock(lock_);
    std::deque<THeld> forgotten;
    while (FullLocked() && !datagrams_.empty()) {
        forgotten.push_back(std::move(datagrams_.front()));
        datagrams_.pop_front();
        --count_;
        bytes_ -= forgotten.back().bytes;
        ++dropped_;
    }
    if (FullLocked()) {
        ++dropped_;
    } else {
        PushLocked(datagrams_, std::move(entry));
    }
    // Freed outside the lock.
    lock.unlock();
    WakeTaker();
}

size_t TReceiveQueue::Take(std::vector<ReceivedEntry>& into, size_t most) {
    std::unique_lock lock(lock_);
    ++waiting_;
    pushed_.wait(lock, [&] { return count_ > 0 || closed_; });
    --waiting_;
    size_t taken = 0;
    for (; taken < most && count_ > 0; ++taken) {
        const bool fromStream =
            datagrams_.empty() || (!streams_.empty() && streams_.front().order < datagrams_.front().order);
        std::deque<THeld>& from = fromStream ? streams_ : datagrams_;
        --count_;
        bytes_ -= from.front().bytes;
        into.push_back(std::move(from.front().entry));
        from.pop_front();
    }
    return taken;
}

bool TReceiveQueue::TakerWaits() const {
    std::lock_guard lock(lock_);
    return waiting_ > 0;
}

void TReceiveQueue::Close() {
    std::lock_guard lock(lock_);
    closed_ = true;
    pushed_.notify_all();
}

}  // namespace norvale
