#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace norvale {

// Bytes that wait in the output file's buffer reach the file `kDelay` after
// they began to wait, written by a thread of its own: a process killed
// outright loses at most the last second. The thread is never the main
// thread, which must not wait on the output lock that the flush takes.
class TBufferFlusher {
public:
    static constexpr std::chrono::milliseconds kDelay{1000};

    // `flush` takes the output lock and writes what waits; it must not throw.
    explicit TBufferFlusher(std::function<void()> flush);
    // Ends the thread; what still waits is the file's to write at its close.
    ~TBufferFlusher();
    TBufferFlusher(const TBufferFlusher&) = delete;
    TBufferFlusher& operator=(const TBufferFlusher&) = delete;

    // After an entry that left bytes waiting. A flush already due keeps its
    // time, so that a steady stream of entries is written once a second.
    void BytesWaiting();

private:
    void Run();

    const std::function<void()> flush_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::optional<std::chrono::steady_clock::time_point> due_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace norvale
