#include "common/background_work.h"

namespace norvale {

TBackgroundWork::TBackgroundWork() : thread_([this] { Run(); }) {}

TBackgroundWork::~TBackgroundWork() { Stop(); }

bool TBackgroundWork::Post(std::function<void()> job) {
    {
        std::lock_guard lock(lock_);
        if (stopping_ || jobs_.size() >= kCapacity) {
            ++dropped_;
            return false;
        }
        jobs_.push_back(std::move(job));
    }
    posted_.notify_one();
    return true;
}

void TBackgroundWork::Stop() {
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
    }
    posted_.notify_one();
    if (thread_.joinable()) thread_.join();
}

uint64_t TBackgroundWork::Dropped() const {
    std::lock_guard lock(lock_);
    return dropped_;
}

void TBackgroundWork::Run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(lock_);
            posted_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

}  // namespace norvale
