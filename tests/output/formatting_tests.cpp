#include <gtest/gtest.h>

#include "output/formatting.h"
#include "output/output_file_name.h"

namespace norvale {
namespace {

OutputSettings AllIncluded() {
    OutputSettings s;
    s.IncludeDateTime = s.IncludeProject = s.IncludeModule = s.IncludeClass = s.IncludeMachine =
        s.IncludeProcess = s.IncludeThread = s.IncludeCode = true;
    return s;
}

const SessionNaming kBilling{"Billing", "Core", "TInvoice", "WS12", 0x4D2};
constexpr TimeOfDay kAt{14, 3, 27, 512};

TEST(FormatPrefixTest, EveryFieldInItsFixedOrder) {
    EXPECT_EQ(FormatPrefix(AllIncluded(), kBilling, 0x1A4, 10, "TInvoice", kAt) + "Posting done",
              "14:03:27.512 Billing Core WS12 000004d2 TInvoice 0000000a 000001a4 Posting done");
}

TEST(FormatPrefixTest, AllFlagsOffGiveNoPrefix) {
    EXPECT_EQ(FormatPrefix(OutputSettings{}, kBilling, 0x1A4, 10, "TInvoice", kAt), "");
}

TEST(FormatPrefixTest, EachFieldAlone) {
    struct Row {
        bool OutputSettings::*flag;
        const char* expected;
    };
    const Row rows[] = {
        {&OutputSettings::IncludeDateTime, "14:03:27.512 "}, {&OutputSettings::IncludeProject, "Billing "},
        {&OutputSettings::IncludeModule, "Core "},           {&OutputSettings::IncludeMachine, "WS12 "},
        {&OutputSettings::IncludeProcess, "000004d2 "},      {&OutputSettings::IncludeClass, "TOther "},
        {&OutputSettings::IncludeCode, "0000000a "},         {&OutputSettings::IncludeThread, "000001a4 "},
    };
    for (const auto& row : rows) {
        OutputSettings settings;
        settings.*row.flag = true;
        EXPECT_EQ(FormatPrefix(settings, kBilling, 0x1A4, 10, "TOther", kAt), row.expected);
    }
}

TEST(FormatPrefixTest, EmptyAndZeroFieldsAreLeftOut) {
    const SessionNaming bare{"P", "", "", "", 0};
    EXPECT_EQ(FormatPrefix(AllIncluded(), bare, 0, 0, "", kAt), "14:03:27.512 P 00000000 ");
}

TEST(FormatPrefixTest, CodeIsAlwaysShownAndNegativeValuesAreTwosComplement) {
    OutputSettings settings;
    settings.IncludeCode = settings.IncludeThread = true;
    EXPECT_EQ(FormatPrefix(settings, kBilling, -2, -1, "", kAt), "ffffffff fffffffe ");
}

TEST(FormatPrefixTest, TimeOfDayIsZeroPadded) {
    OutputSettings settings;
    settings.IncludeDateTime = true;
    EXPECT_EQ(FormatPrefix(settings, kBilling, 0, 0, "", TimeOfDay{9, 5, 3, 47}), "09:05:03.047 ");
    EXPECT_EQ(FormatPrefix(settings, kBilling, 0, 0, "", TimeOfDay{0, 0, 0, 0}), "00:00:00.000 ");
}

TEST(MessageKindTest, OnlyCodesOneAndTwoHaveKindsOfTheirOwn) {
    EXPECT_EQ(MessageKindFromCode(1), MessageKind::Code1);
    EXPECT_EQ(MessageKindFromCode(2), MessageKind::Code2);
    for (int32_t code : {0, 3, -1, 6, 8, 9, 10}) EXPECT_EQ(MessageKindFromCode(code), MessageKind::Plain);
}

TEST(BlockIndentTest, IsThePrefixLengthPlusTwo) {
    EXPECT_EQ(BlockIndent(""), "  ");
    EXPECT_EQ(BlockIndent("TFoo 00000000 "), std::string(16, ' '));
}

TEST(SplitLinesTest, BreaksAtEveryKindOfLineEnd) {
    using Lines = std::vector<std::string>;
    const std::pair<std::string, Lines> rows[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\nc", {"a", "b", "c"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\n\n", {"a", ""}},
        {"\n", {""}},
        {"", {}},
        {"one line", {"one line"}},
        {std::string("a\nb\0c\nd", 7), {"a", "b"}},
        {std::string("\0abc", 4), {}},
        {"a\r", {"a"}},
    };
    for (const auto& [text, lines] : rows) EXPECT_EQ(SplitLines(text), lines) << testing::PrintToString(text);
}

TEST(HexDumpTest, ThreeBytes) {
    const uint8_t bytes[] = {0x41, 0x00, 0x7A};
    EXPECT_EQ(HexDump(bytes), std::vector<std::string>{"41 00 7a " + std::string(39, ' ') + "A.z"});
}

TEST(HexDumpTest, SeventeenBytesGiveTwoRows) {
    uint8_t bytes[17];
    for (int i = 0; i < 17; ++i) bytes[i] = static_cast<uint8_t>(0x30 + i);
    const auto rows = HexDump(bytes);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "30 31 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f 0123456789:;<=>?");
    EXPECT_EQ(rows[1], "40 " + std::string(45, ' ') + "@");
}

