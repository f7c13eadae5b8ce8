#pragma once

// The trace window's list, decided in plain code: the numbers of the rows
// its owner-data list view shows, in order, each with its highlight, kept up
// to date from the store a slice at a time.
//
// The window calls `Step` when the store wakes it, on each tick of its poll
// (`TTraceRowsWatch`) or when it has set a filter, and again, from a
// message it posts itself, while `Step` reports more to do, so no slice
// keeps it from its messages for long. A step holds the store's lock once,
// only to copy the texts of at most `rowBudget` rows out, and matches them
// after it within `stepBudget` steps: a row whose pattern costs more than
// that is matched over several steps, each going on where the last stopped.
//
// A filter change starts a re-filter from the oldest kept row. Until that
// pass reaches the newest row the list keeps the old filter's rows (it still
// forgets those that leave the ring, but takes no new ones); then the pass's
// list replaces it in one step. Rows arriving meanwhile are scanned by the
// pass like any others, so none is lost or taken twice.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "store/trace_filter.h"
#include "store/trace_store.h"

namespace norvale {

struct TShownRow {
    uint64_t row : 63;
    uint64_t highlighted : 1;
};

// What one `Step` changed in the list, for the list view.
struct TShownChange {
    // The store's oldest kept row.
    uint64_t first = 0;
    // Rows gone from the front (they left the ring).
    size_t forgotten = 0;
    // Rows added at the end.
    size_t added = 0;
    // A re-filter finished: the whole list is new.
    bool replaced = false;
    // Rows are left to scan: call `Step` again.
    bool more = false;

    // This change followed by `later`, as one.
    void Then(const TShownChange& later);
};

// For the status bar.
struct TraceStatusCounts {
    uint64_t kept = 0;
    uint64_t shown = 0;
    uint64_t dropped = 0;
};

class TShownRows {
public:
    // The rows whose texts a step copies out under the store's lock: a
    // fraction of a millisecond of copying on the benchmark's machine
    // (trace_store_bench), all that `Append` may wait for, even while a
    // pattern that matches at once has the window copy again and again; the
    // per-step costs (the lock, the list's bookkeeping) stay small beside it.
    static constexpr size_t kRowsPerSlice = 1024;
    // How long the window steps through rows before it tells the list and
    // goes back to its messages: telling the list costs more than many steps,
    // and a frame at 60 Hz lasts about twice as long.
    static constexpr std::chrono::milliseconds kSliceTime{8};
    // About a millisecond of a pattern's work on the benchmark's machine, so
    // that a slice that starts a step just before its time is up still ends
    // within 16 ms.
    static constexpr size_t kStepsPerSlice = size_t{1} << 18;

    // Starts a re-filter; the list changes when it is done.
    void SetFilter(TTraceFilter filter);
    const TTraceFilter& Filter() const { return filter_; }

    // Forgets the rows that left the store, then scans up to `rowBudget`
    // new rows, or goes on with those it took before.
    TShownChange Step(const TTraceStore& store, size_t rowBudget = kRowsPerSlice,
                      size_t stepBudget = kStepsPerSlice);
    // Steps until no rows are left to scan or `budget` has passed, one step
    // at least: the window tells the list once for all of them, which costs
    // far more than a step.
    TShownChange StepWithin(const TTraceStore& store, std::chrono::microseconds budget,
                            size_t rowBudget = kRowsPerSlice, size_t stepBudget = kStepsPerSlice);
    // While a new filter's pass runs: how far it has got, 0 to 99 %.
    std::optional<unsigned> Searching() const;

    size_t Count() const { return shown_.size(); }
    TShownRow At(size_t index) const { return shown_[index]; }
    // The index of the first shown row numbered `row` or later (Count() when
    // none is): the list is in the order of the row numbers.
    size_t LowerBound(uint64_t row) const;
    // The index of the row, when it is shown.
    std::optional<size_t> IndexOf(uint64_t row) const;

    TraceStatusCounts Counts(const TTraceStore& store) const;

private:
    // Returns how many rows it forgot.
    static size_t Forget(std::deque<TShownRow>& rows, uint64_t first);
    // Under the store's lock: what the next rows are, and their texts when
    // the filter has terms.
    void Take(const TTraceRows& rows, size_t rowBudget);
    // After it: matches what `Take` took, until the steps run out.
    void Scan(std::deque<TShownRow>& into, uint64_t first, size_t stepBudget);

    TTraceFilter filter_;
    std::deque<TShownRow> shown_;
    // The re-filter's list, until it replaces `shown_`.
    std::deque<TShownRow> next_;
    bool refiltering_ = false;
    // Every row before it is decided, but for the rows of `entry_` that
    // await the rest of their entry.
    uint64_t scanned_ = 0;
    uint64_t entry_ = 0;
    TraceEntryMatch match_;
    TTraceRowMatch scratch_;
    struct TTakenRow {
        uint64_t row;
        bool firstOfEntry;
        bool lastOfEntry;
    };
    std::vector<TTakenRow> taken_;
    TTraceRowSlice texts_;
    // The next of `taken_` to match; whether its match ran out of steps.
    size_t scanAt_ = 0;
    bool resuming_ = false;
    // The pass's share of the rows it has to scan, for `Searching`.
    uint64_t passFirst_ = 0;
    uint64_t passEnd_ = 0;
};

}  // namespace norvale
