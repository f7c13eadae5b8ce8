#include "output/trace_entry.h"

#include "common/ansi_text.h"

namespace norvale {

// Text lines are split after the conversion, as they always were, so that the
// 8-bit outputs break exactly where they did.
const std::vector<std::string>& TBlockLines::Ansi() const {
    if (!ansi_) ansi_ = binary_ ? HexDump(bytes_) : SplitLines(WideToAnsi(text_));
    return *ansi_;
}

const std::vector<std::wstring>& TBlockLines::Wide() const {
    if (wide_) return *wide_;
    if (!binary_) {
        wide_ = SplitLines(text_);
        return *wide_;
    }
    wide_.emplace();
    for (const std::string& row : Ansi()) wide_->push_back(AnsiToWide(row));
    return *wide_;
}

}  // namespace norvale
