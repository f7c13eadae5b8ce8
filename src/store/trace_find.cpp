#include "store/trace_find.h"

#include <algorithm>
#include <utility>

namespace norvale {

TTraceFind::TTraceFind(TTraceTerms terms, TraceFindWay way, const TShownRows& shown, std::optional<size_t> from)
    : terms_(std::move(terms)), way_(way) {
    if (from) start_ = shown.At(*from).row;
    cursor_ = way == TraceFindWay::Next ? (start_ ? *start_ + 1 : 0) : start_.value_or(UINT64_MAX);
}

// A long block line counts against the slice's characters, as a re-filter's.
void TTraceFind::Take(const TShownRows& shown, const TTraceRows& rows, size_t rowBudget) {
    size_t index = shown.LowerBound(cursor_);
    for (size_t looked = 0; looked < rowBudget && texts_.Chars() < TTraceStore::kCharsPerRead; ++looked) {
        const bool atEdge = way_ == TraceFindWay::Next ? index == shown.Count() : index == 0;
        if (atEdge) {
            if (wrapped_ || !start_) {
                allTaken_ = true;
                return;
            }
            wrapped_ = true;
            cursor_ = way_ == TraceFindWay::Next ? 0 : UINT64_MAX;
            index = way_ == TraceFindWay::Next ? 0 : shown.Count();
            continue;
        }
        if (way_ == TraceFindWay::Previous) --index;
        const uint64_t row = shown.At(index).row;
        const bool passedStart = wrapped_ && (way_ == TraceFindWay::Next ? row > *start_ : row < *start_);
        if (passedStart) {
            allTaken_ = true;
            return;
        }
        // A paused list may still name rows that left the store.
        if (row >= rows.First() && row < rows.End()) {
            taken_.push_back(TTakenRow{row, wrapped_});
            texts_.Add(rows.Fields(row));
        }
        if (way_ == TraceFindWay::Next) {
            cursor_ = row + 1;
            ++index;
        } else {
            cursor_ = row;
        }
    }
}

bool TTraceFind::Step(const TShownRows& shown, const TTraceStore& store, size_t rowBudget, size_t stepBudget) {
    if (matchAt_ == taken_.size()) {
        if (allTaken_) return true;
        taken_.clear();
        texts_.Clear();
        matchAt_ = 0;
        store.Read([&](const TTraceRows& rows) { Take(shown, rows, rowBudget); });
        texts_.Fold();
    }
    TMatchSteps steps{0, stepBudget};
    // A row at least, whatever the budget.
    for (bool once = true; matchAt_ < taken_.size() && (once || !steps.Out()); ++matchAt_, once = false) {
        if (!resuming_) scratch_.Use(texts_, matchAt_);
        const TPatternFound found = terms_.MatchAny(scratch_, steps);
        resuming_ = found == TPatternFound::OutOfSteps;
        if (resuming_) return false;
        ++looked_;
        if (found == TPatternFound::No) continue;
        // The row may have left the list since it was taken.
        if (const auto index = shown.IndexOf(taken_[matchAt_].row)) {
            found_ = TraceStepTo{*index, taken_[matchAt_].wrapped};
            return true;
        }
    }
    return allTaken_ && matchAt_ == taken_.size();
}

unsigned TTraceFind::Percent(const TShownRows& shown) const {
    if (shown.Count() == 0) return 0;
    return static_cast<unsigned>(std::min<uint64_t>(99, looked_ * 100 / shown.Count()));
}

}  // namespace norvale
