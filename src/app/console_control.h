#pragma once

#include <windows.h>

#include <functional>
#include <mutex>

namespace norvale {

// `TConsoleControl`: while it lives, a console control event (Ctrl+C,
// Ctrl+Break, the console window closed, log-off, shut-down) runs `handle` on
// the system's thread for the event. Its answer is the system's: FALSE lets
// the next handler, in the end the system's, end the process as it would
// have; TRUE keeps the process (for the closing events only until the
// handler returns). One per process.
class TConsoleControl {
public:
    explicit TConsoleControl(std::function<BOOL(DWORD event)> handle);
    // Waits for an event being handled, so `handle` never outlives it.
    ~TConsoleControl();
    TConsoleControl(const TConsoleControl&) = delete;
    TConsoleControl& operator=(const TConsoleControl&) = delete;

    // The handler as the system calls it; a test calls it too.
    static BOOL WINAPI HandleEvent(DWORD event);

private:
    std::function<BOOL(DWORD)> handle_;
};

}  // namespace norvale
