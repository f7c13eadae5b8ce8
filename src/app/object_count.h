#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "app/start_mode.h"

namespace norvale {

// The process's count of live counted objects. In automation mode it is the
// platform's server-process count, and its fall to 0 ends the message loop of
// the thread that made this object (the main thread); in manual mode it only
// counts.
class TObjectCount {
public:
    // Gives the calling thread its message queue at once: a quit posted to a
    // thread that has none yet is lost, and an activation can come and go
    // before the main thread first asks for a message.
    explicit TObjectCount(StartMode mode);

    void Raise();
    void Lower();
    // Keeps an automation-mode process running without counting an object
    // (no client holds it, so closing asks nobody), as the last object would.
    void Hold();
    void Unhold();
    int32_t Count() const { return count_.load(); }

private:
    const bool automation_;
    const DWORD mainThread_;
    std::atomic<int32_t> count_{0};
};

}  // namespace norvale
