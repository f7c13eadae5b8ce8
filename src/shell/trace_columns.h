#pragma once

// The trace window's list columns, decided in plain code: the nine columns of
// a row (subitems 0 to 8, as outside readers know them), then "Δ ms" and the
// marks (9 and 10); which of them are shown and how wide, and the stored
// value that keeps that between runs.
//
// The stored value is the widths in subitem order, separated by ",", a
// hidden column's width negative (so that showing it again gives back its
// width). A value of nine numbers, as kept before there were more columns,
// still reads: the newer columns take their defaults.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "store/trace_row_text.h"

namespace norvale {

inline constexpr size_t kDeltaColumn = kTraceColumnCount;
inline constexpr size_t kMarkColumn = kTraceColumnCount + 1;
inline constexpr size_t kTraceListColumns = kTraceColumnCount + 2;

// The columns' names, by subitem, as their headers and the headers' menu show
// them (the marks' header shows their sign).
inline constexpr std::array<std::wstring_view, kTraceListColumns> kTraceListColumnNames = {
    L"Time", L"Machine", L"Process", L"Project", L"Module", L"Class", L"Thread", L"Code", L"Message", L"Δ ms",
    L"Mark"};

// What the marks column shows of a marked row.
inline constexpr std::wstring_view kMarkText = L"\u2022";

struct TraceColumnWidth {
    int width = 0;
    bool shown = true;
    bool operator==(const TraceColumnWidth&) const = default;
};
using TraceColumnLayout = std::array<TraceColumnWidth, kTraceListColumns>;

// At 96 dpi; "Δ ms" hidden.
TraceColumnLayout DefaultColumnLayout();

// `stored` as kept; a width that does not read, or is 0 or 10000 and more,
// keeps `defaults`'.
TraceColumnLayout ColumnLayoutFromText(std::string_view stored, const TraceColumnLayout& defaults);
std::string ColumnLayoutText(const TraceColumnLayout& layout);

// `wanted` fitted to a list `listWidth` wide: the Message column takes what
// the other shown columns leave, at least `minimum`; where they leave less
// (a large scale on a small screen), they narrow alike, to half their width
// at most, and only past that does the list scroll sideways.
TraceColumnLayout FitColumnsToList(TraceColumnLayout wanted, int listWidth, int minimum);

}  // namespace norvale
