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

TConsoleControl::TConsoleControl(std::function<BOOL(DWORD)> handle) : handle_(std::move(handle)) {
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

BOOL WINAPI TConsoleControl::HandleEvent(DWORD event) {
    const std::lock_guard lock(HandlerLock());
    if (current == nullptr) return FALSE;
    try {
        return current->handle_(event);
    } catch (...) {
        // The system's own handling must still run.
        return FALSE;
    }
}

}  // namespace norvale
