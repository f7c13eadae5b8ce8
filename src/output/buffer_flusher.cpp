#include "output/buffer_flusher.h"

namespace norvale {

TBufferFlusher::TBufferFlusher(std::function<void()> flush) : flush_(std::move(flush)), thread_([this] { Run(); }) {}

TBufferFlusher::~TBufferFlusher() {
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
    }
    changed_.notify_one();
    thread_.join();
}

void TBufferFlusher::BytesWaiting() {
    {
        std::lock_guard lock(lock_);
        if (due_) return;
        due_ = std::chrono::steady_clock::now() + kDelay;
    }
    changed_.notify_one();
}

void TBufferFlusher::Run() {
    std::unique_lock lock(lock_);
    while (!stopping_) {
        if (!due_) {
            changed_.wait(lock);
            continue;
        }
        if (changed_.wait_until(lock, *due_) != std::cv_status::timeout) continue;
        due_.reset();
        // An entry meanwhile may set the next time while this one writes.
        lock.unlock();
        flush_();
        lock.lock();
    }
}

}  // namespace norvale
