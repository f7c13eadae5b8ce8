#pragma once

#include <windows.h>

#include <functional>
#include <mutex>

namespace norvale {

// `TConsoleControl`: while it lives, a console control event (Ctrl+C,
// Ctrl+Break, the console window closed, log-off, shut-down) first runs
// `beforeEnd` on the system's thread for the event, then lets the system end
// the process as it would have. One per process.
class TConsoleControl {
public:
    explicit TConsoleControl(std::function<void()> beforeEnd);
    // Waits for an event being handled, so `beforeEnd` never outlives it.
    ~TConsoleControl();
    TConsoleControl(const TConsoleControl&) = delete;
    TConsoleControl& operator=(const TConsoleControl&) = delete;

    // The handler as the system calls it; a test calls it too.
    static BOOL WINAPI HandleEvent(DWORD event);

private:
    std::function<void()> beforeEnd_;
};

}  // namespace norvale
