#pragma once

// Which entries the trace window shows and highlights. Each of the three
// texts holds terms (`trace_terms.h`); an entry matches a term when any of
// its rows does, so a block is shown, hidden and highlighted as one.
//
//   Show      empty: every entry; else only entries matching one of its terms
//   Hide      entries matching one of its terms are not shown
//   Highlight shown entries matching one of its terms are highlighted
//
// A box whose terms do not parse filters nothing; its reason is kept for the
// window to show.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "store/trace_row_text.h"
#include "store/trace_terms.h"

namespace norvale {

struct TraceFilterTexts {
    std::wstring show;
    std::wstring hide;
    std::wstring highlight;
};

// What an entry's rows have matched so far.
struct TraceEntryMatch {
    bool show = false;
    bool hide = false;
    bool highlight = false;
};

class TTraceFilter {
public:
    // The default filter shows everything and highlights nothing.
    explicit TTraceFilter(TraceFilterTexts texts = {});

    const TraceFilterTexts& Texts() const { return texts_; }
    // Why a box (0 Show, 1 Hide, 2 Highlight) does not parse; none when it does.
    const std::optional<std::string>& Error(size_t box) const { return errors_[box]; }

    // Adds what `row` matches to its entry's `match`. `scratch` holds the
    // row's folded texts, reused for every row.
    void MatchRow(const TraceRowFields& row, TraceEntryMatch& match, TTraceRowMatch& scratch) const;
    // The same for a row `filled` already holds, within `steps`: false when
    // they ran out first; the next call with the same `filled` and `match`
    // goes on where this one stopped.
    bool MatchFilled(TTraceRowMatch& filled, TraceEntryMatch& match, TMatchSteps& steps) const;
    // Whether any box holds a term: otherwise no row needs its texts.
    bool HasTerms() const { return !show_.Empty() || !hide_.Empty() || !highlight_.Empty(); }

    bool Shows(const TraceEntryMatch& match) const;
    bool Highlights(const TraceEntryMatch& match) const;

private:
    TraceFilterTexts texts_;
    std::array<std::optional<std::string>, 3> errors_;
    TTraceTerms show_;
    TTraceTerms hide_;
    TTraceTerms highlight_;
};

}  // namespace norvale
