#pragma once

#ifdef _WIN32

// Serving the test thread's own windows, as a message loop would.

#include <windows.h>

#include <chrono>

namespace norvale::test {

// Dispatches the thread's messages until `done` holds or `limit` has passed;
// false when the limit came first. `done` is asked after each message, as a
// window that posts itself its next slice never empties the queue.
template <typename Condition>
bool ServeMessagesUntil(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

}  // namespace norvale::test

#endif
