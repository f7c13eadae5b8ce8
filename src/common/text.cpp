#include "common/text.h"

#include <algorithm>

namespace norvale {

void AppendHexText(std::string& text, uint32_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char digits[8];
    for (int i = 7; i >= 0; --i) {
        digits[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    text.append(digits, sizeof digits);
}

std::string HexText(uint32_t value) {
    std::string text;
    AppendHexText(text, value);
    return text;
}

void AppendZeroPad(std::string& text, uint16_t value, int width) {
    // The time of day's fields are the hot case.
    if (width == 2 && value < 100) {
        const char pair[2] = {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
        text.append(pair, 2);
        return;
    }
    char digits[5];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value = static_cast<uint16_t>(value / 10);
    } while (value != 0);
    if (count < width) text.append(static_cast<size_t>(width - count), '0');
    while (count > 0) text += digits[--count];
}

std::string ZeroPad(uint16_t value, int width) {
    std::string text;
    AppendZeroPad(text, value, width);
    return text;
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

template <typename Char>
size_t NameStart(std::basic_string_view<Char> path) {
    size_t separator = path.rfind(Char('\\'));
    if (separator == std::basic_string_view<Char>::npos) separator = path.rfind(Char(':'));
    return separator == std::basic_string_view<Char>::npos ? 0 : separator + 1;
}

template <typename Char>
size_t PathPartLength(std::basic_string_view<Char> path) {
    const Char separators[] = {Char('\\'), Char(':')};
    const size_t separator = path.find_last_of(separators, std::basic_string_view<Char>::npos, 2);
    return separator == std::basic_string_view<Char>::npos ? 0 : separator + 1;
}

template <typename Char>
std::basic_string<Char> FileNameOf(std::basic_string_view<Char> path) {
    constexpr size_t kMaxFileName = 255;
    return std::basic_string<Char>(path.substr(NameStart(path), kMaxFileName));
}

template <typename Char>
std::basic_string<Char> PathPartOf(std::basic_string_view<Char> path) {
    return std::basic_string<Char>(path.substr(0, PathPartLength(path)));
}

}  // namespace

std::string FileNameOfPath(std::string_view path) { return FileNameOf(path); }
std::wstring FileNameOfPath(std::wstring_view path) { return FileNameOf(path); }
std::string PathPartOfPath(std::string_view path) { return PathPartOf(path); }
std::wstring PathPartOfPath(std::wstring_view path) { return PathPartOf(path); }

std::string AsciiLowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; });
    return lower;
}

std::string_view TrimSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::vector<std::string_view> ListEntries(std::string_view text) {
    std::vector<std::string_view> entries;
    for (std::string_view rest = text; !rest.empty();) {
        const size_t end = rest.find(';');
        const std::string_view entry = TrimSpaces(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!entry.empty()) entries.push_back(entry);
    }
    return entries;
}

}  // namespace norvale
