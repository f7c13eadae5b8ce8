// How the screen viewer shows the adapter's cells and cursor.

#include <gtest/gtest.h>

#include <array>

#include "output/mono_adapter_layout.h"
#include "output/mono_look.h"

namespace norvale {
namespace {

TEST(MonoLookTest, AttributesAsTheAdapterShowsThem) {
    struct Row {
        uint8_t attribute;
        MonoCellLook look;
    };
    const Row rows[] = {
        {0x02, {true, false, false, false}},  {0x0A, {true, true, false, false}},
        {0x07, {true, false, false, false}},  {0x0F, {true, true, false, false}},
        {0x01, {true, false, true, false}},   {0x09, {true, true, true, false}},
        {0x70, {true, false, false, true}},   {0x78, {true, true, false, true}},
        {0x00, {false, false, false, false}}, {0x08, {false, false, false, false}},
        {0x80, {false, false, false, false}}, {0x88, {false, false, false, false}},
    };
    for (const auto& row : rows) EXPECT_EQ(LookOfAttribute(row.attribute), row.look) << int(row.attribute);
}

TEST(MonoLookTest, CursorFromTheControllerRegisters) {
    using namespace monoadapter;
    std::array<uint8_t, kCrtRegisterCount> registers{};
    const auto cursor = [&](uint8_t start, uint8_t end, int position) {
        registers[kCursorStartRegister] = start;
        registers[kCursorEndRegister] = end;
        registers[kCursorHighRegister] = static_cast<uint8_t>(position >> 8);
        registers[kCursorLowRegister] = static_cast<uint8_t>(position & 0xFF);
        return CursorOfRegisters(registers.data());
    };
    // What the server writes at start: scan lines 16, below the cell.
    EXPECT_FALSE(cursor(0x10, 0x10, 0).Visible);
    EXPECT_FALSE(cursor(0x2B, 0x0C, 0).Visible) << "switched off";
    EXPECT_FALSE(cursor(0x0C, 0x0B, 0).Visible) << "start after end";
    EXPECT_FALSE(cursor(0x0B, 0x0C, 2000).Visible) << "off the screen";
    EXPECT_EQ(cursor(0x0B, 0x0C, 81), (MonoCursorLook{true, 1, 1, 11, 12}));
    EXPECT_EQ(cursor(0x00, 0x1F, 1999), (MonoCursorLook{true, 24, 79, 0, 13}));
}

}  // namespace
}  // namespace norvale