TEST(HexDumpTest, NoBytesGiveOneBlankRow) {
    EXPECT_EQ(HexDump({}), std::vector<std::string>{std::string(48, ' ')});
}

TEST(HexDumpTest, ControlsAndSpaceShowAsDotsHighBytesAsThemselves) {
    const uint8_t bytes[] = {0x01, 0x20, 0x21, 0x7F, 0xFF};
    EXPECT_EQ(HexDump(bytes)[0], "01 20 21 7f ff " + std::string(33, ' ') + "..!\x7F\xFF");
}

TEST(HexDumpTest, SixteenBytesFillExactlyOneRow) {
    const std::vector<uint8_t> bytes(16, 'x');
    const auto rows = HexDump(bytes);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].size(), 64u);
}

TEST(ExpandFileNameTest, PlaceholdersTakeTheSessionsFields) {
    const SessionNaming session{"P", "M", "C", "W", 0x10};
    EXPECT_EQ(ExpandFileName("c:\\logs\\%PROJECT%-%PROCESS%.txt", &session), "c:\\logs\\P-00000010.txt");
    EXPECT_EQ(ExpandFileName("%PROJECT%%MODULE%%CLASS%%MACHINE%%PROCESS%", &session), "PMCW00000010");
    EXPECT_EQ(ExpandFileName("%project%.txt", &session), "%project%.txt");
}

TEST(ExpandFileNameTest, NoticesWithoutSessionKeepTheTemplate) {
    EXPECT_EQ(ExpandFileName("c:\\logs\\%PROJECT%-%PROCESS%.txt", nullptr), "c:\\logs\\%PROJECT%-%PROCESS%.txt");
}

// In the fixed order project, module, class, machine, process: a value that
// holds a later placeholder is expanded too, one that holds an earlier one is
// not.
TEST(ExpandFileNameTest, PlaceholdersExpandInTheirFixedOrder) {
    struct Row {
        SessionNaming session;
        std::string fileNameTemplate;
        std::string expected;
    };
    const Row rows[] = {
        {{"%MACHINE%", "%PROJECT%", "", "W", 0}, "%PROJECT%_%MODULE%", "W_%PROJECT%"},
        {{"%MODULE%", "%CLASS%", "%MACHINE%", "%PROCESS%", 0x10}, "%PROJECT%", "00000010"},
    };
    for (const auto& [session, fileNameTemplate, expected] : rows) {
        EXPECT_EQ(ExpandFileName(fileNameTemplate, &session), expected) << fileNameTemplate;
    }
}

}  // namespace
}  // namespace norvale
