#pragma once

// What the trace window shows of a row, decided in plain code: the columns
// with their header names, each column's text, and the row's style.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/clock.h"
#include "output/formatting.h"
#include "output/trace_entry.h"

namespace norvale {

enum class TraceColumn : uint8_t { Time, Machine, Process, Project, Module, Class, Thread, Code, Message };

inline constexpr size_t kTraceColumnCount = 9;

// The header names, indexed by `TraceColumn`.
inline constexpr std::array<std::wstring_view, kTraceColumnCount> kTraceColumnNames = {
    L"Time", L"Machine", L"Process", L"Project", L"Module", L"Class", L"Thread", L"Code", L"Message"};

// How the window colours a row; a block's further rows take their entry's.
enum class TraceRowStyle : uint8_t { Plain, Notice, Method, Code1, Code2 };

TraceRowStyle StyleOfKind(MessageKind kind);

// One row as the store keeps it, borrowed for as long as the store's lock is
// held.
struct TraceRowFields {
    // None for the server's own notices and for a block's further rows.
    const TraceSource* source = nullptr;
    // The call's class (the source's unless the call named another).
    std::wstring_view className;
    // A block's further rows keep their entry's date and time.
    LocalDateTime time;
    // A line of a saved trace that did not parse has no time: its Time
    // column is empty and it has no Δ.
    bool timeless = false;
    int32_t threadId = 0;
    int32_t code = 0;
    MessageKind kind = MessageKind::Plain;
    // Without the method markers; a block's further row holds its line.
    std::wstring_view message;
    // A block's further row: only the message column is shown.
    bool continuation = false;
};

// The column's text, appended to `text` (a caller that reuses one buffer for
// every cell allocates nothing once it is big enough).
void AppendColumnText(std::wstring& text, const TraceRowFields& row, TraceColumn column);

// Every column, joined by tabs, then CR LF: a row as copied.
void AppendRowLine(std::wstring& text, const TraceRowFields& row);

// Milliseconds since 1970-01-01 of a local date and time, so that the time
// between two rows holds across midnight.
int64_t MillisecondsOf(const LocalDateTime& time);

// The "Δ ms" column: the signed milliseconds from `previous` (the shown row
// before, none for the first) to `row`; nothing for a block's further row or
// where either has no time.
void AppendDeltaText(std::wstring& text, const TraceRowFields* previous, const TraceRowFields& row);

}  // namespace norvale
