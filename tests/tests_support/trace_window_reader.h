#pragma once

#ifdef _WIN32

// The trace window read and driven as a user sees and uses it, in this
// process or in the server's: every cell of its list in UTF-16, its status
// bar, its filter boxes.

#include <windows.h>

#include <array>
#include <string>
#include <vector>

namespace norvale::test {

// "Kept", "Shown", "Dropped", then capture: "Captured", "Capture dropped",
// the viewer's losses, syslog's counts, and what keeps capture or syslog from
// running.
using TraceStatusParts = std::vector<std::wstring>;

struct ShownTraceWindow {
    // Each row's cells, "Time" to "Message".
    std::vector<std::vector<std::wstring>> rows;
    TraceStatusParts status;
};

// The trace document of that caption ("Trace", "Trace 2", a file's name) in
// the frame of the process `processId`; none when it has none (yet).
HWND FindTraceWindow(DWORD processId, const wchar_t* caption = L"Trace");

ShownTraceWindow ReadTraceWindow(HWND traceForm);
TraceStatusParts ReadTraceStatus(HWND traceForm);

// Every row's cell of a column by its subitem: 9 "Δ ms", 10 the marks.
std::vector<std::wstring> ReadTraceColumn(HWND traceForm, int subitem);

// A box: 0 "Show", 1 "Hide", 2 "Highlight", 3 "Find".
HWND TraceBox(HWND traceForm, int box);
// Types `text` into a box, numbered as for `TraceBox`.
void TypeFilter(HWND traceForm, int box, const std::wstring& text);

// The rows' "Message" cells.
std::vector<std::wstring> Messages(const ShownTraceWindow& shown);

}  // namespace norvale::test

#endif
