#include "store/trace_find.h"

#include <utility>

namespace norvale {

TTraceFind::TTraceFind(TTraceTerms terms, TraceFindWay way, const TShownRows& shown, std::optional<size_t> from)
    : terms_(std::move(terms)), way_(way) {
    if (from) start_ = shown.At(*from).row;
    cursor_ = way == TraceFindWay::Next ? (start_ ? *start_ + 1 : 0) : start_.value_or(UINT64_MAX);
}

bool TTraceFind::Looked(const TTraceRows& rows, uint64_t row) {
    // A paused list may still name rows that left the store.
    if (row < rows.First() || row >= rows.End()) return false;
    scratch_.Fill(rows.Fields(row));
    return terms_.MatchAny(scratch_);
}

bool TTraceFind::Step(const TShownRows& shown, const TTraceStore& store, size_t rowBudget) {
    return store.Read([&](const TTraceRows& rows) {
        size_t index = shown.LowerBound(cursor_);
        for (size_t looked = 0; looked < rowBudget; ++looked) {
            const bool atEdge = way_ == TraceFindWay::Next ? index == shown.Count() : index == 0;
            if (atEdge) {
                if (wrapped_ || !start_) return true;
                wrapped_ = true;
                cursor_ = way_ == TraceFindWay::Next ? 0 : UINT64_MAX;
                index = way_ == TraceFindWay::Next ? 0 : shown.Count();
                continue;
            }
            if (way_ == TraceFindWay::Previous) --index;
            const uint64_t row = shown.At(index).row;
            const bool passedStart = wrapped_ && (way_ == TraceFindWay::Next ? row > *start_ : row < *start_);
            if (passedStart) return true;
            if (Looked(rows, row)) {
                found_ = TraceStepTo{index, wrapped_};
                return true;
            }
            if (way_ == TraceFindWay::Next) {
                cursor_ = row + 1;
                ++index;
            } else {
                cursor_ = row;
            }
        }
        return false;
    });
}

}  // namespace norvale
