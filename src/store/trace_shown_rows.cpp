#include "store/trace_shown_rows.h"

#include <algorithm>
#include <utility>

#include "common/time_slice.h"

namespace norvale {

void TShownRows::SetFilter(TTraceFilter filter) {
    filter_ = std::move(filter);
    next_.clear();
    refiltering_ = true;
    // Brought up to the oldest kept row by the next `Step`.
    scanned_ = 0;
    taken_.clear();
    scanAt_ = 0;
    resuming_ = false;
}

// Only the rows' texts are copied under the store's lock, so that `Append`,
// and every client behind the output lock, never waits for a pattern.
TShownChange TShownRows::Step(const TTraceStore& store, size_t rowBudget, size_t stepBudget) {
    TShownChange change;
    bool took = false;
    const uint64_t end = store.Read([&](const TTraceRows& rows) {
        change.first = rows.First();
        change.forgotten = Forget(shown_, rows.First());
        Forget(next_, rows.First());
        if (scanAt_ == taken_.size()) {
            // The store drops whole entries: if the entry being scanned has
            // gone, all of it has, and First() starts the next one.
            scanned_ = std::max(scanned_, rows.First());
            Take(rows, rowBudget);
            took = true;
        }
        return rows.End();
    });
    if (took && filter_.HasTerms()) texts_.Fold();
    const size_t before = shown_.size();
    Scan(refiltering_ ? next_ : shown_, change.first, stepBudget);
    change.more = scanAt_ < taken_.size() || scanned_ < end;
    if (refiltering_ && !change.more) {
        shown_.swap(next_);
        next_.clear();
        refiltering_ = false;
        change.replaced = true;
    } else {
        change.added = shown_.size() - before;
    }
    if (refiltering_) {
        passFirst_ = change.first;
        passEnd_ = end;
    }
    return change;
}

std::optional<unsigned> TShownRows::Searching() const {
    if (!refiltering_) return std::nullopt;
    const uint64_t done = taken_.empty() ? scanned_ : taken_[std::min(scanAt_, taken_.size() - 1)].row;
    if (passEnd_ <= passFirst_ || done <= passFirst_) return 0u;
    return static_cast<unsigned>(std::min<uint64_t>(99, (done - passFirst_) * 100 / (passEnd_ - passFirst_)));
}

void TShownChange::Then(const TShownChange& later) {
    first = later.first;
    forgotten += later.forgotten;
    added = later.replaced ? later.added : added + later.added;
    replaced = replaced || later.replaced;
    more = later.more;
}

TShownChange TShownRows::StepWithin(const TTraceStore& store, std::chrono::microseconds budget, size_t rowBudget,
                                    size_t stepBudget) {
    TShownChange change;
    StepsWithin(budget, [&] {
        change.Then(Step(store, rowBudget, stepBudget));
        return !change.more;
    });
    return change;
}

// An entry is decided at its last row: the store appends whole entries, so
// the row before End() always ends one. The texts taken are bounded too, as
// a slice's rows may each hold a long block line.
void TShownRows::Take(const TTraceRows& rows, size_t rowBudget) {
    taken_.clear();
    texts_.Clear();
    scanAt_ = 0;
    const bool texts = filter_.HasTerms();
    const uint64_t stop = std::min<uint64_t>(rows.End(), scanned_ + rowBudget);
    for (; scanned_ < stop && texts_.Chars() < TTraceStore::kCharsPerRead; ++scanned_) {
        const TraceRowFields fields = rows.Fields(scanned_);
        const uint64_t next = scanned_ + 1;
        taken_.push_back(TTakenRow{scanned_, !fields.continuation,
                                   next == rows.End() || rows.EntryOf(next) != rows.EntryOf(scanned_)});
        if (texts) texts_.Add(fields);
    }
}

// Rows that left the store while their slice was matched are not added.
void TShownRows::Scan(std::deque<TShownRow>& into, uint64_t first, size_t stepBudget) {
    const bool texts = filter_.HasTerms();
    TMatchSteps steps{0, stepBudget};
    // A row at least, whatever the budget.
    for (bool once = true; scanAt_ < taken_.size() && (once || !steps.Out()); ++scanAt_, once = false) {
        const TTakenRow& taken = taken_[scanAt_];
        if (!resuming_ && taken.firstOfEntry) {
            entry_ = taken.row;
            match_ = {};
        }
        if (texts) {
            if (!resuming_) scratch_.Use(texts_, scanAt_);
            resuming_ = !filter_.MatchFilled(scratch_, match_, steps);
            if (resuming_) return;
        }
        if (!taken.lastOfEntry || !filter_.Shows(match_)) continue;
        const bool highlighted = filter_.Highlights(match_);
        for (uint64_t row = std::max(entry_, first); row <= taken.row; ++row) into.push_back(TShownRow{row, highlighted});
    }
}

size_t TShownRows::Forget(std::deque<TShownRow>& rows, uint64_t first) {
    const auto kept =
        std::find_if(rows.begin(), rows.end(), [first](const TShownRow& shown) { return shown.row >= first; });
    const auto count = static_cast<size_t>(kept - rows.begin());
    rows.erase(rows.begin(), kept);
    return count;
}

size_t TShownRows::LowerBound(uint64_t row) const {
    const auto found = std::partition_point(shown_.begin(), shown_.end(),
                                            [row](const TShownRow& shown) { return shown.row < row; });
    return static_cast<size_t>(found - shown_.begin());
}

std::optional<size_t> TShownRows::IndexOf(uint64_t row) const {
    const size_t index = LowerBound(row);
    if (index == shown_.size() || shown_[index].row != row) return std::nullopt;
    return index;
}

TraceStatusCounts TShownRows::Counts(const TTraceStore& store) const {
    return TraceStatusCounts{store.KeptRows(), shown_.size(), store.DroppedRows()};
}

}  // namespace norvale
