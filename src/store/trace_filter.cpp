#include "store/trace_filter.h"

#include <algorithm>
#include <array>
#include <utility>

namespace norvale {

namespace {

TTraceTerms Parsed(std::wstring_view box, std::optional<std::string>& error) {
    try {
        return TTraceTerms(box);
    } catch (const ETraceTermError& failure) {
        error = failure.what();
        return {};
    }
}

}  // namespace

TTraceFilter::TTraceFilter(TraceFilterTexts texts)
    : texts_(std::move(texts)),
      show_(Parsed(texts_.show, errors_[0])),
      hide_(Parsed(texts_.hide, errors_[1])),
      highlight_(Parsed(texts_.highlight, errors_[2])) {}

void TTraceFilter::MatchRow(const TraceRowFields& row, TraceEntryMatch& match, TTraceRowMatch& scratch) const {
    // An entry decided for every box needs no more of its rows' texts.
    if ((match.show || show_.Empty()) && (match.hide || hide_.Empty()) && (match.highlight || highlight_.Empty())) return;
    scratch.Fill(row);
    TMatchSteps unbounded;
    MatchFilled(scratch, match, unbounded);
}

bool TTraceFilter::MatchFilled(TTraceRowMatch& filled, TraceEntryMatch& match, TMatchSteps& steps) const {
    const std::array<std::pair<const TTraceTerms*, bool*>, 3> boxes{
        {{&show_, &match.show}, {&hide_, &match.hide}, {&highlight_, &match.highlight}}};
    // A box before the one a match paused in is decided already.
    const auto paused = std::find_if(boxes.begin(), boxes.end(),
                                     [&filled](const auto& box) { return box.first == filled.PausedIn(); });
    for (size_t box = paused == boxes.end() ? 0 : static_cast<size_t>(paused - boxes.begin()); box < boxes.size();
         ++box) {
        const auto [terms, matched] = boxes[box];
        if (*matched || terms->Empty()) continue;
        const TPatternFound found = terms->MatchAny(filled, steps);
        if (found == TPatternFound::OutOfSteps) return false;
        *matched = found == TPatternFound::Yes;
    }
    return true;
}

bool TTraceFilter::Shows(const TraceEntryMatch& match) const { return (show_.Empty() || match.show) && !match.hide; }

bool TTraceFilter::Highlights(const TraceEntryMatch& match) const { return Shows(match) && match.highlight; }

}  // namespace norvale
