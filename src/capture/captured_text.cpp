#include "capture/captured_text.h"

namespace norvale {

CapturedLines SplitCaptured(std::string_view text) {
    const size_t end = text.find_last_not_of("\r\n");
    text = end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
    const size_t lineEnd = text.find_first_of("\r\n");
    if (lineEnd == std::string_view::npos) return {text, {}};
    const size_t next = lineEnd + (text.compare(lineEnd, 2, "\r\n") == 0 ? 2 : 1);
    return {text.substr(0, lineEnd), text.substr(next)};
}

}  // namespace norvale
