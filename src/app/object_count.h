#pragma once

#include <windows.h>

#include <atomic>

#include "app/start_mode.h"

namespace norvale {

// The process's count of live counted objects. In automation mode it is the
// platform's server-process count, and its fall to 0 ends the message loop of
// the main thread; in manual mode it only counts.
class TObjectCount {
public:
    TObjectCount(StartMode mode, DWORD mainThreadId) : automation_(mode == StartMode::Automation), mainThread_(mainThreadId) {}

    void Raise();
    void Lower();
    int32_t Count() const { return count_.load(); }

private:
    const bool automation_;
    const DWORD mainThread_;
    std::atomic<int32_t> count_{0};
};

}  // namespace norvale
