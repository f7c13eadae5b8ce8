#include "capture/debug_output_capture_win32.h"

namespace norvale {

TDebugOutputCapture::TDebugOutputCapture(TOutputStage& stage, std::function<void()> changed, ChannelOpener opener)
    : dispatch_(queue_, stage), reader_(queue_, std::move(opener), std::move(changed)) {}

void TDebugOutputCapture::ApplyOptions(const OptionsSettings& options) {
    reader_.Want(options.CaptureDebugOutput, options.CaptureDebugOutput && options.CaptureGlobal);
}

CaptureStatus TDebugOutputCapture::Status() const {
    return CaptureStatus{reader_.Session(), reader_.Global(), queue_.Captured(), queue_.Dropped()};
}

}  // namespace norvale
