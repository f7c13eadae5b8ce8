#pragma once

// A view's bookmarks: row numbers, so that a mark stays with its row through
// any filter (a row filtered out keeps its mark and shows it again when it
// comes back) and goes with its row when the store's bound drops it.

#include <cstdint>
#include <optional>
#include <set>
#include <span>

#include "store/trace_shown_rows.h"

namespace norvale {

// A step to a shown row: its index, and whether the step went past the end
// of the list (or its start) and on from the other side.
struct TraceStepTo {
    size_t index = 0;
    bool wrapped = false;
    bool operator==(const TraceStepTo&) const = default;
};

class TTraceMarks {
public:
    // Marks every row, or unmarks them all when each one is marked already.
    void Toggle(std::span<const uint64_t> rows);
    bool Has(uint64_t row) const { return marks_.contains(row); }
    size_t Count() const { return marks_.size(); }
    // Rows before `first` have left the store.
    void Forget(uint64_t first);

    // The next (or previous) shown row with a mark after (before) the shown
    // row `from`, or from the list's start (end) when none is given, past
    // the end (start) on from the other side; none when no shown row has one.
    std::optional<TraceStepTo> Next(const TShownRows& shown, std::optional<size_t> from) const;
    std::optional<TraceStepTo> Previous(const TShownRows& shown, std::optional<size_t> from) const;

private:
    std::set<uint64_t> marks_;
};

}  // namespace norvale
