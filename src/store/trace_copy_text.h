#pragma once

// Rows as the clipboard and a saved file take them.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "store/trace_store.h"

namespace norvale {

// The rows, in the order given, as tab-separated columns ending in CR LF,
// appended to `text`. Rows that have left the store are left out. Call it
// inside `TTraceStore::Read`, a few thousand rows at a time for a long save.
void AppendRowsText(std::wstring& text, const TTraceRows& rows, std::span<const uint64_t> rowNumbers);

}  // namespace norvale
