#include <gtest/gtest.h>

#include <algorithm>

#include "common/ansi_text.h"
#include "common/text.h"
#include "common/utf8_text.h"

namespace norvale {
namespace {

TEST(HexTextTest, GivesEightLowerCaseDigitsInTwosComplement) {
    EXPECT_EQ(HexText(0), "00000000");
    EXPECT_EQ(HexText(1234), "000004d2");
    EXPECT_EQ(HexText(0x1A4), "000001a4");
    EXPECT_EQ(HexText(static_cast<uint32_t>(-1)), "ffffffff");
    EXPECT_EQ(HexText(static_cast<uint32_t>(-1234)), "fffffb2e");
    EXPECT_EQ(HexText(0xDEADBEEF), "deadbeef");
}

TEST(ZeroPadTest, PadsToWidthAndNeverCuts) {
    EXPECT_EQ(ZeroPad(5, 2), "05");
    EXPECT_EQ(ZeroPad(47, 3), "047");
    EXPECT_EQ(ZeroPad(0, 3), "000");
    EXPECT_EQ(ZeroPad(12345, 3), "12345");
    EXPECT_EQ(ZeroPad(65535, 0), "65535");
}

TEST(ReplaceAllTest, ReplacesEveryOccurrence) {
    std::string text = "a%X%b%X%";
    ReplaceAll(text, "%X%", "yy");
    EXPECT_EQ(text, "ayybyy");
}

TEST(ReplaceAllTest, NeverRescansTheReplacement) {
    std::string text = "aa";
    ReplaceAll(text, "a", "aa");
    EXPECT_EQ(text, "aaaa");

    std::string placeholder = "%P%";
    ReplaceAll(placeholder, "%P%", "%P%%P%");
    EXPECT_EQ(placeholder, "%P%%P%");
}

TEST(ReplaceAllTest, IsCaseSensitiveAndLeavesEmptyPatternAlone) {
    std::string text = "%project% %PROJECT%";
    ReplaceAll(text, "%PROJECT%", "P");
    EXPECT_EQ(text, "%project% P");
    ReplaceAll(text, "", "x");
    EXPECT_EQ(text, "%project% P");
}

TEST(YesNoTextTest, NamesTheFlag) {
    EXPECT_STREQ(YesNoText(true), "Yes");
    EXPECT_STREQ(YesNoText(false), "No");
}

struct PathCase {
    const char* path;
    const char* fileName;
    const char* pathPart;
};

TEST(PathTest, SplitsAtLastBackslashElseColon) {
    const PathCase cases[] = {
        {"C:\\Windows\\System32\\kernel32.dll", "kernel32.dll", "C:\\Windows\\System32\\"},
        {"C:kernel32.dll", "kernel32.dll", "C:"},
        {"kernel32.dll", "kernel32.dll", ""},
        {"C:\\dir:stream\\a.exe", "a.exe", "C:\\dir:stream\\"},
        {"\\\\server\\share\\", "", "\\\\server\\share\\"},
        {"dir\\x:y", "x:y", "dir\\x:"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileNameOfPath(c.path), c.fileName) << c.path;
        EXPECT_EQ(PathPartOfPath(c.path), c.pathPart) << c.path;
    }
}

TEST(PathTest, FileNameIsCutTo255Characters) {
    const std::string longName(300, 'n');
    EXPECT_EQ(FileNameOfPath("C:\\" + longName), std::string(255, 'n'));
    EXPECT_EQ(FileNameOfPath(longName), std::string(255, 'n'));
    EXPECT_EQ(PathPartOfPath("C:\\" + longName), "C:\\");
}

TEST(AsciiLowerCaseTest, ChangesOnlyAsciiLetters) {
    EXPECT_EQ(AsciiLowerCase("TRUE Yes \xC4Z"), "true yes \xC4z");
}

TEST(Utf8TextTest, EncodesPairsAndReplacesLoneSurrogates) {
    const std::u16string units = u"Gr\u00FC\u00DFe \u2013 \u4E2D\u6587 \u2713 \U0001F600";
    const std::string bytes = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 \xE4\xB8\xAD\xE6\x96\x87 \xE2\x9C\x93 \xF0\x9F\x98\x80";
    EXPECT_EQ(WideToUtf8(std::wstring(units.begin(), units.end())), bytes);
    const std::wstring lone = {L'a', wchar_t(0xD800), L'b', wchar_t(0xDC00), wchar_t(0xD83D)};
    EXPECT_EQ(WideToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(WideToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(WideToUtf8(Utf8ToWide(bytes)), bytes);
}

TEST(Utf8TextTest, DecodesAndReplacesWhatIsNoUtf8) {
    const struct {
        std::string bytes;
        int replacements;
    } bad[] = {{"\xC3", 1}, {"\xC0\x80", 2}, {"\xED\xA0\x80", 1}, {"\xE4\xB8" "a", 1}, {"\xF5\x80\x80\x80", 4}};
    for (const auto& row : bad) {
        const std::wstring wide = Utf8ToWide(row.bytes);
        EXPECT_EQ(std::count(wide.begin(), wide.end(), wchar_t(0xFFFD)), row.replacements) << row.bytes;
    }
    EXPECT_EQ(Utf8Length("Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80"), 7u);
    EXPECT_EQ(AnsiToUtf8("plain"), "plain");
    EXPECT_EQ(Utf8ToWide(AnsiToUtf8("\xFC")), AnsiToWide("\xFC"));
}

}  // namespace
}  // namespace norvale
