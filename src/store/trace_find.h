#pragma once

// Find in the trace window, decided in plain code: the next (or previous)
// shown row that a term of the Find box matches, the row by itself (a
// block's line is found where it is). A million shown rows that none matches
// are a long look, so the search runs in slices, as a re-filter does, each
// holding the store's lock once; it keeps its place by row number, so the
// list may gain and lose rows between slices.

#include <cstdint>
#include <optional>

#include "store/trace_marks.h"
#include "store/trace_shown_rows.h"
#include "store/trace_terms.h"

namespace norvale {

enum class TraceFindWay { Next, Previous };

class TTraceFind {
public:
    // About as long a slice as a re-filter's.
    static constexpr size_t kRowsPerSlice = TShownRows::kRowsPerSlice;

    // From after (`Next`) or before (`Previous`) the shown row `from`, or
    // from the list's start (end) when none is given; past the end (start)
    // it goes on from the other side up to `from` itself.
    TTraceFind(TTraceTerms terms, TraceFindWay way, const TShownRows& shown, std::optional<size_t> from);

    // Looks at up to `rowBudget` shown rows; true once the search is over.
    bool Step(const TShownRows& shown, const TTraceStore& store, size_t rowBudget = kRowsPerSlice);
    // Once over: the row found; none when no shown row matches.
    const std::optional<TraceStepTo>& Found() const { return found_; }

private:
    bool Looked(const TTraceRows& rows, uint64_t row);

    TTraceTerms terms_;
    TraceFindWay way_;
    std::optional<uint64_t> start_;
    // Next: the first row number still to look at; Previous: the row number
    // the rows still to look at come before.
    uint64_t cursor_;
    bool wrapped_ = false;
    std::optional<TraceStepTo> found_;
    TTraceRowMatch scratch_;
};

}  // namespace norvale
