#pragma once

#include <functional>

#include "capture/capture_status.h"
#include "capture/captured_dispatch.h"
#include "capture/debug_output_reader_win32.h"
#include "capture/debug_string_queue.h"
#include "output/options_follower.h"

namespace norvale {

// Every program's debug output as a second input of the process: read by one
// thread, dispatched by another through the process's output stage, whether
// or not a client holds the server object. It follows the `Options` key.
class TDebugOutputCapture final : public IOptionsFollower {
public:
    // `changed`: the capture's state changed; called on the reader's thread.
    TDebugOutputCapture(TOutputStage& stage, std::function<void()> changed,
                        ChannelOpener opener = TDebugOutputChannel::Open);

    // Only passes the wish on to the reader: it never waits.
    void ApplyOptions(const OptionsSettings& options) override;
    // Frees the names for other readers and ends once every string taken is
    // dispatched; later options change nothing.
    void Stop();

    CaptureStatus Status() const;

private:
    TDebugStringQueue queue_;
    TCapturedDispatch dispatch_;
    // Last made, first gone: the names are free for another reader before
    // the strings still queued are dispatched.
    TDebugOutputReader reader_;
};

}  // namespace norvale
