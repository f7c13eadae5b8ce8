#pragma once

// Find in the trace window, decided in plain code: the next (or previous)
// shown row that a term of the Find box matches, the row by itself (a
// block's line is found where it is). A million shown rows that none matches
// are a long look, so the search runs in steps, as a re-filter does: each
// copies the next rows' texts out under the store's lock once and matches
// them after it within its steps. It keeps its place by row number, so the
// list may gain and lose rows between steps.

#include <cstdint>
#include <optional>
#include <vector>

#include "store/trace_marks.h"
#include "store/trace_shown_rows.h"
#include "store/trace_terms.h"

namespace norvale {

enum class TraceFindWay { Next, Previous };

class TTraceFind {
public:
    // As a re-filter's.
    static constexpr size_t kRowsPerSlice = TShownRows::kRowsPerSlice;
    static constexpr size_t kStepsPerSlice = TShownRows::kStepsPerSlice;

    // From after (`Next`) or before (`Previous`) the shown row `from`, or
    // from the list's start (end) when none is given; past the end (start)
    // it goes on from the other side up to `from` itself.
    TTraceFind(TTraceTerms terms, TraceFindWay way, const TShownRows& shown, std::optional<size_t> from);

    // Takes up to `rowBudget` shown rows, or goes on with those it took
    // before, and matches them within `stepBudget` steps; true once the
    // search is over.
    bool Step(const TShownRows& shown, const TTraceStore& store, size_t rowBudget = kRowsPerSlice,
              size_t stepBudget = kStepsPerSlice);
    // Once over: the row found; none when no shown row matches.
    const std::optional<TraceStepTo>& Found() const { return found_; }
    // How far it has got through the shown rows, 0 to 99 %.
    unsigned Percent(const TShownRows& shown) const;

private:
    void Take(const TShownRows& shown, const TTraceRows& rows, size_t rowBudget);

    TTraceTerms terms_;
    TraceFindWay way_;
    std::optional<uint64_t> start_;
    // Next: the first row number still to take; Previous: the row number
    // the rows still to take come before.
    uint64_t cursor_;
    bool wrapped_ = false;
    // Every row to look at is taken.
    bool allTaken_ = false;
    std::optional<TraceStepTo> found_;
    struct TTakenRow {
        uint64_t row;
        bool wrapped;
    };
    std::vector<TTakenRow> taken_;
    TTraceRowSlice texts_;
    // The next of `taken_` to match; whether its match ran out of steps.
    size_t matchAt_ = 0;
    bool resuming_ = false;
    uint64_t looked_ = 0;
    TTraceRowMatch scratch_;
};

}  // namespace norvale
