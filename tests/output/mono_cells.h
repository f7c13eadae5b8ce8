#pragma once

// A heap block of exactly the screen's size, so that the sanitizers catch any
// write outside it, read back row by row.

#include <memory>
#include <span>
#include <string>

#include "output/mono_screen.h"

namespace norvale::test {

// The row's characters, a blank cell as a space, trailing blanks cut.
inline std::string RowText(std::span<const uint8_t> cells, size_t row) {
    std::string text;
    for (size_t column = 0; column < kMonoColumns; ++column) {
        const uint8_t c = cells[(row * kMonoColumns + column) * 2];
        text += c == 0 ? ' ' : static_cast<char>(c);
    }
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// One hex digit per cell, the attribute's low nibble ("0" when blank),
// trailing blanks cut.
inline std::string RowAttributes(std::span<const uint8_t> cells, size_t row) {
    std::string text;
    for (size_t column = 0; column < kMonoColumns; ++column) {
        text += "0123456789ABCDEF"[cells[(row * kMonoColumns + column) * 2 + 1] & 0x0F];
    }
    return text.substr(0, text.find_last_not_of('0') + 1);
}

class MonoCells {
public:
    std::span<uint8_t, kMonoScreenBytes> Cells() {
        return std::span<uint8_t, kMonoScreenBytes>(block_.get(), kMonoScreenBytes);
    }
    std::string RowText(size_t row) const { return test::RowText({block_.get(), kMonoScreenBytes}, row); }
    std::string RowAttributes(size_t row) const { return test::RowAttributes({block_.get(), kMonoScreenBytes}, row); }

private:
    std::unique_ptr<uint8_t[]> block_ = std::make_unique<uint8_t[]>(kMonoScreenBytes);
};

}  // namespace norvale::test
