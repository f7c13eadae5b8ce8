#pragma once

// A saved trace read into a store of its own on a thread of its own, so that
// the window shows the rows as they come and stays free for its messages.
// The store is sized to the file's lines before the first row goes in, so it
// keeps every row (a saved trace is not bound by `WindowLines`); the window
// reads the progress without waiting.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/file_io.h"
#include "store/trace_store.h"

namespace norvale {

struct TraceLoadProgress {
    uint64_t bytesRead = 0;
    uint64_t bytesTotal = 0;
    uint64_t rows = 0;
    uint64_t unparsed = 0;
    bool finished = false;
    // Why reading stopped short; empty when it did not.
    std::string failure;
};

class TTraceFileLoad {
public:
    // `store` must be new, and nothing else may append to it. `finished` is
    // called on the reading thread as it ends; it must only post.
    TTraceFileLoad(UniqueFile file, TTraceStore& store, std::function<void()> finished);
    // Stops the reading within one chunk and waits for it.
    ~TTraceFileLoad();
    TTraceFileLoad(const TTraceFileLoad&) = delete;
    TTraceFileLoad& operator=(const TTraceFileLoad&) = delete;

    TraceLoadProgress Progress() const;

private:
    void Run(const std::stop_token& stop);
    void Read(const std::stop_token& stop);

    UniqueFile file_;
    TTraceStore& store_;
    const std::function<void()> finished_;
    std::atomic<uint64_t> bytesRead_{0};
    std::atomic<uint64_t> bytesTotal_{0};
    std::atomic<uint64_t> rows_{0};
    std::atomic<uint64_t> unparsed_{0};
    // Set after `failure_`, which is not written again.
    std::atomic<bool> done_{false};
    std::string failure_;
    // Last, so that it ends before the rest goes.
    std::jthread thread_;
};

}  // namespace norvale
