#include "output/formatting.h"

#include "common/text.h"
#include "common/utf8_text.h"

namespace norvale {

MessageKind MessageKindFromCode(int32_t code) {
    switch (code) {
        case 1: return MessageKind::Code1;
        case 2: return MessageKind::Code2;
        default: return MessageKind::Plain;
    }
}

namespace {

void AppendField(std::string& prefix, std::string_view field) {
    prefix += field;
    prefix += ' ';
}

void AppendIfPresent(std::string& prefix, bool include, std::string_view field) {
    if (include && !field.empty()) AppendField(prefix, field);
}

void AppendHexField(std::string& prefix, int32_t value) {
    AppendHexText(prefix, static_cast<uint32_t>(value));
    prefix += ' ';
}

void AppendIfNonZero(std::string& prefix, bool include, int32_t value) {
    if (include && value != 0) AppendHexField(prefix, value);
}

void AppendTimeOfDay(std::string& prefix, const TimeOfDay& time) {
    AppendZeroPad(prefix, time.hour, 2);
    prefix += ':';
    AppendZeroPad(prefix, time.minute, 2);
    prefix += ':';
    AppendZeroPad(prefix, time.second, 2);
    prefix += '.';
    AppendZeroPad(prefix, time.millisecond, 3);
    prefix += ' ';
}

}  // namespace

std::string FormatPrefix(const OutputSettings& settings, const SessionNaming& session, int32_t threadId,
                         int32_t code, std::string_view className, const TimeOfDay& time) {
    std::string prefix;
    AppendPrefix(prefix, settings, session, threadId, code, className, time);
    return prefix;
}

void AppendPrefix(std::string& prefix, const OutputSettings& settings, const SessionNaming& session, int32_t threadId,
                  int32_t code, std::string_view className, const TimeOfDay& time) {
    if (settings.IncludeDateTime) AppendTimeOfDay(prefix, time);
    AppendIfPresent(prefix, settings.IncludeProject, session.Project);
    AppendIfPresent(prefix, settings.IncludeModule, session.Module);
    AppendIfPresent(prefix, settings.IncludeMachine, session.Machine);
    AppendIfNonZero(prefix, settings.IncludeProcess, session.ProcessID);
    AppendIfPresent(prefix, settings.IncludeClass, className);
    if (settings.IncludeCode) AppendHexField(prefix, code);
    AppendIfNonZero(prefix, settings.IncludeThread, threadId);
}

std::string BlockIndent(std::string_view prefix, FileEncoding encoding) {
    const size_t width = encoding == FileEncoding::Utf8 ? Utf8Length(prefix) : prefix.size();
    return std::string(width + 2, ' ');
}

namespace {

template <typename Char>
std::vector<std::basic_string<Char>> SplitLinesOf(std::basic_string_view<Char> text) {
    static constexpr Char kBreaks[] = {'\r', '\n', 0};
    text = text.substr(0, text.find(Char{0}));
    std::vector<std::basic_string<Char>> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of(kBreaks, start);
        if (end == std::basic_string_view<Char>::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) { return SplitLinesOf(text); }
std::vector<std::wstring> SplitLines(std::wstring_view text) { return SplitLinesOf(text); }

std::vector<std::string> HexDump(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    constexpr size_t kRowBytes = 16;
    constexpr size_t kHexColumns = 48;
    std::vector<std::string> rows;
    size_t offset = 0;
    do {
        const auto row = bytes.subspan(offset, std::min(kRowBytes, bytes.size() - offset));
        std::string text;
        text.reserve(kHexColumns + kRowBytes);
        for (uint8_t byte : row) {
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0xF];
            text += ' ';
        }
        text.resize(kHexColumns, ' ');
        for (uint8_t byte : row) text += byte <= 32 ? '.' : static_cast<char>(byte);
        rows.push_back(std::move(text));
        offset += kRowBytes;
    } while (offset < bytes.size());
    return rows;
}

}  // namespace norvale
