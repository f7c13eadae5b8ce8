// What the trace window's status bar says of forwarding, and how its parts
// share the width.

#include <gtest/gtest.h>

#include "shell/trace_row_look.h"

namespace norvale {
namespace {

TEST(TraceStatusTest, ForwardingShowsItsCountsOnceOnAndItsProblemBesideCaptures) {
    const struct {
        ForwardStatus forward;
        ChannelState capture;
        const wchar_t* counts;
        const wchar_t* problem;
    } rows[] = {
        {{}, ChannelState::Off, L"", L""},
        {{true, {0, 0, 0}, 0, ""}, ChannelState::Off, L"Syslog: 0 sent, 0 queued, 0 dropped", L""},
        // Turned off again: what it did stays in sight.
        {{false, {12, 0, 3}, 2, ""}, ChannelState::Off, L"Syslog: 12 sent, 0 queued, 3 dropped, 2 cut", L""},
        {{false, {}, 0, "Forwarding is off: x."}, ChannelState::TakenByOther, L"",
         L"Debug output is being captured by another program  Forwarding is off: x."},
    };
    for (const auto& row : rows) {
        ProcessStatus process;
        process.forward = row.forward;
        process.capture.session.state = row.capture;
        const auto texts = TraceStatusTexts(TraceStatusCounts{}, process);
        EXPECT_EQ(texts[6], row.counts);
        EXPECT_EQ(texts[7], row.problem);
    }
    ProcessStatus both;
    both.forward.problem = "Forwarding is off: x.";
    both.fileProblem = "The output file \"f\" is written on, not rotated.";
    EXPECT_EQ(TraceStatusTexts(TraceStatusCounts{}, both)[7],
              L"Forwarding is off: x.  The output file \"f\" is written on, not rotated.");
}

TEST(TraceStatusTest, PartsFitTheirTextsEmptyOnesTakeNoRoomAndTheLastTakesTheRest) {
    EXPECT_EQ(StatusPartEnds({50, 200, 60, 0, 0, 0, 300, 400}, 110, 10),
              (std::array<int, kTraceStatusParts>{110, 320, 430, 430, 430, 430, 740, -1}));
}

}  // namespace
}  // namespace norvale
