#pragma once

// Where capture stands, and what the Options page and the trace window's
// status bar say of it, decided in plain code.

#include <cstdint>
#include <string>

#include "common/part_status.h"

namespace norvale {

enum class ChannelState : uint32_t {
    Off,
    Capturing,
    // Another reader holds the names: strings would go to one of the two at
    // random, so this process stays out.
    TakenByOther,
    // Creating global names needs a privilege the process lacks.
    NotPermitted,
    Failed,
};

// One stream of debug output: the session's names or the global ones.
struct ChannelStatus {
    ChannelState state = ChannelState::Off;
    // The system's error when `Failed`.
    uint32_t error = 0;
};

struct CaptureStatus {
    ChannelStatus session;
    ChannelStatus global;
    // Every string read, and those a full queue dropped before dispatch.
    uint64_t captured = 0;
    uint64_t dropped = 0;
};

// What keeps capture from running as asked; empty when nothing does. The
// session's problem comes first, as it is the one the user meets.
std::wstring CaptureProblemText(const CaptureStatus& status);

// The status bar's capture parts: none while capture has never run.
struct CaptureCountTexts {
    std::wstring captured;
    std::wstring dropped;
};
CaptureCountTexts CaptureCountsOf(const CaptureStatus& status);

// Both counts and the problem, as the status bar gathers them.
PartStatusTexts CaptureStatusTexts(const CaptureStatus& status);

}  // namespace norvale
