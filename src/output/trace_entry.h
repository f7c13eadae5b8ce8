#pragma once

// One message as the dispatch hands it to every destination: who sent it, when,
// and the text as the client sent it (UTF-16). Destinations that show 8-bit
// lines get those made once by the dispatch, in the code page or in UTF-8;
// the others take what they need from the entry itself.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/clock.h"
#include "common/session_naming.h"
#include "output/formatting.h"
#include "output/options_follower.h"

namespace norvale {

// A session's naming as the client gave it, shared by every entry of the
// session (and kept by the rows that outlive it).
struct TraceSource {
    std::wstring Project;
    std::wstring Module;
    std::wstring Class;
    std::wstring Machine;
    int32_t ProcessID = 0;
};

// Wide text as 8-bit text in `encoding`.
std::string TextIn(FileEncoding encoding, std::wstring_view text);
// The naming of a source as 8-bit texts in `encoding`, made once per session.
SessionNaming NamingIn(FileEncoding encoding, const TraceSource& source);

// A block's further lines, made from what the client sent in the form a
// destination asks for, each form at most once: text lines (`AddStrings`) or
// hex rows (`AddBinary`). Not thread-safe; it lives for one dispatch.
class TBlockLines {
public:
    static TBlockLines FromText(std::wstring_view data) { return TBlockLines(data, {}, false); }
    // The lines view the data, so it must outlive them: never a temporary.
    template <typename Text>
        requires std::is_same_v<Text, std::wstring>
    static TBlockLines FromText(Text&&) = delete;
    static TBlockLines FromBytes(std::span<const uint8_t> bytes) { return TBlockLines({}, bytes, true); }

    // In the code page, exactly as an ANSI file shows them.
    const std::vector<std::string>& Ansi() const;
    // UTF-8 as a UTF-8 file shows them: text lines from the client's UTF-16;
    // hex rows converted from the code page.
    const std::vector<std::string>& Utf8() const;
    const std::vector<std::string>& In(FileEncoding encoding) const {
        return encoding == FileEncoding::Utf8 ? Utf8() : Ansi();
    }
    // UTF-16: text lines as sent; hex rows converted from the code page.
    const std::vector<std::wstring>& Wide() const;

private:
    TBlockLines(std::wstring_view text, std::span<const uint8_t> bytes, bool binary)
        : text_(text), bytes_(bytes), binary_(binary) {}

    std::wstring_view text_;
    std::span<const uint8_t> bytes_;
    bool binary_;
    mutable std::optional<std::vector<std::string>> ansi_;
    mutable std::optional<std::vector<std::string>> utf8_;
    mutable std::optional<std::vector<std::wstring>> wide_;
};

struct TraceEntry {
    // None for the server's own notices.
    std::shared_ptr<const TraceSource> source;
    // The same naming in the code page, for the line prefix and the file name.
    const SessionNaming* session = nullptr;
    // The same naming in UTF-8, for a UTF-8 file and console.
    const SessionNaming* utf8Session = nullptr;
    // The call's class: the session's, or the one `AddClassMessage` names;
    // and the same in the code page, for the prefix (UTF-8 is made from the
    // wide text only when a UTF-8 output asks).
    std::wstring_view className;
    std::string_view ansiClassName;
    int32_t threadId = 0;
    int32_t code = 0;
    MessageKind kind = MessageKind::Plain;
    LocalDateTime time;
    // Without the method markers.
    std::wstring_view text;
    // A block's further lines; none for a single line.
    const TBlockLines* block = nullptr;
    // What fills the output file name's placeholders when it is not
    // `session`: a received entry's values, made safe for a file name.
    const SessionNaming* fileSession = nullptr;
    // Came from another machine's syslog: never sent out again, so that two
    // Norvales that forward to each other do not loop.
    bool received = false;
};

// What the process keeps of every entry, whichever server object dispatched
// it (the trace window's store, later forwarding). Called under the output
// lock, so it must not wait or block.
class IEntrySink : public IOptionsFollower {
public:
    virtual void Append(const TraceEntry& entry) noexcept = 0;
};

}  // namespace norvale
