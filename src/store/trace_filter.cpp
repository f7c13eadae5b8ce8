#include "store/trace_filter.h"

#include <algorithm>
#include <utility>

#include "common/case_fold.h"

namespace norvale {

namespace {

std::wstring_view Trimmed(std::wstring_view text) {
    const size_t start = text.find_first_not_of(L' ');
    if (start == std::wstring_view::npos) return {};
    return text.substr(start, text.find_last_not_of(L' ') - start + 1);
}

std::vector<std::wstring> FoldedTerms(std::wstring_view text) {
    std::vector<std::wstring> terms;
    while (!text.empty()) {
        const size_t separator = std::min(text.find(L';'), text.size());
        const std::wstring_view term = Trimmed(text.substr(0, separator));
        if (!term.empty()) FoldCase(terms.emplace_back(term));
        text.remove_prefix(std::min(separator + 1, text.size()));
    }
    return terms;
}

bool ContainsAny(std::wstring_view text, const std::vector<std::wstring>& terms) {
    return std::any_of(terms.begin(), terms.end(),
                       [text](const std::wstring& term) { return text.find(term) != std::wstring_view::npos; });
}

}  // namespace

TTraceFilter::TTraceFilter(TraceFilterTexts texts)
    : texts_(std::move(texts)),
      show_(FoldedTerms(texts_.show)),
      hide_(FoldedTerms(texts_.hide)),
      highlight_(FoldedTerms(texts_.highlight)) {}

// The columns are joined by NULs, which no term can hold (a window's text
// ends at its first NUL), so no match runs across two columns.
void TTraceFilter::MatchRow(const TraceRowFields& row, TraceEntryMatch& match, std::wstring& scratch) const {
    const bool wantShow = !match.show && !show_.empty();
    const bool wantHide = !match.hide && !hide_.empty();
    const bool wantHighlight = !match.highlight && !highlight_.empty();
    if (!wantShow && !wantHide && !wantHighlight) return;
    scratch.clear();
    for (size_t column = 0; column < kTraceColumnCount; ++column) {
        AppendColumnText(scratch, row, static_cast<TraceColumn>(column));
        scratch += L'\0';
    }
    FoldCase(scratch);
    const std::wstring_view texts(scratch);
    if (wantShow) match.show = ContainsAny(texts, show_);
    if (wantHide) match.hide = ContainsAny(texts, hide_);
    if (wantHighlight) match.highlight = ContainsAny(texts, highlight_);
}

bool TTraceFilter::Shows(const TraceEntryMatch& match) const { return (show_.empty() || match.show) && !match.hide; }

bool TTraceFilter::Highlights(const TraceEntryMatch& match) const { return Shows(match) && match.highlight; }

}  // namespace norvale
