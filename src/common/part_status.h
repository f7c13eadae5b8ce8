#pragma once

// What one part of the process shows in the trace window's status bar,
// made by the part itself: the bar gathers each part's texts once, and a
// new part joins without the bar knowing it.

#include <string>
#include <vector>

namespace norvale {

struct PartStatusTexts {
    // Each a part of the bar of its own, as many every time; an empty one
    // takes no room.
    std::vector<std::wstring> counts;
    // What keeps the part from running as asked; empty while nothing does.
    std::wstring problem;
};

}  // namespace norvale
