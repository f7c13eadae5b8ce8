#include "debugger/debug_wait.h"

namespace norvale {

AfterDebugWait DecideAfterDebugWait(bool received, const std::function<uint32_t()>& waitError,
                                    const std::function<bool()>& stopped) {
    if (received) return AfterDebugWait::Handle;
    const uint32_t error = waitError();
    if (stopped() || error != kWaitTimedOut) return AfterDebugWait::End;
    return AfterDebugWait::WaitAgain;
}

}  // namespace norvale
