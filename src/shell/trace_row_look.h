#pragma once

// How the trace window paints a row and what its status bar says, decided in
// plain code.

#include <array>
#include <cstdint>
#include <string>

#include "capture/capture_status.h"
#include "forward/forward_status.h"
#include "store/trace_row_text.h"
#include "store/trace_shown_rows.h"

namespace norvale {

// Colours as 0x00BBGGRR, the platform's order.
struct TraceRowLook {
    uint32_t text;
    uint32_t background;

    bool operator==(const TraceRowLook&) const = default;
};

// Each style has a text colour of its own on the window's white; a
// highlighted row keeps its text colour on a background of its own.
TraceRowLook LookOf(TraceRowStyle style, bool highlighted);

inline constexpr size_t kTraceStatusParts = 8;

// What the status bar shows of the rest of the process, read each second.
struct ProcessStatus {
    CaptureStatus capture;
    uint64_t viewerUndelivered = 0;
    ForwardStatus forward;
    // What keeps the output file from rotating, in the system's code page.
    std::string fileProblem;
};

// The status bar's parts: rows kept, rows shown, rows dropped because the
// store was full; then debug output capture: strings captured, strings a full
// queue dropped; the viewer's lost records; syslog forwarding's counts; last,
// what keeps capture, forwarding or the output file's rotation from running as
// asked, which may be long.
std::array<std::wstring, kTraceStatusParts> TraceStatusTexts(const TraceStatusCounts& counts,
                                                             const ProcessStatus& process);

// Where each part ends, from its text's width: a part is as wide as its text
// and its frame (`padding`), the counts of rows at least `minimum` so that
// they do not jump as they grow, an empty part takes no room, and the last
// part takes the rest (-1), so that a problem shows on a narrow window too.
std::array<int, kTraceStatusParts> StatusPartEnds(const std::array<int, kTraceStatusParts>& textWidths, int minimum,
                                                  int padding);

}  // namespace norvale
