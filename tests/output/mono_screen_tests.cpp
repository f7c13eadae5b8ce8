// The screen model: cursor moves, line rules, scrolling and the device's
// buffer.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "output/mono_screen.h"
#include "output/mono_cells.h"

namespace norvale {
namespace {

class MonoScreenTest : public testing::Test {
protected:
    std::string RowText(size_t row) const { return memory_.RowText(row); }
    std::string RowAttributes(size_t row) const { return memory_.RowAttributes(row); }
    void MoveTo(size_t row, size_t column) {
        for (size_t i = 0; i < row; ++i) screen_.MonoNewLine();
        screen_.MonoWriteChars(std::string(column, 'x'));
        ASSERT_EQ(screen_.Row(), row);
        ASSERT_EQ(screen_.Column(), column);
    }
    void ExpectCursor(size_t row, size_t column) const {
        EXPECT_EQ(screen_.Row(), row);
        EXPECT_EQ(screen_.Column(), column);
    }

    test::MonoCells memory_;
    std::span<uint8_t, kMonoScreenBytes> cells_ = memory_.Cells();
    TMonoScreen screen_{cells_};
    TMonoDevice device_{screen_};
};

TEST_F(MonoScreenTest, LinesBelowAtAndAboveTheRowWidth) {
    struct Row {
        std::string line;
        std::string shown;
    };
    const Row rows[] = {
        {std::string(79, 'a'), std::string(79, 'a')},
        // A full row moves on by itself: no empty row follows.
        {std::string(80, 'b'), std::string(80, 'b')},
        {std::string(75, 'c') + std::string(25, 'd'), std::string(75, 'c') + "[...]"},
        {std::string(81, 'e'), std::string(75, 'e') + "[...]"},
        {"", ""},
        {"last", "last"},
    };
    for (const Row& row : rows) MonoWriteLine(device_, row.line);
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(RowText(i), rows[i].shown) << "row " << i;
    ExpectCursor(std::size(rows), 0);
    EXPECT_EQ(RowText(std::size(rows)), "");
}

TEST_F(MonoScreenTest, CellsHoldTheCharacterThenTheAttribute) {
    screen_.MonoWriteChars(" \xFF");
    screen_.SetAttribute(kMonoIntense);
    screen_.MonoWriteChars("A");
    const uint8_t expected[] = {0x20, 0x02, 0xFF, 0x02, 0x41, 0x0A, 0x00, 0x00};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), cells_.begin()));
}

TEST_F(MonoScreenTest, CursorMovesOfTheControlCodes) {
    struct Row {
        size_t row, column;
        char code;
        size_t rowAfter, columnAfter;
    };
    const Row rows[] = {
        {5, 0, '\t', 5, 8},    {5, 7, '\t', 5, 8},   {5, 8, '\t', 5, 16},  {5, 75, '\t', 6, 0},
        {5, 72, '\t', 6, 0},   {24, 75, '\t', 24, 0}, {5, 0, '\b', 4, 79}, {1, 0, '\b', 0, 79}, {5, 3, '\b', 5, 2},
        {0, 0, '\b', 0, 0},    {5, 40, '\r', 6, 0},   {24, 40, '\r', 24, 0},
    };
    for (const Row& row : rows) {
        screen_.Clear();
        MoveTo(row.row, row.column);
        screen_.MonoWriteChars(std::string(1, row.code));
        EXPECT_EQ(screen_.Row(), row.rowAfter) << int(row.code) << " at " << row.row << "," << row.column;
        EXPECT_EQ(screen_.Column(), row.columnAfter) << int(row.code) << " at " << row.row << "," << row.column;
    }
}

TEST_F(MonoScreenTest, OtherControlCodesLeaveNoMarkAndDoNotMove) {
    MoveTo(4, 10);
    const auto before = std::vector<uint8_t>(cells_.begin(), cells_.end());
    std::string codes;
    for (char c = 0; c < 32; ++c) {
        if (c != '\b' && c != '\t' && c != '\r') codes += c;
    }
    screen_.MonoWriteChars(codes);
    ExpectCursor(4, 10);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), cells_.begin()));
    // So a line end written as CR LF moves on by one row.
    screen_.MonoWriteChars("\r\n");
    ExpectCursor(5, 0);
}

TEST_F(MonoScreenTest, ScrollingKeepsTheBannerRows) {
    MonoWriteLine(device_, "banner 0");
    MonoWriteLine(device_, "banner 1");
    MonoWriteLine(device_, "banner 2");
    for (int i = 1; i <= 21; ++i) MonoWriteLine(device_, "line " + std::to_string(i));
    EXPECT_EQ(RowText(3), "line 1");
    EXPECT_EQ(RowText(23), "line 21");
    ExpectCursor(24, 0);

    MonoWriteLine(device_, "line 22");
    for (size_t row = 0; row < 3; ++row) EXPECT_EQ(RowText(row), "banner " + std::to_string(row));
    for (size_t row = 3; row < 24; ++row) EXPECT_EQ(RowText(row), "line " + std::to_string(row - 1));
    EXPECT_EQ(RowText(24), "");
    ExpectCursor(24, 0);
}

TEST_F(MonoScreenTest, ScrollIsOneBlockMoveAndOneFill) {
    for (size_t i = 0; i < kMonoScreenBytes; ++i) cells_[i] = static_cast<uint8_t>(i % 251 + 1);
    std::vector<uint8_t> expected(cells_.begin(), cells_.end());
    std::copy(expected.begin() + 4 * 160, expected.end(), expected.begin() + 3 * 160);
    std::fill(expected.begin() + 24 * 160, expected.end(), uint8_t{0});
    screen_.MonoScroll();
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), cells_.begin()));
}

TEST_F(MonoScreenTest, WritingPastTheLastCellScrolls) {
    MoveTo(24, 79);
    screen_.MonoWriteChars("yz");
    EXPECT_EQ(RowText(23), std::string(79, 'x') + "y");
    EXPECT_EQ(RowText(24), "z");
    ExpectCursor(24, 1);
}

TEST_F(MonoScreenTest, DeviceHandsOnItsBufferWhenFullAtLineEndsAndOnFlush) {
    device_.Write(std::string(130, 'a'));
    EXPECT_EQ(RowText(0), std::string(80, 'a'));
    EXPECT_EQ(RowText(1), std::string(48, 'a'));
    device_.Flush();
    EXPECT_EQ(RowText(1), std::string(50, 'a'));
    device_.Write("b");
    device_.WriteLine("c");
    EXPECT_EQ(RowText(1), std::string(50, 'a') + "bc");
    ExpectCursor(2, 0);
}

TEST_F(MonoScreenTest, EachRunKeepsTheAttributeItWasWrittenWith) {
    device_.Write("ab");
    device_.SetAttribute(kMonoIntense);
    device_.Write("cd");
    device_.SetAttribute(kMonoNormal);
    device_.WriteLine("e");
    EXPECT_EQ(RowText(0), "abcde");
    EXPECT_EQ(RowAttributes(0), "22AA2");
}

TEST_F(MonoScreenTest, ClearBlanksEveryCellAndHomesTheCursor) {
    MoveTo(10, 10);
    screen_.Clear();
    ExpectCursor(0, 0);
    EXPECT_TRUE(std::all_of(cells_.begin(), cells_.end(), [](uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace norvale
