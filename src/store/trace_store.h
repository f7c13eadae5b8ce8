#pragma once

// The rows of the trace window: every entry the dispatch hands over, kept in
// a ring of `WindowLines` rows until newer ones push it out. The dispatch
// appends under the output lock; the window reads under the store's own
// small lock, a few rows at a time, and never waits for the output lock.
//
// Rows are numbered: row n is the n-th row ever appended (from 0), and the
// store keeps [First(), End()). A number never comes back, so the window can
// keep row numbers and tell from First() which of them have left.
//
// One entry gives one row, plus one row per line of its block. The ring
// drops whole entries, oldest first, so First() is always an entry's first
// row; an entry with more rows than the whole ring keeps its first rows that
// fit, and its other rows count as dropped without ever being numbered.
// The rows' texts are bounded too (`kByteCapacity`): long rows, or a peer's
// ever-different names, push old entries out before the row count does.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "config/options_settings.h"
#include "output/trace_entry.h"
#include "store/trace_row_slot.h"
#include "store/trace_row_text.h"

namespace norvale {

class TTraceStore;

// The kept rows as one `TTraceStore::Read` sees them: valid only inside the
// reader, while the store's lock is held. Every row argument must lie in
// [First(), End()) (std::out_of_range otherwise).
class TTraceRows {
public:
    uint64_t First() const { return first_; }
    uint64_t End() const { return end_; }

    // The row's column, appended to `text`: the window clears one buffer
    // per cell and allocates nothing once it is big enough.
    void AppendColumnText(uint64_t row, TraceColumn column, std::wstring& text) const;
    TraceRowStyle Style(uint64_t row) const;
    // The entry a row belongs to, named by its first row's number: a block's
    // rows share it.
    uint64_t EntryOf(uint64_t row) const;
    // Everything the row carries; the texts point into the store.
    TraceRowFields Fields(uint64_t row) const;

private:
    friend class TTraceStore;
    TTraceRows(const std::vector<TTraceRowSlot>& slots, uint64_t first, uint64_t end)
        : slots_(slots), first_(first), end_(end) {}
    const TTraceRowSlot& Slot(uint64_t row) const;

    const std::vector<TTraceRowSlot>& slots_;
    uint64_t first_;
    uint64_t end_;
};

class TTraceStore final : public IEntrySink {
public:
    static constexpr size_t kByteCapacity = size_t{512} << 20;
    // What a reader that copies rows' texts out (a re-filter, find, Copy)
    // copies in one hold of the lock at most, whatever its row budget, so
    // that `Append` never waits for long rows.
    static constexpr size_t kCharsPerRead = size_t{1} << 18;

    // `capacity`: the ring's rows (the `WindowLines` setting), at least 1;
    // the slots are made now, so appending never allocates beyond the texts.
    // `byteCapacity`: what the kept rows' texts may hold (`TTraceRowSlot::
    // Bytes`); the newest entry is always kept, however large.
    explicit TTraceStore(uint32_t capacity, size_t byteCapacity = kByteCapacity);
    ~TTraceStore() override;
    TTraceStore(const TTraceStore&) = delete;
    TTraceStore& operator=(const TTraceStore&) = delete;

    // From the dispatch, under the output lock: O(1) per row, waits only for
    // the store's lock, which it takes once the rows' texts are made. An
    // entry whose texts cannot be allocated counts as dropped (its first row,
    // plus its block's lines when those were made) and changes nothing else.
    void Append(const TraceEntry& entry) noexcept override;
    // A saved trace's entry, read back: its block's lines as given (not the
    // entry's `block`); `timeless` for a line that did not parse.
    void AppendRead(const TraceEntry& entry, const std::vector<std::wstring>& lines, bool timeless) noexcept;
    // From a settings refresh, under the output lock: a changed
    // `WindowLines` becomes the capacity (`SetCapacity`, which makes the new
    // ring before it takes the store's lock); the same one costs nothing.
    // `ToWindow` is the dispatch's business.
    void ApplyOptions(const OptionsSettings& options) override;

    // Keeps the newest whole entries that fit (an entry larger than the new
    // capacity goes as a whole) and counts the others as dropped. Throws
    // std::invalid_argument for 0 and bad_alloc; then nothing changes. Never
    // while an `Append` runs (the dispatch calls both under the output lock):
    // `Append` sizes an entry's rows by the capacity before it takes the
    // store's lock.
    void SetCapacity(uint32_t capacity);
    uint32_t Capacity() const;
    // Empties the ring; the counts go on (First() becomes End()).
    void Clear();

    // A reader (a view of the rows) is woken by `wakeUp`, which `Append`
    // calls at most once until the reader's `AcknowledgeWakeUp`, so that at
    // most one message is in flight for each. `Append` calls it under the
    // store's lock, so it must only post: never wait, never throw. Returns
    // the reader's number, for the two calls below.
    size_t AddReader(std::function<void()> wakeUp);
    void RemoveReader(size_t reader);
    // The reader's answer to a wake-up once it has taken the rows up to
    // `seen` (an `AppendedRows()` it read before it took them): true when
    // rows came past it, and the wake-up stays pending as the reader takes
    // them anyway; false when none came, and the next row wakes the reader
    // again. It decides under the store's lock, as `Append` decides whether
    // to wake, so a row cannot come between the two unseen by both.
    bool AcknowledgeWakeUp(size_t reader, uint64_t seen);

    // Readable from any thread without the lock.
    uint64_t KeptRows() const { return kept_.load(std::memory_order_relaxed); }
    size_t KeptBytes() const { return keptBytes_.load(std::memory_order_relaxed); }
    // Rows pushed out by newer ones, cut from an entry larger than the ring,
    // or lost for want of memory, since the store was made.
    uint64_t DroppedRows() const { return dropped_.load(std::memory_order_relaxed); }
    // Rows numbered since the store was made: End(). Read on another thread
    // it may lag behind the rows just appended; `AcknowledgeWakeUp` tells.
    uint64_t AppendedRows() const { return appended_.load(std::memory_order_relaxed); }

    // Calls `reader(const TTraceRows&)` under the store's lock and returns
    // what it returns. Keep it brief, as `Append` waits meanwhile, and call
    // no other method of the store from it (the lock is not re-entrant).
    template <typename Reader>
    decltype(auto) Read(Reader&& reader) const {
        const std::lock_guard lock(mutex_);
        return std::forward<Reader>(reader)(TTraceRows(slots_, first_, end_));
    }

private:
    void AppendRows(const TraceEntry& entry, const std::vector<std::wstring>* lines, bool timeless) noexcept;
    void PlaceLocked(TTraceRowSlot& first, std::vector<TTraceRowSlot>& further, size_t bytes) noexcept;
    void DropOldestEntry() noexcept;
    void PublishCounts() noexcept;
    void WakeReaders() noexcept;

    mutable std::mutex mutex_;
    std::vector<TTraceRowSlot> slots_;
    const size_t byteCapacity_;
    size_t bytes_ = 0;
    uint64_t first_ = 0;
    uint64_t end_ = 0;
    std::atomic<uint64_t> kept_{0};
    std::atomic<size_t> keptBytes_{0};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint64_t> appended_{0};
    struct TReader {
        std::function<void()> wakeUp;
        bool pending = false;
    };
    // Indexed by the reader's number; a removed reader leaves an empty one.
    std::vector<TReader> readers_;
};

}  // namespace norvale
