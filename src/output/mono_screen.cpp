#include "output/mono_screen.h"

#include <algorithm>
#include <cstring>

namespace norvale {

namespace {

constexpr size_t kRowBytes = kMonoColumns * 2;
constexpr size_t kLastRow = kMonoRows - 1;
constexpr size_t kTabWidth = 8;
constexpr size_t kCutLength = 75;
constexpr std::string_view kCutMarker = "[...]";

}  // namespace

void TMonoScreen::NextRow() {
    column_ = 0;
    if (++row_ > kLastRow) {
        MonoScroll();
        row_ = kLastRow;
    }
}

void TMonoScreen::MonoNewLine() { NextRow(); }

void TMonoScreen::MonoScroll() {
    uint8_t* const firstScrolling = cells_.data() + kMonoFirstScrollingRow * kRowBytes;
    std::memmove(firstScrolling, firstScrolling + kRowBytes, (kLastRow - kMonoFirstScrollingRow) * kRowBytes);
    std::memset(cells_.data() + kLastRow * kRowBytes, 0, kRowBytes);
}

void TMonoScreen::Clear() {
    std::fill(cells_.begin(), cells_.end(), uint8_t{0});
    column_ = 0;
    row_ = 0;
}

void TMonoScreen::MonoWriteChars(std::string_view chars) {
    for (const char c : chars) {
        const auto code = static_cast<uint8_t>(c);
        if (code >= 32) {
            uint8_t* const cell = cells_.data() + (row_ * kMonoColumns + column_) * 2;
            // Character plus attribute as one little-endian 16-bit cell.
            cell[0] = code;
            cell[1] = static_cast<uint8_t>(attribute_ >> 8);
            if (++column_ >= kMonoColumns) NextRow();
        } else if (code == '\b') {
            if (column_ > 0) {
                --column_;
            } else if (row_ > 0) {
                column_ = kMonoColumns - 1;
                --row_;
            }
        } else if (code == '\t') {
            column_ = (column_ / kTabWidth + 1) * kTabWidth;
            if (column_ >= kMonoColumns) MonoNewLine();
        } else if (code == '\r') {
            MonoNewLine();
        }
    }
}

void TMonoDevice::Write(std::string_view text) {
    while (!text.empty()) {
        const size_t count = std::min(text.size(), kBufferSize - buffered_);
        std::memcpy(buffer_.data() + buffered_, text.data(), count);
        buffered_ += count;
        text.remove_prefix(count);
        if (buffered_ == kBufferSize) Flush();
    }
}

void TMonoDevice::WriteLine(std::string_view text) {
    Write(text);
    Write("\r\n");
    Flush();
}

void TMonoDevice::Flush() {
    screen_.MonoWriteChars(std::string_view(buffer_.data(), buffered_));
    buffered_ = 0;
}

void TMonoDevice::SetAttribute(uint16_t attribute) {
    Flush();
    screen_.SetAttribute(attribute);
}

void MonoWriteLine(TMonoDevice& device, std::string_view line) {
    if (line.size() < kMonoColumns) {
        device.WriteLine(line);
        return;
    }
    if (line.size() == kMonoColumns) {
        device.Write(line);
    } else {
        device.Write(line.substr(0, kCutLength));
        device.Write(kCutMarker);
    }
    device.Flush();
}

}  // namespace norvale
