#pragma once

// Which entries the trace window shows and highlights. Each of the three
// texts holds terms separated by ";" (surrounding spaces trimmed, empty
// terms ignored). A row matches a term when one of its columns contains it,
// ignoring case in any script; an entry matches when any of its rows does,
// so a block is shown, hidden and highlighted as one.
//
//   Show      empty: every entry; else only entries matching one of its terms
//   Hide      entries matching one of its terms are not shown
//   Highlight shown entries matching one of its terms are highlighted

#include <string>
#include <string_view>
#include <vector>

#include "store/trace_row_text.h"

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

    // Adds what `row` matches to its entry's `match`. `scratch` holds the
    // row's folded texts; one buffer reused for every row allocates nothing
    // once it is big enough.
    void MatchRow(const TraceRowFields& row, TraceEntryMatch& match, std::wstring& scratch) const;

    bool Shows(const TraceEntryMatch& match) const;
    bool Highlights(const TraceEntryMatch& match) const;

private:
    TraceFilterTexts texts_;
    // Folded.
    std::vector<std::wstring> show_;
    std::vector<std::wstring> hide_;
    std::vector<std::wstring> highlight_;
};

}  // namespace norvale
