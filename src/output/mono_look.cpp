#include "output/mono_look.h"

#include "output/mono_adapter_layout.h"

namespace norvale {

namespace {

constexpr int kScanLinesPerCell = 14;
constexpr uint8_t kCursorOff = 0x20;
constexpr uint8_t kScanLineMask = 0x1F;

}  // namespace

MonoCellLook LookOfAttribute(uint8_t attribute) {
    MonoCellLook look;
    const uint8_t colours = attribute & 0x77;
    if (colours == 0x00) {
        look.Shown = false;
        return look;
    }
    look.Intense = (attribute & 0x08) != 0;
    if (colours == 0x70) {
        look.Reverse = true;
        return look;
    }
    look.Underline = (attribute & 0x07) == 0x01;
    return look;
}

MonoCursorLook CursorOfRegisters(const uint8_t* registers) {
    using namespace monoadapter;
    MonoCursorLook cursor;
    const uint8_t start = registers[kCursorStartRegister];
    const uint8_t end = registers[kCursorEndRegister];
    const int first = start & kScanLineMask;
    const int last = end & kScanLineMask;
    const int position = registers[kCursorHighRegister] << 8 | registers[kCursorLowRegister];
    // A first scan line below the cell (the server writes 16) hides it.
    cursor.Visible = (start & kCursorOff) == 0 && first <= last && first < kScanLinesPerCell &&
                     position < kColumns * kRows;
    if (!cursor.Visible) return cursor;
    cursor.Row = position / kColumns;
    cursor.Column = position % kColumns;
    cursor.FirstLine = first;
    cursor.LastLine = last < kScanLinesPerCell ? last : kScanLinesPerCell - 1;
    return cursor;
}

}  // namespace norvale
