#include "shell/trace_row_look.h"

#include <algorithm>

#include "common/ansi_text.h"
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

// Several problems may be there at once; each is a sentence of its own.
std::wstring ProblemsText(const ProcessStatus& process) {
    std::wstring text = CaptureProblemText(process.capture);
    for (const std::string* problem : {&process.forward.problem, &process.fileProblem}) {
        if (problem->empty()) continue;
        if (!text.empty()) text += L"  ";
        text += AnsiToWide(*problem);
    }
    return text;
}

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
            ForwardCountsText(process.forward),
            ProblemsText(process)};
}

std::array<int, kTraceStatusParts> StatusPartEnds(const std::array<int, kTraceStatusParts>& textWidths, int minimum,
                                                  int padding) {
    constexpr size_t kRowCounts = 3;
    std::array<int, kTraceStatusParts> ends{};
    int end = 0;
    for (size_t i = 0; i + 1 < kTraceStatusParts; ++i) {
        int width = textWidths[i] > 0 ? textWidths[i] + padding : 0;
        if (i < kRowCounts) width = std::max(width, minimum);
        end += width;
        ends[i] = end;
    }
    ends.back() = -1;
    return ends;
}

}  // namespace norvale
