#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "output/output_stage.h"
#include "receive/receive_queue.h"

namespace norvale {

// The thread that takes received entries from the queue and dispatches them
// through the process's output stage in batches, each under one hold of the
// output lock, as entries that came from elsewhere: every output that is on
// gets them, forwarding never. A block's further lines are cut here to what
// its frame lets an output write: their indent follows the line prefix,
// which only the settings read under the lock decide. A message that asks
// for more memory than there is is dropped and counted, and the thread goes
// on.
class TReceivedDispatch {
public:
    TReceivedDispatch(TReceiveQueue& queue, TOutputStage& stage);
    ~TReceivedDispatch();
    TReceivedDispatch(const TReceivedDispatch&) = delete;
    TReceivedDispatch& operator=(const TReceivedDispatch&) = delete;

    // Closes the queue and ends once every entry in it is dispatched.
    void Stop();

    // Blocks whose further lines were cut. Never waits.
    uint64_t Shortened() const { return shortened_.load(); }

private:
    void Run();
    void DispatchBatch();
    void Dispatch(ReceivedEntry& received);
    void DispatchLocked(ReceivedEntry& received);

    TReceiveQueue& queue_;
    TOutputStage& stage_;
    // Reused from batch to batch.
    std::vector<ReceivedEntry> batch_;
    std::atomic<uint64_t> shortened_{0};
    std::thread thread_;
};

}  // namespace norvale
