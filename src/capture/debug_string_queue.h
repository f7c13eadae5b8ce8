#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "capture/captured_writer.h"
#include "common/clock.h"

namespace norvale {

struct CapturedString {
    std::shared_ptr<const CapturedWriter> writer;
    std::string text;
    // When the reader took it.
    LocalDateTime time;
};

// The captured strings between the thread that reads them and the one that
// dispatches them. A full queue drops its oldest string: the writers must
// never wait for the outputs. Slots keep their buffers, so that once they
// have grown, a string costs no allocation.
class TDebugStringQueue {
public:
    static constexpr size_t kCapacity = 100000;
    // Slot buffers up to this size are kept for the next string.
    static constexpr size_t kKeptBuffer = 256;

    explicit TDebugStringQueue(size_t capacity = kCapacity);

    void Push(std::shared_ptr<const CapturedWriter> writer, std::string_view text, LocalDateTime time);

    // Waits until strings are queued or the queue is closed, then moves up
    // to `batch.size()` of them into `batch`, oldest first, trading buffers
    // with it, and returns how many. 0 only once closed and empty.
    size_t Take(std::vector<CapturedString>& batch);

    // Wakes the taker for good; strings pushed before are still taken.
    void Close();

    // A string that arrived but could not be queued (no memory for it), and
    // strings taken that could not be dispatched: both count as dropped.
    void CountLost();
    void CountUndispatched(size_t strings);

    // Every string that arrived, and those of them dropped, read together.
    struct Counts {
        uint64_t captured = 0;
        uint64_t dropped = 0;
    };
    Counts Read() const;

private:
    mutable std::mutex lock_;
    std::condition_variable queued_;
    std::vector<CapturedString> slots_;
    size_t first_ = 0;
    size_t count_ = 0;
    bool closed_ = false;
    bool taking_ = false;
    Counts counts_;
};

}  // namespace norvale
