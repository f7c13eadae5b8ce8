#include "capture/debug_string_queue.h"

#include <algorithm>
#include <utility>

namespace norvale {

TDebugStringQueue::TDebugStringQueue(size_t capacity) : slots_(std::max<size_t>(capacity, 1)) {}

void TDebugStringQueue::Push(std::shared_ptr<const CapturedWriter> writer, std::string_view text,
                             LocalDateTime time) {
    bool wake = false;
    {
        std::lock_guard lock(lock_);
        ++counts_.captured;
        if (count_ == slots_.size()) {
            first_ = (first_ + 1) % slots_.size();
            --count_;
            ++counts_.dropped;
        }
        CapturedString& slot = slots_[(first_ + count_) % slots_.size()];
        slot.writer = std::move(writer);
        slot.text.assign(text);
        slot.time = time;
        ++count_;
        wake = taking_;
    }
    // Only a waiting taker costs a wake-up; a busy one finds the string on
    // its next turn.
    if (wake) queued_.notify_one();
}

size_t TDebugStringQueue::Take(std::vector<CapturedString>& batch) {
    std::unique_lock lock(lock_);
    taking_ = true;
    queued_.wait(lock, [this] { return count_ > 0 || closed_; });
    taking_ = false;
    const size_t taken = std::min(count_, batch.size());
    for (size_t i = 0; i < taken; ++i) {
        CapturedString& slot = slots_[(first_ + i) % slots_.size()];
        // A buffer grown by one long string goes, rather than a full queue's
        // worth of them staying for the rest of the run.
        if (batch[i].text.capacity() > kKeptBuffer) std::string().swap(batch[i].text);
        std::swap(batch[i].text, slot.text);
        batch[i].writer = std::move(slot.writer);
        batch[i].time = slot.time;
    }
    first_ = (first_ + taken) % slots_.size();
    count_ -= taken;
    return taken;
}

void TDebugStringQueue::Close() {
    {
        std::lock_guard lock(lock_);
        closed_ = true;
    }
    queued_.notify_all();
}

void TDebugStringQueue::CountLost() {
    std::lock_guard lock(lock_);
    ++counts_.captured;
    ++counts_.dropped;
}

void TDebugStringQueue::CountUndispatched(size_t strings) {
    std::lock_guard lock(lock_);
    counts_.dropped += strings;
}

TDebugStringQueue::Counts TDebugStringQueue::Read() const {
    std::lock_guard lock(lock_);
    return counts_;
}

}  // namespace norvale
