#pragma once

#include <string>
#include <thread>
#include <vector>

#include "capture/debug_string_queue.h"
#include "output/output_stage.h"

namespace norvale {

// The thread that takes captured strings from the queue and dispatches each
// as an entry of its writer, through the process's output stage, so that it
// reaches every output that is on.
class TCapturedDispatch {
public:
    TCapturedDispatch(TDebugStringQueue& queue, TOutputStage& stage);
    ~TCapturedDispatch();
    // Closes the queue and ends once every string in it is dispatched.
    void Stop();
    TCapturedDispatch(const TCapturedDispatch&) = delete;
    TCapturedDispatch& operator=(const TCapturedDispatch&) = delete;

private:
    // A string's first line and further lines in UTF-16.
    struct WideLines {
        std::wstring first;
        std::wstring further;
    };

    void Run();
    void DispatchBatch(size_t taken);
    void Dispatch(const CapturedString& captured, const WideLines& texts);

    TDebugStringQueue& queue_;
    TOutputStage& stage_;
    // Reused from batch to batch, so that their buffers stay grown.
    std::vector<CapturedString> batch_;
    std::vector<WideLines> texts_;
    std::thread thread_;
};

}  // namespace norvale
