#include "app/object_count.h"

#include <objbase.h>

namespace norvale {

TObjectCount::TObjectCount(StartMode mode)
    : automation_(mode == StartMode::Automation), mainThread_(GetCurrentThreadId()) {
    MSG message;
    PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

void TObjectCount::Raise() {
    ++count_;
    Hold();
}

void TObjectCount::Lower() {
    --count_;
    Unhold();
}

void TObjectCount::Hold() {
    if (automation_) CoAddRefServerProcess();
}

// The platform suspends the class objects when its count reaches 0, so no
// activation can slip in between that and the end.
void TObjectCount::Unhold() {
    if (automation_ && CoReleaseServerProcess() == 0) PostThreadMessageA(mainThread_, WM_QUIT, 0, 0);
}

}  // namespace norvale
