#include <map>
#include <mutex>

#include "common/mutex.h"

namespace norvale {

// Mutexes of one name share one recursive mutex, as kernel mutexes of one name
// share one object.
struct TMutex::Impl {
    std::shared_ptr<std::recursive_mutex> mutex;
};

namespace {

std::shared_ptr<std::recursive_mutex> SharedMutexNamed(const std::string& name) {
    static std::mutex guard;
    static std::map<std::string, std::weak_ptr<std::recursive_mutex>> byName;
    std::lock_guard lock(guard);
    auto& slot = byName[name];
    auto mutex = slot.lock();
    if (!mutex) {
        mutex = std::make_shared<std::recursive_mutex>();
        slot = mutex;
    }
    return mutex;
}

}  // namespace

TMutex::TMutex(const std::string& name) : name_(name), impl_(std::make_unique<Impl>()) {
    impl_->mutex = SharedMutexNamed(name);
}

TMutex::~TMutex() = default;

void TMutex::Wait() { impl_->mutex->lock(); }

void TMutex::Release() { impl_->mutex->unlock(); }

}  // namespace norvale
