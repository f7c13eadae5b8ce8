#include "common/event.h"
#include "common/system_error.h"
#include "common/win32_resources.h"

namespace norvale {

struct TEvent::Impl {
    UniqueHandle handle;
};

TEvent::TEvent() : impl_(std::make_unique<Impl>()) {
    impl_->handle.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!impl_->handle) RaiseLastOSError();
}

TEvent::~TEvent() = default;

void TEvent::Set() { SetEvent(impl_->handle.get()); }

void TEvent::Wait() { WaitFor(INFINITE); }

bool TEvent::WaitFor(uint32_t milliseconds) {
    return WaitForSingleObject(impl_->handle.get(), milliseconds) == WAIT_OBJECT_0;
}

}  // namespace norvale
