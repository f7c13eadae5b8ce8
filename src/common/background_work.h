#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace norvale {

// Work the main thread hands off so that it never waits on a lock: one thread
// runs the jobs in the order they came. The queue is bounded; a job beyond it
// is dropped and counted (a user cannot ask faster than a refresh ends).
class TBackgroundWork {
public:
    static constexpr size_t kCapacity = 64;

    TBackgroundWork();
    // Runs what is queued, then ends.
    ~TBackgroundWork();
    TBackgroundWork(const TBackgroundWork&) = delete;
    TBackgroundWork& operator=(const TBackgroundWork&) = delete;

    // False when the job was dropped. A job must not throw.
    bool Post(std::function<void()> job);
    // Runs what is queued, then ends; later posts are dropped.
    void Stop();

    uint64_t Dropped() const;

private:
    void Run();

    mutable std::mutex lock_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    uint64_t dropped_ = 0;
    std::thread thread_;
};

}  // namespace norvale
