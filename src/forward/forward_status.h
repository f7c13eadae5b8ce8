#pragma once

// What forwarding tells the user: its counts and why nothing goes out.

#include <cstdint>
#include <string>

#include "common/part_status.h"

namespace norvale {

struct ForwardCounts {
    uint64_t sent = 0;
    uint64_t queued = 0;
    uint64_t dropped = 0;
};

struct ForwardStatus {
    bool on = false;
    ForwardCounts counts;
    // Datagrams cut to their bound.
    uint64_t cut = 0;
    // Why nothing goes out, in the system's code page: a `SyslogServer` that
    // does not parse, or the collector's last failure; empty while all is well.
    std::string problem;
};

// The status bar's forwarding part: "Syslog: 12 sent, 0 queued, 0 dropped",
// with the cut datagrams once there are any; empty while forwarding has never
// been on.
std::wstring ForwardCountsText(const ForwardStatus& status);

// The counts and the problem, as the status bar gathers them.
PartStatusTexts ForwardStatusTexts(const ForwardStatus& status);

}  // namespace norvale
