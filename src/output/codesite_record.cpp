#include "output/codesite_record.h"

#include <charconv>
#include <cstring>

#include "common/text.h"

namespace norvale {

namespace {

void PutNumber(std::vector<uint8_t>& record, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) record[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutText(std::vector<uint8_t>& record, size_t offset, std::string_view text) {
    // An empty view may have no storage at all, which memcpy must not see.
    if (!text.empty()) std::memcpy(record.data() + offset, text.data(), text.size());
}

// A name longer than its field keeps what fits before the field's zero byte.
void PutName(std::vector<uint8_t>& record, size_t offset, size_t fieldSize, std::string_view name) {
    PutText(record, offset, name.substr(0, fieldSize - 1));
}

size_t CodeSiteMessageLength(std::string_view message) {
    return message.ends_with("\r\n") ? message.size() - 2 : message.size();
}

}  // namespace

MessageKind ViewerKindOf(MessageKind kind) { return kind == MessageKind::Crash ? MessageKind::Plain : kind; }

std::vector<uint8_t> BuildCodeSiteMessage(MessageKind kind, uint32_t tick, std::string_view message,
                                          std::string_view data, std::string_view programName,
                                          std::string_view className) {
    const size_t length = CodeSiteMessageLength(message);
    std::vector<uint8_t> record(length + data.size() + codesite::kFixedSize);
    PutNumber(record, 0, static_cast<uint32_t>(kind));
    PutNumber(record, 4, tick);
    PutNumber(record, 8, static_cast<uint32_t>(length));
    PutNumber(record, 12, static_cast<uint32_t>(data.size()));
    PutName(record, codesite::kProgramOffset, codesite::kProgramFieldSize, programName);
    PutName(record, codesite::kClassOffset, codesite::kClassFieldSize, className);
    PutText(record, codesite::kTextOffset, message.substr(0, length));
    PutText(record, codesite::kTextOffset + length, data);
    return record;
}

std::string CodeSiteListText(const std::vector<std::string>& entries) {
    std::string text;
    for (const auto& entry : entries) {
        text += entry;
        text += "\r\n";
    }
    return text;
}

std::string CodeSiteProgramName(std::string_view modulePath) {
    std::string name = FileNameOfPath(modulePath);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

bool CodeSiteFlagFromText(std::string_view text) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && value != 0;
}

}  // namespace norvale
