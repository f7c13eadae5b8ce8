#include "capture/capture_status.h"

#include "common/ansi_text.h"
#include "common/system_error.h"

namespace norvale {

namespace {

std::wstring ProblemOf(const ChannelStatus& channel, bool global) {
    switch (channel.state) {
        case ChannelState::TakenByOther:
            return global ? L"Global debug output is being captured by another program"
                          : L"Debug output is being captured by another program";
        case ChannelState::NotPermitted: return L"Global debug output needs the privilege to create global objects";
        case ChannelState::Failed:
            return (global ? L"Global debug output cannot be captured: " : L"Debug output cannot be captured: ") +
                   AnsiToWide(SystemErrorText(channel.error));
        default: return {};
    }
}

}  // namespace

std::wstring CaptureProblemText(const CaptureStatus& status) {
    std::wstring text = ProblemOf(status.session, false);
    return text.empty() ? ProblemOf(status.global, true) : text;
}

CaptureCountTexts CaptureCountsOf(const CaptureStatus& status) {
    const bool running =
        status.session.state == ChannelState::Capturing || status.global.state == ChannelState::Capturing;
    if (!running && status.captured == 0) return {};
    return {L"Captured: " + std::to_wstring(status.captured), L"Capture dropped: " + std::to_wstring(status.dropped)};
}

PartStatusTexts CaptureStatusTexts(const CaptureStatus& status) {
    CaptureCountTexts counts = CaptureCountsOf(status);
    return {{std::move(counts.captured), std::move(counts.dropped)}, CaptureProblemText(status)};
}

}  // namespace norvale
