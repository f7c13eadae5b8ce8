#include "output/trace_entry.h"

#include "common/ansi_text.h"
#include "common/utf8_text.h"

namespace norvale {

std::string TextIn(FileEncoding encoding, std::wstring_view text) {
    return encoding == FileEncoding::Utf8 ? WideToUtf8(text) : WideToAnsi(text);
}

SessionNaming NamingIn(FileEncoding encoding, const TraceSource& source) {
    return SessionNaming{TextIn(encoding, source.Project), TextIn(encoding, source.Module),
                         TextIn(encoding, source.Class), TextIn(encoding, source.Machine), source.ProcessID};
}

// Text lines are split after the conversion, as they always were, so that the
// 8-bit outputs break exactly where they did.
const std::vector<std::string>& TBlockLines::Ansi() const {
    if (!ansi_) ansi_ = binary_ ? HexDump(bytes_) : SplitLines(WideToAnsi(text_));
    return *ansi_;
}

const std::vector<std::string>& TBlockLines::Utf8() const {
    if (utf8_) return *utf8_;
    if (!binary_) {
        utf8_ = SplitLines(WideToUtf8(text_));
        return *utf8_;
    }
    utf8_.emplace();
    for (const std::wstring& row : Wide()) utf8_->push_back(WideToUtf8(row));
    return *utf8_;
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
