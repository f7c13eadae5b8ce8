// The dump of any bytes: the right number of rows, each 48 hex columns and
// one character a byte, and the hex part gives back exactly the bytes.

#include <cstdlib>
#include <span>

#include "output/formatting.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

int Digit(char c) { return c >= 'a' ? c - 'a' + 10 : c - '0'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto rows = norvale::HexDump(std::span<const uint8_t>(data, size));
    norvale::fuzz::Require(rows.size() == (size == 0 ? 1 : (size - 1) / 16 + 1));
    size_t offset = 0;
    for (const auto& row : rows) {
        const size_t count = std::min<size_t>(16, size - offset);
        norvale::fuzz::Require(row.size() == 48 + count);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t byte = data[offset + i];
            norvale::fuzz::Require(static_cast<uint8_t>(Digit(row[i * 3]) * 16 + Digit(row[i * 3 + 1])) == byte);
            norvale::fuzz::Require(row[i * 3 + 2] == ' ');
            norvale::fuzz::Require(row[48 + i] == (byte <= 32 ? '.' : static_cast<char>(byte)));
        }
        for (size_t i = count * 3; i < 48; ++i) norvale::fuzz::Require(row[i] == ' ');
        offset += count;
    }
    return 0;
}
