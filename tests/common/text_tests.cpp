#include <gtest/gtest.h>

#include "common/text.h"

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

}  // namespace
}  // namespace norvale
