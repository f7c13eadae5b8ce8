#pragma once

// What a debug loop does once its wait for a debug event has returned, decided
// in plain code so that the order of its two questions is pinned by a test.

#include <cstdint>
#include <functional>

namespace norvale {

// The platform's error of a wait that merely ran out of time.
constexpr uint32_t kWaitTimedOut = 121;  // ERROR_SEM_TIMEOUT

enum class AfterDebugWait {
    Handle,     // an event came
    WaitAgain,  // the wait only timed out and the run goes on
    End,        // the run is to stop, or waiting failed for good
};

// `waitError` reads the thread's last error; `stopped` asks whether the run
// is to stop. The error is read before the question is asked: the question
// takes a lock, and taking a lock may reset the last error.
AfterDebugWait DecideAfterDebugWait(bool received, const std::function<uint32_t()>& waitError,
                                    const std::function<bool()>& stopped);

}  // namespace norvale
