// The process's screen under Wine, where no driver is: the virtual adapter's
// named mapping, as another program opening it by name sees it.

#include <gtest/gtest.h>

#include <windows.h>

#include "common/win32_resources.h"
#include "output/mono_cells.h"
#include "output/mono_output.h"

namespace norvale {
namespace {

using namespace monoadapter;

class MonoVirtualAdapterTest : public testing::Test {
protected:
    // A view of the mapping as a viewer opens it; null when there is none.
    static UniqueHandle OpenMapping() { return UniqueHandle(OpenFileMappingA(FILE_MAP_READ, FALSE, kMappingName)); }
};

TEST_F(MonoVirtualAdapterTest, ScreenIsTheNamedMappingWithTheCursorHidden) {
    const auto output = MakeMonoScreen();
    ASSERT_FALSE(output->Unavailable());
    const UniqueHandle mapping = OpenMapping();
    ASSERT_TRUE(mapping);
    const auto* view = static_cast<const uint8_t*>(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, kMappingSize));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[kCrtIndexOffset], kCursorEndRegister);
    EXPECT_EQ(view[kCrtRegistersOffset + kCursorStartRegister], 0x10);
    EXPECT_EQ(view[kCrtRegistersOffset + kCursorEndRegister], 0x10);

    output->Banner();
    const std::string line = "traced";
    output->WriteLine(TraceLine{line, line});
    const std::span<const uint8_t> cells(view, kCellBytes);
    EXPECT_EQ(test::RowText(cells, 0), "brantwick Norvale 0.0.0.0");
    EXPECT_EQ(test::RowText(cells, 1), "running Windows NT 6.1.7601 (Service Pack 1)");
    EXPECT_EQ(test::RowText(cells, 2), "");
    EXPECT_EQ(test::RowText(cells, 3), "traced");
    UnmapViewOfFile(view);

    // The output keeps the mapping and the unit's mutex while it lives.
    EXPECT_TRUE(OpenMapping());
    EXPECT_TRUE(UniqueHandle(OpenMutexA(SYNCHRONIZE, FALSE, "Vexdebug unit mutex")));
}

TEST_F(MonoVirtualAdapterTest, ASecondUnitOpensTheSameMapping) {
    const auto first = MakeMonoScreen();
    const auto second = MakeMonoScreen();
    ASSERT_FALSE(second->Unavailable());
    first->Banner();
    const UniqueHandle mapping = OpenMapping();
    ASSERT_TRUE(mapping);
    const auto* view = static_cast<const uint8_t*>(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, kMappingSize));
    ASSERT_NE(view, nullptr);
    const std::string firstLine = "from the first";
    first->WriteLine(TraceLine{firstLine, firstLine});
    // The second unit's cursor starts at the top.
    const std::string secondLine(79, 's');
    second->WriteLine(TraceLine{secondLine, secondLine});
    EXPECT_EQ(test::RowText({view, kCellBytes}, 0), secondLine);
    EXPECT_EQ(test::RowText({view, kCellBytes}, 1), "running Windows NT 6.1.7601 (Service Pack 1)");
    EXPECT_EQ(test::RowText({view, kCellBytes}, 3), "from the first");
    UnmapViewOfFile(view);
}

}  // namespace
}  // namespace norvale
