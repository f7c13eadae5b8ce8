#include "store/trace_store.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace norvale {

namespace {

uint32_t CheckedCapacity(uint32_t capacity) {
    if (capacity == 0) throw std::invalid_argument("The trace window keeps at least one line.");
    return capacity;
}

}  // namespace

const TTraceRowSlot& TTraceRows::Slot(uint64_t row) const {
    if (row < first_ || row >= end_) throw std::out_of_range("The trace row has left the window.");
    return slots_[row % slots_.size()];
}

void TTraceRows::AppendColumnText(uint64_t row, TraceColumn column, std::wstring& text) const {
    norvale::AppendColumnText(text, Slot(row).Fields(), column);
}

TraceRowStyle TTraceRows::Style(uint64_t row) const { return Slot(row).Style(); }

uint64_t TTraceRows::EntryOf(uint64_t row) const { return row - Slot(row).RowInEntry(); }

TraceRowFields TTraceRows::Fields(uint64_t row) const { return Slot(row).Fields(); }

TTraceStore::TTraceStore(uint32_t capacity, size_t byteCapacity)
    : slots_(CheckedCapacity(capacity)), byteCapacity_(byteCapacity) {}

TTraceStore::~TTraceStore() = default;

// The rows' texts are made before the store's lock, so the window never waits
// while a big block is copied, and a failed allocation leaves the ring as it
// was.
void TTraceStore::Append(const TraceEntry& entry) noexcept {
    const std::vector<std::wstring>* lines = nullptr;
    try {
        if (entry.block) lines = &entry.block->Wide();
    } catch (...) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    AppendRows(entry, lines, false);
}

void TTraceStore::AppendRead(const TraceEntry& entry, const std::vector<std::wstring>& lines, bool timeless) noexcept {
    AppendRows(entry, &lines, timeless);
}

void TTraceStore::AppendRows(const TraceEntry& entry, const std::vector<std::wstring>* lines, bool timeless) noexcept {
    uint64_t wanted = 1;
    try {
        if (lines) wanted += lines->size();
        TTraceRowSlot first;
        first.Assign(entry, entry.text, 0, timeless);
        std::vector<TTraceRowSlot> further(std::min<uint64_t>(wanted, slots_.size()) - 1);
        size_t bytes = first.Bytes();
        for (size_t line = 0; line < further.size(); ++line) {
            further[line].Assign(entry, (*lines)[line], static_cast<uint32_t>(line + 1));
            bytes += further[line].Bytes();
        }
        const std::lock_guard lock(mutex_);
        PlaceLocked(first, further, bytes);
        dropped_.fetch_add(wanted - 1 - further.size(), std::memory_order_relaxed);
        WakeReaders();
    } catch (...) {
        dropped_.fetch_add(wanted, std::memory_order_relaxed);
    }
}

// The dropped rows' texts are freed after the lock too: the new rows trade
// slots with them, and a dropped row whose slot no new row takes is emptied
// here.
void TTraceStore::PlaceLocked(TTraceRowSlot& first, std::vector<TTraceRowSlot>& further, size_t bytes) noexcept {
    const uint64_t rows = 1 + further.size();
    const uint64_t size = slots_.size();
    const uint64_t oldest = first_;
    while (end_ - first_ + rows > size || (first_ < end_ && bytes_ + bytes > byteCapacity_)) DropOldestEntry();
    bytes_ += bytes;
    for (uint64_t row = std::max(oldest + size, end_ + rows); row < first_ + size; ++row) slots_[row % size].Reset();
    std::swap(slots_[end_ % size], first);
    for (size_t line = 0; line < further.size(); ++line) std::swap(slots_[(end_ + 1 + line) % size], further[line]);
    end_ += rows;
    PublishCounts();
}

// Leaves the dropped rows' texts in their slots, for the caller to free.
void TTraceStore::DropOldestEntry() noexcept {
    do {
        bytes_ -= slots_[first_ % slots_.size()].Bytes();
        ++first_;
        dropped_.fetch_add(1, std::memory_order_relaxed);
    } while (first_ < end_ && slots_[first_ % slots_.size()].RowInEntry() != 0);
}

void TTraceStore::PublishCounts() noexcept {
    kept_.store(end_ - first_, std::memory_order_relaxed);
    keptBytes_.store(bytes_, std::memory_order_relaxed);
    appended_.store(end_, std::memory_order_relaxed);
}

void TTraceStore::ApplyOptions(const OptionsSettings& options) {
    if (options.WindowLines != Capacity()) SetCapacity(options.WindowLines);
}

void TTraceStore::SetCapacity(uint32_t capacity) {
    std::vector<TTraceRowSlot> slots(CheckedCapacity(capacity));
    // Declared after `slots`, so the old slots are freed after the lock goes.
    const std::lock_guard lock(mutex_);
    while (end_ - first_ > capacity) DropOldestEntry();
    for (uint64_t row = first_; row < end_; ++row) slots[row % capacity] = std::move(slots_[row % slots_.size()]);
    slots_.swap(slots);
    PublishCounts();
}

uint32_t TTraceStore::Capacity() const {
    const std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(slots_.size());
}

void TTraceStore::Clear() {
    const std::lock_guard lock(mutex_);
    for (; first_ < end_; ++first_) slots_[first_ % slots_.size()].Reset();
    bytes_ = 0;
    PublishCounts();
}

size_t TTraceStore::AddReader(std::function<void()> wakeUp) {
    const std::lock_guard lock(mutex_);
    const auto free = std::find_if(readers_.begin(), readers_.end(), [](const TReader& r) { return !r.wakeUp; });
    const auto reader = static_cast<size_t>(free - readers_.begin());
    if (free == readers_.end()) readers_.emplace_back();
    readers_[reader] = TReader{std::move(wakeUp), false};
    return reader;
}

void TTraceStore::RemoveReader(size_t reader) {
    const std::lock_guard lock(mutex_);
    readers_.at(reader) = TReader{};
}

bool TTraceStore::AcknowledgeWakeUp(size_t reader, uint64_t seen) {
    const std::lock_guard lock(mutex_);
    TReader& waiting = readers_.at(reader);
    waiting.pending = end_ != seen;
    return waiting.pending;
}

void TTraceStore::WakeReaders() noexcept {
    for (TReader& reader : readers_) {
        if (!reader.wakeUp || reader.pending) continue;
        reader.pending = true;
        try {
            reader.wakeUp();
        } catch (...) {
            // No message went out, so the next row must try again.
            reader.pending = false;
        }
    }
}

}  // namespace norvale
