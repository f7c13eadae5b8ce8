#pragma once

// The trace window's side of the store's wake-up, in plain code. Woken, the
// window takes the rows, then polls, taking again on every tick while rows
// keep coming; a tick that finds none acknowledges the wake-up, so that the
// next row wakes the window again. A row that comes between the window's
// last take and its acknowledgement posts nothing, as the wake-up is still
// pending then: the tick must see it, or it stays unshown until another
// entry comes.

#include <chrono>
#include <cstdint>
#include <functional>

#include "store/trace_store.h"

namespace norvale {

class TTraceRowsWatch {
public:
    // Registers the window as a reader of the store, woken by `wakeUp`
    // (`TTraceStore::AddReader`), until the watch goes. `look`: the store's
    // count as the window reads it, without the store's lock (`AppendedRows`
    // unless a test forces a read that lags behind a row just appended on
    // another thread, as such a read may).
    TTraceRowsWatch(TTraceStore& store, std::function<void()> wakeUp, std::function<uint64_t()> look = {});
    ~TTraceRowsWatch();
    TTraceRowsWatch(const TTraceRowsWatch&) = delete;
    TTraceRowsWatch& operator=(const TTraceRowsWatch&) = delete;

    // The window is about to take the rows.
    void Taking() { seen_ = look_(); }
    // A tick of the poll: true when rows came since the window took them
    // (it takes them and polls on), false when it may sleep until woken.
    bool Tick();

    // How long the window waits for its next look, given what its last take
    // cost, the list's update and paint included: a sixtieth of a second
    // while takes are cheap, but long enough that takes fill no more than a
    // quarter of the main thread's time, so a flood of rows leaves the
    // window free for the user; and never over half a second, so the list
    // stays live.
    static std::chrono::milliseconds NextLook(std::chrono::microseconds lastTake);

private:
    TTraceStore& store_;
    const std::function<uint64_t()> look_;
    const size_t reader_;
    uint64_t seen_ = 0;
};

}  // namespace norvale
