#pragma once

// A TCP stream of syslog messages cut into its messages (RFC 6587): each
// frame either counts its octets ("LENGTH SP MESSAGE", told by its leading
// digit) or ends at a line feed. No frame holds more than `kMaxFrame` bytes:
// a longer one is cut there, the rest of it skipped, and the cut told.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace norvale {

class TSyslogFrames {
public:
    static constexpr size_t kMaxFrame = size_t{64} << 10;

    struct Frame {
        std::string_view bytes;
        // Longer than the bound, or cut short by the stream's end.
        bool cut = false;
    };

    // Bytes as they were read; frames handed out before are gone then.
    void Add(std::string_view bytes);
    // The next whole frame, viewing the bytes until the next `Add`; none
    // until more bytes come.
    std::optional<Frame> Next();
    // At the stream's end: a message it ended before its line feed, or
    // before its counted octets (then cut).
    std::optional<Frame> Rest();

private:
    std::optional<Frame> Counted();
    std::optional<Frame> Line();
    // Skips what the bound cut off; false while there is more of it to come.
    bool Skipped();

    std::string buffer_;
    size_t start_ = 0;
    // The frame under way counts its octets: this many.
    std::optional<size_t> counted_;
    size_t skipCount_ = 0;
    bool skipLine_ = false;
};

}  // namespace norvale
