#pragma once

#include <thread>
#include <vector>

#include "output/output_stage.h"
#include "receive/receive_queue.h"

namespace norvale {

// The thread that takes received entries from the queue and dispatches them
// through the process's output stage in batches, each under one hold of the
// output lock, as entries that came from elsewhere: every output that is on
// gets them, forwarding never.
class TReceivedDispatch {
public:
    TReceivedDispatch(TReceiveQueue& queue, TOutputStage& stage);
    ~TReceivedDispatch();
    TReceivedDispatch(const TReceivedDispatch&) = delete;
    TReceivedDispatch& operator=(const TReceivedDispatch&) = delete;

    // Closes the queue and ends once every entry in it is dispatched.
    void Stop();

private:
    void Run();
    void DispatchBatch();
    void Dispatch(const ReceivedEntry& received);

    TReceiveQueue& queue_;
    TOutputStage& stage_;
    // Reused from batch to batch.
    std::vector<ReceivedEntry> batch_;
    std::thread thread_;
};

}  // namespace norvale
