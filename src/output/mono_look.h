#pragma once

#include <cstdint>

namespace norvale {

// How a monochrome adapter shows a cell of a given attribute byte.
struct MonoCellLook {
    bool Shown = true;
    bool Intense = false;
    bool Underline = false;
    bool Reverse = false;

    bool operator==(const MonoCellLook&) const = default;
};

MonoCellLook LookOfAttribute(uint8_t attribute);

// The hardware cursor as the CRT controller's registers set it: its cell and
// the scan lines (of the 14 of a character cell) it covers.
struct MonoCursorLook {
    bool Visible = false;
    int Row = 0;
    int Column = 0;
    int FirstLine = 0;
    int LastLine = 0;

    bool operator==(const MonoCursorLook&) const = default;
};

// `registers`: the 32 CRT controller registers.
MonoCursorLook CursorOfRegisters(const uint8_t* registers);

}  // namespace norvale
