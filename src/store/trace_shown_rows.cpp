#include "store/trace_shown_rows.h"

#include <algorithm>
#include <utility>

namespace norvale {

void TShownRows::SetFilter(TTraceFilter filter) {
    filter_ = std::move(filter);
    next_.clear();
    refiltering_ = true;
    // Brought up to the oldest kept row by the next `Step`.
    scanned_ = 0;
}

// Only the rows' texts are copied under the store's lock, so that `Append`,
// and every client behind the output lock, never waits for a pattern.
TShownChange TShownRows::Step(const TTraceStore& store, size_t rowBudget) {
    TShownChange change;
    const uint64_t end = store.Read([&](const TTraceRows& rows) {
        change.first = rows.First();
        change.forgotten = Forget(shown_, rows.First());
        Forget(next_, rows.First());
        // The store drops whole entries: if the entry being scanned has
        // gone, all of it has, and First() starts the next one.
        scanned_ = std::max(scanned_, rows.First());
        Take(rows, rowBudget);
        return rows.End();
    });
    const size_t before = shown_.size();
    Scan(refiltering_ ? next_ : shown_);
    change.more = scanned_ < end;
    if (refiltering_ && !change.more) {
        shown_.swap(next_);
        next_.clear();
        refiltering_ = false;
        change.replaced = true;
    } else {
        change.added = shown_.size() - before;
    }
    return change;
}

void TShownChange::Then(const TShownChange& later) {
    first = later.first;
    forgotten += later.forgotten;
    added = later.replaced ? later.added : added + later.added;
    replaced = replaced || later.replaced;
    more = later.more;
}

TShownChange TShownRows::StepWithin(const TTraceStore& store, std::chrono::microseconds budget, size_t rowBudget) {
    const auto end = std::chrono::steady_clock::now() + budget;
    TShownChange change = Step(store, rowBudget);
    while (change.more && std::chrono::steady_clock::now() < end) change.Then(Step(store, rowBudget));
    return change;
}

// An entry is decided at its last row: the store appends whole entries, so
// the row before End() always ends one. The texts taken are bounded too, as
// a slice's rows may each hold a long block line.
void TShownRows::Take(const TTraceRows& rows, size_t rowBudget) {
    constexpr size_t kMostChars = size_t{1} << 20;
    taken_.clear();
    texts_.Clear();
    const bool texts = filter_.HasTerms();
    const uint64_t stop = std::min<uint64_t>(rows.End(), scanned_ + rowBudget);
    for (; scanned_ < stop && texts_.Chars() < kMostChars; ++scanned_) {
        const TraceRowFields fields = rows.Fields(scanned_);
        const uint64_t next = scanned_ + 1;
        taken_.push_back(TTakenRow{scanned_, !fields.continuation,
                                   next == rows.End() || rows.EntryOf(next) != rows.EntryOf(scanned_)});
        if (texts) texts_.Add(fields);
    }
}

void TShownRows::Scan(std::deque<TShownRow>& into) {
    const bool texts = filter_.HasTerms();
    for (size_t i = 0; i < taken_.size(); ++i) {
        const TTakenRow& taken = taken_[i];
        if (taken.firstOfEntry) {
            entry_ = taken.row;
            match_ = {};
        }
        if (texts) {
            scratch_.Use(texts_, i);
            filter_.MatchFilled(scratch_, match_);
        }
        if (!taken.lastOfEntry || !filter_.Shows(match_)) continue;
        const bool highlighted = filter_.Highlights(match_);
        for (uint64_t row = entry_; row <= taken.row; ++row) into.push_back(TShownRow{row, highlighted});
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
