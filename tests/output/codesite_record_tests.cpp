// The viewer's record byte for byte: header, the two fixed name fields, the
// text with its zero byte and the two spare bytes.

#include <gtest/gtest.h>

#include "output/codesite_record.h"

namespace norvale {
namespace {

std::string Number(uint32_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

// `text` and zeros up to `size` bytes.
std::string Field(const std::string& text, size_t size) { return text + std::string(size - text.size(), '\0'); }

std::string Bytes(const std::vector<uint8_t>& record) { return {record.begin(), record.end()}; }

std::string Expected(MessageKind kind, uint32_t length, uint32_t dataLength, const std::string& program,
                     const std::string& className, const std::string& text) {
    return Number(static_cast<uint32_t>(kind)) + Number(0x01020304) + Number(length) + Number(dataLength) +
           Field(program, 128) + Field(className, 80) + text + std::string(3, '\0');
}

TEST(CodeSiteRecordTest, ThreeCharacterMessageIs230Bytes) {
    const auto record = BuildCodeSiteMessage(MessageKind::Code1, 0x01020304, "abc", "", "norvale", "");
    ASSERT_EQ(record.size(), 230u);
    EXPECT_EQ(Bytes(record), Expected(MessageKind::Code1, 3, 0, "norvale", "", "abc"));
}

TEST(CodeSiteRecordTest, TheViewerKnowsEveryKindButTheServersOwnCrashWhichItGetsAsAPlainMessage) {
    using enum MessageKind;
    for (const MessageKind kind : {Plain, Code1, Code2, Block, Notice, EnterMethod, ExitMethod})
        EXPECT_EQ(ViewerKindOf(kind), kind) << static_cast<int>(kind);
    EXPECT_EQ(ViewerKindOf(Crash), Plain);
}

TEST(CodeSiteRecordTest, OnlyAFinalCrLfIsLeftOut) {
    const struct {
        const char* message;
        uint32_t length;
        const char* sent;
    } rows[] = {
        {"ab\r\n", 2, "ab"},       {"ab\n", 3, "ab\n"},       {"ab\r", 3, "ab\r"},
        {"a\r\n\r\n", 3, "a\r\n"}, {"a\r\nb", 4, "a\r\nb"},   {"\r\n", 0, ""},
        {"", 0, ""},
    };
    for (const auto& row : rows) {
        const auto record = BuildCodeSiteMessage(MessageKind::Plain, 0x01020304, row.message, "", "p", "");
        EXPECT_EQ(Bytes(record), Expected(MessageKind::Plain, row.length, 0, "p", "", row.sent))
            << "message " << testing::PrintToString(std::string(row.message));
    }
}

TEST(CodeSiteRecordTest, StringListFollowsTheHeadingWithItsClassName) {
    const std::string list = CodeSiteListText({"a", "b"});
    EXPECT_EQ(list, "a\r\nb\r\n");
    // The heading's final CR LF goes, the list's stays.
    const auto record = BuildCodeSiteMessage(MessageKind::Block, 0x01020304, "H\r\n", list, "prog", "TStringList");
    EXPECT_EQ(Bytes(record), Expected(MessageKind::Block, 1, 6, "prog", "TStringList", "Ha\r\nb\r\n"));
    EXPECT_EQ(CodeSiteListText({}), "");
}

TEST(CodeSiteRecordTest, LongNamesAreCutInsideTheirFields) {
    const struct {
        size_t programLength;
        size_t classLength;
        size_t programKept;
        size_t classKept;
    } rows[] = {
        {126, 78, 126, 78}, {127, 79, 127, 79}, {128, 80, 127, 79}, {300, 200, 127, 79},
    };
    for (const auto& row : rows) {
        const auto record = BuildCodeSiteMessage(MessageKind::Plain, 0x01020304, "m", "",
                                                 std::string(row.programLength, 'p'),
                                                 std::string(row.classLength, 'c'));
        EXPECT_EQ(Bytes(record), Expected(MessageKind::Plain, 1, 0, std::string(row.programKept, 'p'),
                                          std::string(row.classKept, 'c'), "m"))
            << "program name of " << row.programLength << ", class name of " << row.classLength;
    }
}

TEST(CodeSiteRecordTest, ProgramNameHasNeitherFolderNorExtension) {
    const std::pair<const char*, const char*> rows[] = {
        {"C:\\Program Files\\Norvale\\norvale.exe", "norvale"},
        {"C:\\tools\\trace.v2.exe", "trace.v2"},
        {"C:\\my.tools\\viewer", "viewer"},
        {"D:viewer.exe", "viewer"},
        {"plain", "plain"},
    };
    for (const auto& [path, name] : rows) EXPECT_EQ(CodeSiteProgramName(path), name) << path;
}

TEST(CodeSiteRecordTest, FlagIsAnyNonZeroDecimalNumber) {
    const std::pair<const char*, bool> rows[] = {
        {"1", true},   {"-1", true},   {"42", true},  {"0", false},   {"00", false},
        {"", false},   {"yes", false}, {"1x", false}, {"0x1", false}, {"99999999999999999999", false},
    };
    for (const auto& [text, on] : rows) EXPECT_EQ(CodeSiteFlagFromText(text), on) << '"' << text << '"';
}

}  // namespace
}  // namespace norvale
