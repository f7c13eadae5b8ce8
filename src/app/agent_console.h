#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "app/console_control.h"
#include "common/win32_resources.h"

namespace norvale {

// The agent in the console it was started from. Every console control event
// (Ctrl+C, Ctrl+Break, the console's close, log-off, shut-down) sets the stop
// the run waits on; its handler then holds the process until the run has
// written what waits and ends it with the run's exit code, since after the
// closing events the system ends the process as soon as the handler returns.
class TAgentConsole {
public:
    // How a handler ends the process once the run has ended; a test records
    // the code instead.
    using EndProcess = std::function<void(int code)>;
    // Longer than the agent's end takes, shorter than the system's wait for
    // a closing handler (5 s).
    static constexpr DWORD kEndWaitMilliseconds = 4500;

    explicit TAgentConsole(EndProcess endProcess = ExitWith);
    TAgentConsole(const TAgentConsole&) = delete;
    TAgentConsole& operator=(const TAgentConsole&) = delete;

    // The stop a run waits on.
    HANDLE Stop() const { return stop_.get(); }
    // The run is over: a handler holding the process ends it with `code`.
    int Ended(int code);

private:
    static void ExitWith(int code);
    BOOL OnEvent(DWORD event);

    UniqueHandle stop_;
    UniqueHandle ended_;
    std::atomic<int> code_{0};
    const EndProcess endProcess_;
    // Last made, first gone: an event reaches the rest only while it lives.
    TConsoleControl control_{[this](DWORD event) { return OnEvent(event); }};
};

}  // namespace norvale
