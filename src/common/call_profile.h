#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace norvale {

// Where the server spends the time of a client call, or of a debugging run's
// event, stage by stage. It is off, and costs a load and a branch per stage,
// unless the process found the shared block that a measuring process (the
// automation benchmark) created under `kCallProfileName` before starting it,
// or a benchmark hosting the part it measures handed it a block of its own;
// then, while the block's recording is on, every timed stage adds its
// nanoseconds and one count there.
enum class CallStage {
    Call,        // an interface method's whole body, conversions included
    Conversion,  // wide text arguments to ANSI
    Lock,        // the output lock's system calls: the wait and the release
    Prefix,      // the prefix, time of day included
    Window,      // the trace window's store, under the lock
    Dispatch,    // every enabled output, under the lock
    File,        // the file output's part of the dispatch
    FileWrites,  // the file output's write calls
    // A debugging run: its thread, per debug event
    DebugWait,      // waiting for the event
    DebugCopy,      // copying it into its plain form
    DebugRead,      // reading its texts out of the debuggee
    DebugHandOver,  // handing it to the window
    DebugContinue,  // letting the debuggee go on
    // ... and its process window, per batch of events
    WindowTake,   // taking the batch from the hand-over
    WindowRows,   // the rows and tree nodes of its events
    WindowList,   // telling the list of its new rows
    WindowPaint,  // painting the list (timed by the message loop that paints it)
    // Receiving syslog
    ReceiveRead,      // a read of a connection, per read
    ReceiveParse,     // a message read into an entry, per message
    ReceiveDispatch,  // a batch's dispatch, the output lock's wait included, per batch
    TraceTake,        // the trace window taking what its store gained, per take
    Count
};

struct CallStageTotal {
    std::atomic<int64_t> nanoseconds{0};
    std::atomic<int64_t> count{0};
};

// The shared block: a switch and counters, the same layout in both processes.
struct CallProfileBlock {
    std::atomic<int32_t> recording{0};
    CallStageTotal stages[static_cast<int>(CallStage::Count)];
};

inline constexpr const char* kCallProfileName = "Local\\Norvale Call Profile";

namespace call_profile_detail {
inline std::atomic<CallProfileBlock*> block{nullptr};
}

// Starts (or, with nullptr, stops) profiling into `block`.
inline void UseCallProfile(CallProfileBlock* block) { call_profile_detail::block.store(block); }

inline CallProfileBlock* RecordingCallProfile() {
    CallProfileBlock* block = call_profile_detail::block.load(std::memory_order_relaxed);
    return block != nullptr && block->recording.load(std::memory_order_relaxed) != 0 ? block : nullptr;
}

// Times its own scope as one pass through `stage`.
class TStageTimer {
public:
    explicit TStageTimer(CallStage stage) : block_(RecordingCallProfile()), stage_(stage) {
        if (block_ != nullptr) start_ = std::chrono::steady_clock::now();
    }
    ~TStageTimer() {
        if (block_ == nullptr) return;
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        CallStageTotal& total = block_->stages[static_cast<int>(stage_)];
        total.nanoseconds.fetch_add(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count(),
                                    std::memory_order_relaxed);
        total.count.fetch_add(1, std::memory_order_relaxed);
    }
    TStageTimer(const TStageTimer&) = delete;
    TStageTimer& operator=(const TStageTimer&) = delete;

private:
    CallProfileBlock* const block_;
    const CallStage stage_;
    std::chrono::steady_clock::time_point start_{};
};

}  // namespace norvale
