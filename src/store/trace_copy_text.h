#pragma once

// Rows as the clipboard and a saved file take them.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/trace_store.h"

namespace norvale {

// The rows, in the order given, as tab-separated columns ending in CR LF,
// appended to `text`. Rows that have left the store are left out. Call it
// inside `TTraceStore::Read`, a few thousand rows at a time for a long save.
void AppendRowsText(std::wstring& text, const TTraceRows& rows, std::span<const uint64_t> rowNumbers);

// Copy of many rows, read a few thousand at a time, so that the store's lock
// is never held long and the window gets back to its messages between steps.
class TTraceCopy {
public:
    static constexpr size_t kRowsPerStep = 4096;

    explicit TTraceCopy(std::vector<uint64_t> rows) : rows_(std::move(rows)) {}

    // Reads up to `rowBudget` more rows, fewer when their text grows long;
    // true once every row is read.
    bool Step(const TTraceStore& store, size_t rowBudget = kRowsPerStep);
    // How far it has got, 0 to 99 %.
    unsigned Percent() const;
    const std::wstring& Text() const { return text_; }

private:
    std::vector<uint64_t> rows_;
    size_t done_ = 0;
    std::wstring text_;
};

}  // namespace norvale
