#pragma once

#include <string_view>

namespace norvale {

// A captured string as one entry shows it: its first line, and the lines
// after it as the entry's block (empty for a string of one line). Line ends
// at the string's end say nothing and are dropped.
struct CapturedLines {
    std::string_view first;
    std::string_view further;
};

CapturedLines SplitCaptured(std::string_view text);

}  // namespace norvale
