// The lines of any AddStrings text: no line holds a line break or a NUL, and
// together with their breaks they are never longer than the text.

#include <cstdlib>
#include <string_view>

#include "output/formatting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto lines = norvale::SplitLines(text);
    size_t total = 0;
    for (const auto& line : lines) {
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
        total += line.size() + 1;
    }
    if (total > text.size() + (lines.empty() ? 0 : 1)) std::abort();
    return 0;
}
