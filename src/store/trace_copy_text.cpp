#include "store/trace_copy_text.h"

namespace norvale {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

void AppendUtf8(std::string& bytes, char32_t point) {
    if (point < 0x80) {
        bytes += static_cast<char>(point);
    } else if (point < 0x800) {
        bytes += static_cast<char>(0xC0 | point >> 6);
        bytes += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        bytes += static_cast<char>(0xE0 | point >> 12);
        bytes += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        bytes += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | point >> 18);
        bytes += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        bytes += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        bytes += static_cast<char>(0x80 | (point & 0x3F));
    }
}

}  // namespace

void AppendRowsText(std::wstring& text, const TTraceRows& rows, std::span<const uint64_t> rowNumbers) {
    for (const uint64_t row : rowNumbers) {
        if (row >= rows.First() && row < rows.End()) AppendRowLine(text, rows.Fields(row));
    }
}

std::string Utf8FromWide(std::wstring_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        // Through uint32_t: a 32-bit wchar_t is signed.
        const auto unit = static_cast<char32_t>(static_cast<uint32_t>(text[i]));
        const char32_t next = i + 1 < text.size() ? static_cast<char32_t>(static_cast<uint32_t>(text[i + 1])) : 0;
        if (IsHighSurrogate(unit) && IsLowSurrogate(next)) {
            AppendUtf8(bytes, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || unit > 0x10FFFF) {
            AppendUtf8(bytes, kReplacement);
        } else {
            AppendUtf8(bytes, unit);
        }
    }
    return bytes;
}

}  // namespace norvale
