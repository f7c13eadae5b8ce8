#include "shell/trace_row_look.h"

#include <algorithm>


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

std::vector<std::wstring> TraceStatusTexts(const TraceStatusCounts& counts, const ProcessStatus& process,
                                           std::wstring_view note) {
    std::vector<std::wstring> texts{L"Kept: " + std::to_wstring(counts.kept), L"Shown: " + std::to_wstring(counts.shown),
                                    L"Dropped: " + std::to_wstring(counts.dropped)};
    std::wstring problems(note);
    for (const PartStatusTexts& part : process.parts) {
        texts.insert(texts.end(), part.counts.begin(), part.counts.end());
        if (!problems.empty() && !part.problem.empty()) problems += L"  ";
        problems += part.problem;
    }
    texts.push_back(std::move(problems));
    return texts;
}

std::vector<int> StatusPartEnds(const std::vector<int>& textWidths, int minimum, int padding) {
    constexpr size_t kRowCounts = 3;
    std::vector<int> ends(textWidths.size());
    int end = 0;
    for (size_t i = 0; i + 1 < textWidths.size(); ++i) {
        int width = textWidths[i] > 0 ? textWidths[i] + padding : 0;
        if (i < kRowCounts) width = std::max(width, minimum);
        end += width;
        ends[i] = end;
    }
    ends.back() = -1;
    return ends;
}

}  // namespace norvale
