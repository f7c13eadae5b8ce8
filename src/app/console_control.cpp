#include "app/console_control.h"

#include <utility>

namespace norvale {

namespace {

std::mutex& HandlerLock() {
    static std::mutex lock;
    return lock;
}

TConsoleControl* current = nullptr;

}  // namespace

TConsoleControl::TConsoleControl(std::function<void()> beforeEnd) : beforeEnd_(std::move(beforeEnd)) {
    {
        const std::lock_guard lock(HandlerLock());
        current = this;
    }
    SetConsoleCtrlHandler(HandleEvent, TRUE);
}

TConsoleControl::~TConsoleControl() {
    SetConsoleCtrlHandler(HandleEvent, FALSE);
    const std::lock_guard lock(HandlerLock());
    current = nullptr;
}

BOOL WINAPI TConsoleControl::HandleEvent(DWORD) {
    const std::lock_guard lock(HandlerLock());
    if (current != nullptr) {
        try {
            current->beforeEnd_();
        } catch (...) {
            // The process ends next whatever happened; the system's own
            // handling must still run.
        }
    }
    // Not handled: the next handler, in the end the system's, ends the
    // process as it would without us.
    return FALSE;
}

}  // namespace norvale
