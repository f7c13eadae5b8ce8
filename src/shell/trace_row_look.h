#pragma once

// How the trace window paints a row and what its status bar says, decided in
// plain code.

#include <cstdint>
#include <string>
#include <vector>

#include "common/part_status.h"
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

// What the status bar shows of the rest of the process, read each second:
// each part's own texts, gathered once.
struct ProcessStatus {
    // In the order the bar shows them.
    std::vector<PartStatusTexts> parts;
    // The viewer's lost records, which the tray icon's tip tells as well.
    uint64_t viewerUndelivered = 0;
};

// The status bar's parts: rows kept, rows shown, rows dropped because the
// store was full; then each part's counts in its order; last, the window's own
// `note` (a term that does not parse, where find went, a saved trace's
// reading) and what keeps any part from running as asked, each a sentence of
// its own, which may be long.
std::vector<std::wstring> TraceStatusTexts(const TraceStatusCounts& counts, const ProcessStatus& process,
                                           std::wstring_view note = {});

// Where each part ends, from its text's width: a part is as wide as its text
// and its frame (`padding`), the counts of rows at least `minimum` so that
// they do not jump as they grow, an empty part takes no room, and the last
// part takes the rest (-1), so that a problem shows on a narrow window too.
std::vector<int> StatusPartEnds(const std::vector<int>& textWidths, int minimum, int padding);

}  // namespace norvale
