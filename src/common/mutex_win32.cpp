#include "common/errors.h"
#include "common/mutex.h"
#include "common/system_error.h"
#include "common/win32_resources.h"

namespace norvale {

struct TMutex::Impl {
    UniqueHandle handle;
};

TMutex::TMutex(const std::string& name) : name_(name), impl_(std::make_unique<Impl>()) {
    impl_->handle.reset(CreateMutexA(nullptr, FALSE, name.c_str()));
    if (!impl_->handle) {
        throw ENorvaleError(MutexCreationFailureText(name, GetLastError() == ERROR_ALREADY_EXISTS));
    }
}

TMutex::~TMutex() = default;

void TMutex::Wait() {
    if (WaitForSingleObject(impl_->handle.get(), INFINITE) == WAIT_FAILED) {
        const uint32_t code = GetLastError();
        throw ENorvaleError("could not wait for mutex " + name_ + ": " + SystemErrorMessage(code));
    }
}

void TMutex::Release() { ReleaseMutex(impl_->handle.get()); }

}  // namespace norvale
