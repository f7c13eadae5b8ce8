#include "receive/syslog_frames.h"

#include <algorithm>

namespace norvale {

namespace {

// A length that no frame can reach has more digits than this.
constexpr size_t kMostLengthDigits = 10;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void TSyslogFrames::Add(std::string_view bytes) {
    buffer_.erase(0, start_);
    start_ = 0;
    buffer_ += bytes;
}

bool TSyslogFrames::Skipped() {
    const std::string_view held = std::string_view(buffer_).substr(start_);
    if (skipCount_ > 0) {
        const size_t skipped = std::min(skipCount_, held.size());
        start_ += skipped;
        skipCount_ -= skipped;
        return skipCount_ == 0;
    }
    if (skipLine_) {
        const size_t end = held.find('\n');
        start_ += end == std::string_view::npos ? held.size() : end + 1;
        skipLine_ = end == std::string_view::npos;
    }
    return !skipLine_;
}

std::optional<TSyslogFrames::Frame> TSyslogFrames::Next() {
    while (Skipped()) {
        const std::string_view held = std::string_view(buffer_).substr(start_);
        if (held.empty()) return std::nullopt;
        if (!counted_ && held.front() >= '1' && held.front() <= '9') {
            // Octet counting when the digits end in a space; any other text
            // is a line of its own, which the parser then refuses.
            size_t digits = 0;
            while (digits < held.size() && digits <= kMostLengthDigits && IsDigit(held[digits])) ++digits;
            if (digits == held.size() && digits <= kMostLengthDigits) return std::nullopt;
            if (digits <= kMostLengthDigits && held[digits] == ' ') {
                counted_ = std::stoull(std::string(held.substr(0, digits)));
                start_ += digits + 1;
            }
        }
        std::optional<Frame> frame = counted_ ? Counted() : Line();
        // A line feed alone, between frames, is no message.
        if (!frame || !frame->bytes.empty() || frame->cut) return frame;
    }
    return std::nullopt;
}

std::optional<TSyslogFrames::Frame> TSyslogFrames::Counted() {
    const std::string_view held = std::string_view(buffer_).substr(start_);
    const size_t length = *counted_;
    const size_t kept = std::min(length, kMaxFrame);
    if (held.size() < kept) return std::nullopt;
    counted_.reset();
    start_ += kept;
    skipCount_ = length - kept;
    return Frame{held.substr(0, kept), length > kMaxFrame};
}

std::optional<TSyslogFrames::Frame> TSyslogFrames::Line() {
    const std::string_view held = std::string_view(buffer_).substr(start_);
    const size_t end = held.substr(0, kMaxFrame + 1).find('\n');
    if (end == std::string_view::npos) {
        if (held.size() <= kMaxFrame) return std::nullopt;
        start_ += kMaxFrame;
        skipLine_ = true;
        return Frame{held.substr(0, kMaxFrame), true};
    }
    start_ += end + 1;
    std::string_view line = held.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return Frame{line, false};
}

std::optional<TSyslogFrames::Frame> TSyslogFrames::Rest() {
    if (!Skipped()) return std::nullopt;
    const std::string_view held = std::string_view(buffer_).substr(start_);
    start_ = buffer_.size();
    const bool counted = counted_.has_value();
    counted_.reset();
    if (held.empty() && !counted) return std::nullopt;
    return Frame{held, counted};
}

}  // namespace norvale
