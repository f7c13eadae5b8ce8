#include <atomic>

#include "common/call_profile.h"
#include "common/errors.h"
#include "common/mutex.h"
#include "common/system_error.h"
#include "common/win32_resources.h"

namespace norvale {

// The kernel mutex is taken once per outermost Wait; nested Waits of the
// owning thread only count, so that re-entry (a session call holding the lock
// while the dispatch takes it again) costs no system call.
struct TMutex::Impl {
    UniqueHandle handle;
    std::atomic<DWORD> owner{0};
    unsigned depth = 0;  // touched by the owning thread only
};

TMutex::TMutex(const std::string& name) : name_(name), impl_(std::make_unique<Impl>()) {
    impl_->handle.reset(CreateMutexA(nullptr, FALSE, name.c_str()));
    if (!impl_->handle) {
        throw ENorvaleError(MutexCreationFailureText(name, GetLastError() == ERROR_ALREADY_EXISTS));
    }
}

TMutex::~TMutex() = default;

void TMutex::Wait() {
    const DWORD self = GetCurrentThreadId();
    if (impl_->owner.load(std::memory_order_relaxed) == self) {
        ++impl_->depth;
        return;
    }
    const TStageTimer timer(CallStage::Lock);
    if (WaitForSingleObject(impl_->handle.get(), INFINITE) == WAIT_FAILED) {
        const uint32_t code = GetLastError();
        throw ENorvaleError("could not wait for mutex " + name_ + ": " + SystemErrorMessage(code));
    }
    impl_->owner.store(self, std::memory_order_relaxed);
    impl_->depth = 1;
}

void TMutex::Release() {
    if (--impl_->depth > 0) return;
    impl_->owner.store(0, std::memory_order_relaxed);
    const TStageTimer timer(CallStage::Lock);
    ReleaseMutex(impl_->handle.get());
}

}  // namespace norvale
