#pragma once

// The monochrome text screen as plain memory: 4000 bytes of cells, a cursor
// and the attribute new characters get, and the 128-byte text device in front
// of it. Works on any memory it is given (the adapter's buffer, a mapping, a
// test's block); not thread-safe, every call is made under the output lock.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "output/mono_adapter_layout.h"

namespace norvale {

inline constexpr size_t kMonoColumns = monoadapter::kColumns;
inline constexpr size_t kMonoRows = monoadapter::kRows;
inline constexpr size_t kMonoScreenBytes = monoadapter::kCellBytes;

inline constexpr uint16_t kMonoNormal = 0x0200;
inline constexpr uint16_t kMonoIntense = 0x0A00;

// Rows above this one hold the banner and never scroll.
inline constexpr size_t kMonoFirstScrollingRow = 3;

class TMonoScreen {
public:
    using Cells = std::span<uint8_t, kMonoScreenBytes>;

    explicit TMonoScreen(Cells cells) : cells_(cells) {}

    void MonoWriteChars(std::string_view chars);
    void MonoNewLine();
    void MonoScroll();
    // All cells blank, cursor home.
    void Clear();

    void SetAttribute(uint16_t attribute) { attribute_ = attribute; }
    uint16_t Attribute() const { return attribute_; }
    size_t Column() const { return column_; }
    size_t Row() const { return row_; }

private:
    void NextRow();

    Cells cells_;
    size_t column_ = 0;
    size_t row_ = 0;
    uint16_t attribute_ = kMonoNormal;
};

// A text device over the screen: characters wait in a 128-byte buffer and
// reach the screen, with the attribute current then, when the buffer fills, at
// a line end, on a flush and before the attribute changes.
class TMonoDevice {
public:
    static constexpr size_t kBufferSize = 128;

    explicit TMonoDevice(TMonoScreen& screen) : screen_(screen) {}

    void Write(std::string_view text);
    // The text, CR LF, and a flush.
    void WriteLine(std::string_view text = {});
    void Flush();
    void SetAttribute(uint16_t attribute);

    TMonoScreen& Screen() { return screen_; }

private:
    TMonoScreen& screen_;
    std::array<char, kBufferSize> buffer_{};
    size_t buffered_ = 0;
};

// One finished line: shorter than a row it ends with a line end; a full row
// moves the cursor on by itself; a longer one is cut to 75 characters and
// "[...]".
void MonoWriteLine(TMonoDevice& device, std::string_view line);

}  // namespace norvale
