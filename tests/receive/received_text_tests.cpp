// A received entry's texts as they may be written: controls shown as their
// pictures, line breaks making a block where a line may start and shown
// where none may; names cut at a character; a block's further lines cut
// where they would write more than the frame allows, the cut said.

#include <gtest/gtest.h>

#include "common/utf8_text.h"
#include "forward/syslog_message.h"
#include "receive/received_text.h"

namespace norvale {
namespace {

using K = MessageKind;

TEST(ReceivedTextTest, ControlsAreShownAndBreaksMakeABlockWhereALineMayStart) {
    const struct {
        K kind;
        std::wstring text, further;
        K madeKind;
        std::wstring madeText, madeFurther;
    } rows[] = {
        {K::Plain, L"hello\r\nNorvale Shutting Down", L"", K::Block, L"hello", L"Norvale Shutting Down"},
        {K::Code2, L"a\rb\nc\r\n\r\nd", L"", K::Block, L"a", L"b\nc\n\nd"},
        {K::Code1, L"line\n", L"", K::Code1, L"line", L""},
        {K::Plain, std::wstring(L"\0\x01\x1A\x1B[2J\x1F\x7F\tx ~", 13), L"", K::Plain,
         L"\u2400\u2401\u241A\u241B[2J\u241F\u2421\tx ~", L""},
        {K::Block, L"Data\rmore", L"a\r\nb\x1A\rc\n", K::Block, L"Data", L"more\na\nb\u241A\nc\n"},
        {K::Block, L"Data\n", L"", K::Block, L"Data", L""},
        {K::Crash, L"Stack overflow at f\rm!f", L"m!main\n", K::Crash, L"Stack overflow at f", L"m!f\nm!main\n"},
        {K::EnterMethod, L"Run\r\nx", L"", K::EnterMethod, L"Run\u240D\u240Ax", L""},
        {K::ExitMethod, L"Run\x08", L"", K::ExitMethod, L"Run\u2408", L""},
        {K::Notice, std::wstring(L"a\nb\0", 4), L"", K::Notice, L"a\u240Ab\u2400", L""},
    };
    for (const auto& row : rows) {
        ReceivedMessage message;
        message.kind = row.kind;
        message.text = row.text;
        message.further = row.further;
        MakeTextWritable(message);
        EXPECT_EQ(message.kind, row.madeKind) << WideToUtf8(row.text);
        EXPECT_EQ(message.text, row.madeText) << WideToUtf8(row.text);
        EXPECT_EQ(message.further, row.madeFurther) << WideToUtf8(row.text);
    }
}

TEST(ReceivedTextTest, NamesAreCutBeforeACharacterAndMarked) {
    const std::wstring x1019(1019, L'x'), face = L"\U0001F600";
    const struct {
        std::wstring name;
        size_t most;
        std::wstring made;
    } rows[] = {
        {L"a\r\nb\t\x7F", kMaxParameter, L"a\u240D\u240Ab\t\u2421"},
        {std::wstring(1024, L'x'), kMaxParameter, std::wstring(1024, L'x')},
        {std::wstring(1025, L'x'), kMaxParameter, std::wstring(1021, L'x') + L"\u2026"},
        {std::wstring(1022, L'x') + L"\u00e9", kMaxParameter, std::wstring(1022, L'x') + L"\u00e9"},
        {std::wstring(1020, L'x') + L"\u4e2dyy", kMaxParameter, std::wstring(1020, L'x') + L"\u2026"},
        {x1019 + face + L"y", kMaxParameter, x1019 + face + L"y"},
        {x1019 + face + L"yy", kMaxParameter, x1019 + L"\u2026"},
        {std::wstring(256, L'h'), kMostReceivedHost, std::wstring(252, L'h') + L"\u2026"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ReceivedName(row.name, row.most), row.made) << row.name.size() << " characters";
    }
}

std::wstring Lines(size_t count, const std::wstring& line) {
    std::wstring lines;
    for (size_t i = 0; i < count; ++i) lines += (i == 0 ? L"" : L"\n") + line;
    return lines;
}

TEST(ReceivedTextTest, FurtherLinesAreCutWhereTheyWouldWriteMoreThanTheBound) {
    // Heading "H" after no prefix: 3 bytes; each line "x" after 2 columns: 5;
    // room kept for the note: 44.
    const std::wstring wide(20, L'\u4e2d');
    const struct {
        std::wstring further;
        size_t indent;
        size_t most;
        std::wstring cut;
        size_t count;
    } rows[] = {
        {Lines(20, L"x"), 2, 103, Lines(20, L"x"), 0},
        {Lines(20, L"x"), 2, 102, Lines(11, L"x") + L"\n\u2026 9 more lines cut", 9},
        {L"x", 2, 7, L"\u2026 1 more line cut", 1},
        {L"", 2, 0, L"", 0},
        // Bytes of UTF-8, three for each of these: a line is 64.
        {Lines(3, wide), 2, 195, Lines(3, wide), 0},
        {Lines(3, wide), 2, 194, Lines(2, wide) + L"\n\u2026 1 more line cut", 1},
        // The indent of every line, and the heading's prefix two columns less.
        {Lines(3, L"x"), 40, 3 * 43 + 41, Lines(3, L"x"), 0},
        {Lines(3, L"x"), 40, 3 * 43 + 40, Lines(1, L"x") + L"\n\u2026 2 more lines cut", 2},
    };
    for (const auto& row : rows) {
        std::wstring further = row.further;
        EXPECT_EQ(CutFurtherLines(further, L"H", row.indent, row.most), row.count) << row.most;
        EXPECT_EQ(further, row.cut) << row.most;
    }
}

}  // namespace
}  // namespace norvale
