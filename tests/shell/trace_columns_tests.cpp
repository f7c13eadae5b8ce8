// The trace window's stored column widths, old and new, and the Message
// column's share of a first open.

#include <gtest/gtest.h>

#include <vector>

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
}

// The shown columns but Message: 76 64 70 70 80 64 64 44 28, 560 in all.
TEST(TraceColumnsTest, AFirstOpenFitsTheColumnsToTheListNarrowingTheOthersToHalfAtMost) {
    TraceColumnLayout mixed = DefaultColumnLayout();
    mixed[1] = {33, false};
    mixed[kDeltaColumn] = {44, true};
    const auto widths = [](const TraceColumnLayout& layout) {
        std::vector<int> shown;
        for (const TraceColumnWidth& column : layout) shown.push_back(column.shown ? column.width : -column.width);
        return shown;
    };
    const struct {
        int list;
        std::vector<int> widths;
    } rows[] = {
        {1000, {76, -33, 64, 70, 70, 80, 64, 64, 440, 44, 28}},
        {660, {76, -33, 64, 70, 70, 80, 64, 64, 100, 44, 28}},
        {520, {57, -33, 48, 52, 52, 60, 48, 48, 101, 33, 21}},
        {300, {38, -33, 32, 35, 35, 40, 32, 32, 100, 22, 14}},
    };
    for (const auto& row : rows) EXPECT_EQ(widths(FitColumnsToList(mixed, row.list, 100)), row.widths) << row.list;
}

}  // namespace
}  // namespace norvale
