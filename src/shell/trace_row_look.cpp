#include "shell/trace_row_look.h"

#include "shell/tray_icon_model.h"

namespace norvale {

namespace {

constexpr uint32_t Rgb(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<uint32_t>(red) | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue) << 16;
}

constexpr uint32_t kWindow = Rgb(255, 255, 255);
constexpr uint32_t kHighlight = Rgb(255, 236, 140);

// Indexed by `TraceRowStyle`: plain, notice, method, code 1, code 2.
constexpr uint32_t kTextColours[] = {Rgb(0, 0, 0), Rgb(112, 112, 112), Rgb(0, 96, 160), Rgb(176, 96, 0),
                                     Rgb(192, 0, 0)};

}  // namespace

TraceRowLook LookOf(TraceRowStyle style, bool highlighted) {
    return TraceRowLook{kTextColours[static_cast<size_t>(style)], highlighted ? kHighlight : kWindow};
}

std::array<std::wstring, kTraceStatusParts> TraceStatusTexts(const TraceStatusCounts& counts,
                                                             const ProcessStatus& process) {
    CaptureCountTexts captured = CaptureCountsOf(process.capture);
    const std::string losses = ViewerLossText(process.viewerUndelivered);
    return {L"Kept: " + std::to_wstring(counts.kept),
            L"Shown: " + std::to_wstring(counts.shown),
            L"Dropped: " + std::to_wstring(counts.dropped),
            std::move(captured.captured),
            std::move(captured.dropped),
            std::wstring(losses.begin(), losses.end()),
            CaptureProblemText(process.capture)};
}

}  // namespace norvale
