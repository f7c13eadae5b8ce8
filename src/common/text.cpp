#include "common/text.h"

#include <algorithm>

namespace norvale {

std::string HexText(uint32_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i) {
        text[static_cast<size_t>(i)] = kDigits[value & 0xF];
        value >>= 4;
    }
    return text;
}

std::string ZeroPad(uint16_t value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) {
        digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    }
    return digits;
}

void ReplaceAll(std::string& text, std::string_view pattern, std::string_view replacement) {
    // An empty pattern would match everywhere and never let the scan advance.
    if (pattern.empty()) return;
    size_t position = text.find(pattern);
    while (position != std::string::npos) {
        text.replace(position, pattern.size(), replacement);
        position = text.find(pattern, position + replacement.size());
    }
}

const char* YesNoText(bool flag) { return flag ? "Yes" : "No"; }

namespace {

size_t NameStart(std::string_view path) {
    size_t separator = path.rfind('\\');
    if (separator == std::string_view::npos) separator = path.rfind(':');
    return separator == std::string_view::npos ? 0 : separator + 1;
}

size_t PathPartLength(std::string_view path) {
    const size_t separator = path.find_last_of("\\:");
    return separator == std::string_view::npos ? 0 : separator + 1;
}

}  // namespace

std::string FileNameOfPath(std::string_view path) {
    constexpr size_t kMaxFileName = 255;
    return std::string(path.substr(NameStart(path), kMaxFileName));
}

std::string PathPartOfPath(std::string_view path) {
    return std::string(path.substr(0, PathPartLength(path)));
}

std::string AsciiLowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; });
    return lower;
}

}  // namespace norvale
