#pragma once

// What the debugger tells beyond its window of a run's crash: a second-chance
// exception (a first-chance one when its stack was walked) and the end of the
// run's program with an exit code other than 0, as one text with the stack's
// frames as its further lines. Plain code; where the report goes is decided
// above the debugger, behind `ICrashReports`.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "debugger/debug_event.h"

namespace norvale {

struct CrashReport {
    uint32_t processId = 0;
    // The image's file name, without its folder.
    std::string imageFile{};
    // "Access violation at post_invoice (crash.c:16)", or the process
    // window's own exit row.
    std::string text{};
    // The stack's rows as the process window shows them.
    std::vector<std::string> frames{};
};

// Told on the debugger's thread, while the debuggee is held; must not wait
// on the main thread.
class ICrashReports {
public:
    virtual ~ICrashReports() = default;
    virtual void Report(const CrashReport& report) noexcept = 0;
};

// The report of `copy`'s event, if it is one: an exception that got a stack
// walk, or the exit of the run's program (`endsRun`) with a code other than
// 0. An exception is placed at its first frame in `imageFile`'s module that
// has a function, else at its first frame with a function, else at its first
// frame, else at its address.
std::optional<CrashReport> CrashReportOf(const DebugEventCopy& copy, uint32_t processId, std::string_view imageFile,
                                         bool stackWalked, bool endsRun);

}  // namespace norvale
