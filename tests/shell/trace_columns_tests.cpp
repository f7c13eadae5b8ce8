// The trace window's stored column widths, old and new, and the Message
// column's share of a first open.

#include <gtest/gtest.h>

#include "shell/trace_columns.h"

namespace norvale {
namespace {

TEST(TraceColumnsTest, StoredWidthsReadOldAndNewAndHiddenColumnsKeepTheirWidth) {
    const TraceColumnLayout defaults = DefaultColumnLayout();
    TraceColumnLayout widened = defaults;
    for (size_t i = 0; i < kTraceColumnCount; ++i) widened[i].width = static_cast<int>(i) + 1;
    TraceColumnLayout mixed = defaults;
    mixed[1] = {33, false};
    mixed[kDeltaColumn] = {44, true};
    const struct {
        std::string stored;
        TraceColumnLayout layout;
    } rows[] = {
        {"", defaults},
        {"1,2,3,4,5,6,7,8,9", widened},
        {"x,-33,0,,99999,80,64,64,400,44", mixed},
    };
    for (const auto& row : rows) EXPECT_EQ(ColumnLayoutFromText(row.stored, defaults), row.layout) << row.stored;
    EXPECT_EQ(ColumnLayoutText(mixed), "76,-33,64,70,70,80,64,64,400,44,28");
    EXPECT_FALSE(defaults[kDeltaColumn].shown);
    EXPECT_EQ(MessageWidthToFill(mixed, 1000, 100), 1000 - (76 + 64 + 70 + 70 + 80 + 64 + 64 + 44 + 28));
    EXPECT_EQ(MessageWidthToFill(mixed, 300, 100), 100);
}

}  // namespace
}  // namespace norvale
