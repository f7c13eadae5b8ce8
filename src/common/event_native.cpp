#include <chrono>
#include <condition_variable>
#include <mutex>

#include "common/event.h"

namespace norvale {

struct TEvent::Impl {
    std::mutex mutex;
    std::condition_variable signalled;
    bool set = false;
};

TEvent::TEvent() : impl_(std::make_unique<Impl>()) {}

TEvent::~TEvent() = default;

void TEvent::Set() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->set = true;
    }
    impl_->signalled.notify_one();
}

void TEvent::Wait() {
    std::unique_lock lock(impl_->mutex);
    impl_->signalled.wait(lock, [this] { return impl_->set; });
    impl_->set = false;
}

bool TEvent::WaitFor(uint32_t milliseconds) {
    std::unique_lock lock(impl_->mutex);
    if (!impl_->signalled.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return impl_->set; })) {
        return false;
    }
    impl_->set = false;
    return true;
}

}  // namespace norvale
