#include "store/trace_filter.h"

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
    MatchFilled(scratch, match);
}

void TTraceFilter::MatchFilled(TTraceRowMatch& scratch, TraceEntryMatch& match) const {
    const bool wantShow = !match.show && !show_.Empty();
    const bool wantHide = !match.hide && !hide_.Empty();
    const bool wantHighlight = !match.highlight && !highlight_.Empty();
    if (wantShow) match.show = show_.MatchAny(scratch);
    if (wantHide) match.hide = hide_.MatchAny(scratch);
    if (wantHighlight) match.highlight = highlight_.MatchAny(scratch);
}

bool TTraceFilter::Shows(const TraceEntryMatch& match) const { return (show_.Empty() || match.show) && !match.hide; }

bool TTraceFilter::Highlights(const TraceEntryMatch& match) const { return Shows(match) && match.highlight; }

}  // namespace norvale
