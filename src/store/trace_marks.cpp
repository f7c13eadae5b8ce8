#include "store/trace_marks.h"

#include <algorithm>

namespace norvale {

void TTraceMarks::Toggle(std::span<const uint64_t> rows) {
    const bool allMarked = std::all_of(rows.begin(), rows.end(), [this](uint64_t row) { return Has(row); });
    for (const uint64_t row : rows) {
        if (allMarked) {
            marks_.erase(row);
        } else {
            marks_.insert(row);
        }
    }
}

void TTraceMarks::Forget(uint64_t first) { marks_.erase(marks_.begin(), marks_.lower_bound(first)); }

// Marks in order after the current row, then from the first up to it: the
// first one shown is the step.
std::optional<TraceStepTo> TTraceMarks::Next(const TShownRows& shown, std::optional<size_t> from) const {
    const auto after = from ? marks_.upper_bound(shown.At(*from).row) : marks_.begin();
    for (auto mark = after; mark != marks_.end(); ++mark) {
        if (const auto index = shown.IndexOf(*mark)) return TraceStepTo{*index, false};
    }
    for (auto mark = marks_.begin(); mark != after; ++mark) {
        if (const auto index = shown.IndexOf(*mark)) return TraceStepTo{*index, true};
    }
    return std::nullopt;
}

std::optional<TraceStepTo> TTraceMarks::Previous(const TShownRows& shown, std::optional<size_t> from) const {
    const auto before = from ? marks_.lower_bound(shown.At(*from).row) : marks_.end();
    for (auto mark = std::make_reverse_iterator(before); mark != marks_.rend(); ++mark) {
        if (const auto index = shown.IndexOf(*mark)) return TraceStepTo{*index, false};
    }
    for (auto mark = marks_.rbegin(); mark != std::make_reverse_iterator(before); ++mark) {
        if (const auto index = shown.IndexOf(*mark)) return TraceStepTo{*index, true};
    }
    return std::nullopt;
}

}  // namespace norvale
