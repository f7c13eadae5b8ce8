#include "capture/debug_output_capture_win32.h"

namespace norvale {

TDebugOutputCapture::TDebugOutputCapture(TOutputStage& stage, std::function<void()> changed, ChannelOpener opener)
    : dispatch_(queue_, stage), reader_(queue_, std::move(opener), std::move(changed)) {}

void TDebugOutputCapture::Stop() {
    reader_.Stop();
    dispatch_.Stop();
}

void TDebugOutputCapture::ApplyOptions(const OptionsSettings& options) {
    reader_.Want(options.CaptureDebugOutput, options.CaptureDebugOutput && options.CaptureGlobal);
}

CaptureStatus TDebugOutputCapture::Status() const {
    const TDebugStringQueue::Counts counts = queue_.Read();
    return CaptureStatus{reader_.Session(), reader_.Global(), counts.captured, counts.dropped};
}

}  // namespace norvale
