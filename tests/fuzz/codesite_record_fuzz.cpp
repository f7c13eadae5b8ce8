// The viewer's record for any texts: exactly L + D + 227 bytes, every field
// where it belongs, names cut inside their fields, and zeros in every byte
// that carries nothing. The record is allocated to its exact size, so a write
// past its end is caught by the address sanitizer.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "output/codesite_record.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace norvale;

uint32_t NumberAt(const std::vector<uint8_t>& record, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(record[offset + i]) << (8 * i);
    return value;
}

bool Holds(const std::vector<uint8_t>& record, size_t offset, std::string_view text) {
    return std::memcmp(record.data() + offset, text.data(), text.size()) == 0;
}

bool ZerosFrom(const std::vector<uint8_t>& record, size_t begin, size_t end) {
    return std::all_of(record.begin() + begin, record.begin() + end, [](uint8_t byte) { return byte == 0; });
}

void CheckName(const std::vector<uint8_t>& record, size_t offset, size_t fieldSize, std::string_view name) {
    const std::string_view kept = name.substr(0, fieldSize - 1);
    fuzz::Require(Holds(record, offset, kept));
    fuzz::Require(ZerosFrom(record, offset + kept.size(), offset + fieldSize));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const auto kind = static_cast<MessageKind>(input.Number());
    const auto tick = static_cast<uint32_t>(input.Number());
    const std::string message = input.Text();
    const std::string text = input.Text();
    const std::string program = input.Text();
    const std::string className = input.Rest();

    const auto record = BuildCodeSiteMessage(kind, tick, message, text, program, className);
    const bool crlf = message.size() >= 2 && message.compare(message.size() - 2, 2, "\r\n") == 0;
    const size_t length = crlf ? message.size() - 2 : message.size();
    fuzz::Require(record.size() == length + text.size() + 227);
    fuzz::Require(NumberAt(record, 0) == static_cast<uint32_t>(kind));
    fuzz::Require(NumberAt(record, 4) == tick);
    fuzz::Require(NumberAt(record, 8) == length);
    fuzz::Require(NumberAt(record, 12) == text.size());
    CheckName(record, 16, 128, program);
    CheckName(record, 144, 80, className);
    fuzz::Require(Holds(record, 224, std::string_view(message).substr(0, length)));
    fuzz::Require(Holds(record, 224 + length, text));
    fuzz::Require(ZerosFrom(record, 224 + length + text.size(), record.size()));
    return 0;
}
