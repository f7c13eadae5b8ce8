// What the trace window's status bar says of forwarding and receiving, each
// part's texts gathered in its place, the problems last; and how its parts
// share the width.

#include <gtest/gtest.h>

#include "capture/capture_status.h"
#include "forward/forward_status.h"
#include "receive/receive_status.h"
#include "shell/trace_row_look.h"
#include "shell/tray_icon_model.h"

namespace norvale {
namespace {

TEST(TraceStatusTest, EachPartShowsItsCountsInItsPlaceAndEveryProblemLast) {
    const struct {
        ForwardStatus forward;
        ReceiveStatus receive;
        ChannelState capture;
        const wchar_t* forwardCounts;
        const wchar_t* receiveCounts;
        const wchar_t* problem;
    } rows[] = {
        {{}, {}, ChannelState::Off, L"", L"", L""},
        {{true, {0, 0, 0}, 0, ""}, {true, {}, ""}, ChannelState::Off, L"Syslog: 0 sent, 0 queued, 0 dropped",
         L"Received: 0, malformed 0, dropped 0", L""},
        // Turned off again: what it did stays in sight.
        {{false, {12, 0, 3}, 2, ""}, {false, {12, 1, 2, 3, 4, 5, 6, 7, 8}, ""}, ChannelState::Off,
         L"Syslog: 12 sent, 0 queued, 3 dropped, 2 cut",
         L"Received: 12, malformed 1, dropped 2, 3 cut, 8 blocks shortened, 4 refused, 5 connections replaced, 6 "
         L"connections closed to make room, 7 idle connections closed",
         L""},
        {{}, {true, {1, 1, 1, 1, 1, 1, 1, 1, 1}, ""}, ChannelState::Off, L"",
         L"Received: 1, malformed 1, dropped 1, 1 cut, 1 block shortened, 1 refused, 1 connection replaced, 1 "
         L"connection closed to make room, 1 idle connection closed",
         L""},
        {{false, {}, 0, "Forwarding is off: x."}, {true, {}, "Receiving is off: y."}, ChannelState::TakenByOther, L"",
         L"Received: 0, malformed 0, dropped 0",
         L"Debug output is being captured by another program  Forwarding is off: x.  Receiving is off: y."},
    };
    for (const auto& row : rows) {
        CaptureStatus capture;
        capture.session.state = row.capture;
        const ProcessStatus process{{CaptureStatusTexts(capture), ViewerStatusTexts(0), ForwardStatusTexts(row.forward),
                                     ReceiveStatusTexts(row.receive)},
                                    0};
        const auto texts = TraceStatusTexts(TraceStatusCounts{}, process);
        ASSERT_EQ(texts.size(), 9u);
        EXPECT_EQ(texts[6], row.forwardCounts);
        EXPECT_EQ(texts[7], row.receiveCounts);
        EXPECT_EQ(texts[8], row.problem);
    }
}

TEST(TraceStatusTest, PartsFitTheirTextsEmptyOnesTakeNoRoomAndTheLastTakesTheRest) {
    EXPECT_EQ(StatusPartEnds({50, 200, 60, 0, 0, 0, 300, 400}, 110, 10),
              (std::vector<int>{110, 320, 430, 430, 430, 430, 740, -1}));
}

}  // namespace
}  // namespace norvale
