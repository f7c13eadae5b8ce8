#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "common/mutex.h"

namespace norvale {

// Mutexes of one name share one lock, as kernel mutexes of one name share one
// object. It passes to its waiters in turn, as the kernel hands its mutex to
// a waiter: a holder that lets go and asks again queues behind the threads
// already waiting (a plain mutex would let it take the lock straight back),
// so another client gets in between the slices of a batch here as on Windows.
struct TNamedLock {
    std::mutex guard;
    std::condition_variable turn;
    std::thread::id owner;
    unsigned depth = 0;
    std::deque<std::thread::id> queue;
};

struct TMutex::Impl {
    std::shared_ptr<TNamedLock> lock;
};

namespace {

std::shared_ptr<TNamedLock> SharedLockNamed(const std::string& name) {
    static std::mutex guard;
    static std::map<std::string, std::weak_ptr<TNamedLock>> byName;
    std::lock_guard lock(guard);
    auto& slot = byName[name];
    auto shared = slot.lock();
    if (!shared) {
        shared = std::make_shared<TNamedLock>();
        slot = shared;
    }
    return shared;
}

}  // namespace

TMutex::TMutex(const std::string& name) : name_(name), impl_(std::make_unique<Impl>()) {
    impl_->lock = SharedLockNamed(name);
}

TMutex::~TMutex() = default;

void TMutex::Wait() {
    TNamedLock& lock = *impl_->lock;
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock guard(lock.guard);
    if (lock.owner == self) {
        ++lock.depth;
        return;
    }
    lock.queue.push_back(self);
    lock.turn.wait(guard, [&] { return lock.owner == std::thread::id() && lock.queue.front() == self; });
    lock.queue.pop_front();
    lock.owner = self;
    lock.depth = 1;
}

void TMutex::Release() {
    TNamedLock& lock = *impl_->lock;
    {
        std::lock_guard guard(lock.guard);
        if (--lock.depth > 0) return;
        lock.owner = std::thread::id();
    }
    lock.turn.notify_all();
}

bool TMutex::IsQueued(std::thread::id thread) const {
    TNamedLock& lock = *impl_->lock;
    std::lock_guard guard(lock.guard);
    return std::find(lock.queue.begin(), lock.queue.end(), thread) != lock.queue.end();
}

}  // namespace norvale
