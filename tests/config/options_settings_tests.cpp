// The `Options` key: what a `WindowLines` text counts, and its values by name.

#include <gtest/gtest.h>

#include "config/options_settings.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

TEST(WindowLinesFromTextTest, ANumberIsTakenToItsBoundsAnyOtherTextIsTheDefault) {
    const std::pair<const char*, uint32_t> rows[] = {
        {"5000", 5000},  {"1000", 1000},   {"999", 1000}, {"10000000", 10000000}, {"10000001", 10000000},
        {" 5000 ", 5000}, {"+5000", 5000}, {"-5", 1000},  {"99999999999999999999", 10000000}, {"", 100000},
        {"+", 100000},   {"5000 rows", 100000}, {"5 000", 100000}, {"\t5000", 100000},
    };
    for (const auto& [text, lines] : rows) EXPECT_EQ(WindowLinesFromText(text), lines) << '"' << text << '"';
}

TEST(CountFromTextTest, DigitsAreTakenToTheMaximumAnyOtherTextIsTheFallback) {
    const std::pair<const char*, uint32_t> rows[] = {
        {"0", 0}, {" 12 ", 12}, {"99", 99}, {"100", 99}, {"99999999999999999999", 99},
        {"", 7},  {"+5", 7},    {"-5", 7},  {"5 MB", 7}, {"0x10", 7},
    };
    for (const auto& [text, count] : rows) EXPECT_EQ(CountFromText(text, 7, 99), count) << '"' << text << '"';
}

TEST(OptionsSettingsTest, NoKeyGivesTheDefaultsAndEachValueIsReadUnderItsName) {
    test::ScratchSettings key;
    const OptionsLocation location{key.Location().root, key.Location().subkey};
    const OptionsSettings defaults = ReadOptionsSettings(location);
    EXPECT_TRUE(defaults.ToWindow);
    EXPECT_EQ(defaults.WindowLines, 100000u);
    EXPECT_FALSE(defaults.CaptureDebugOutput || defaults.CaptureGlobal || defaults.UnicodeNames ||
                 defaults.StackOnFirstChance);
    EXPECT_EQ(defaults.fileEncoding, FileEncoding::Ansi);
    EXPECT_FALSE(defaults.ToSyslog);
    EXPECT_EQ(defaults.SyslogServer, "udp://127.0.0.1:514");
    EXPECT_FALSE(defaults.ListenSyslog);
    EXPECT_EQ(defaults.ListenAddress, "");
    EXPECT_EQ(defaults.ListenAllow, "");
    key.Set("ToWindow", "0");
    key.Set("WindowLines", "5000");
    key.Set("CaptureDebugOutput", "1");
    key.Set("CaptureGlobal", "1");
    key.Set("UnicodeNames", "1");
    key.Set("StackOnFirstChance", "1");
    key.Set("FileEncoding", "utf-8");
    key.Set("ToSyslog", "1");
    key.Set("SyslogServer", "tcp://logs");
    key.Set("ListenSyslog", "1");
    key.Set("ListenAddress", "tcp://0.0.0.0:514");
    key.Set("ListenAllow", "10.0.0.0/8; ::1");
    const OptionsSettings read = ReadOptionsSettings(location);
    EXPECT_FALSE(read.ToWindow);
    EXPECT_EQ(read.WindowLines, 5000u);
    EXPECT_TRUE(read.CaptureDebugOutput && read.CaptureGlobal && read.UnicodeNames && read.StackOnFirstChance);
    EXPECT_EQ(read.fileEncoding, FileEncoding::Utf8);
    EXPECT_TRUE(read.ToSyslog);
    EXPECT_EQ(read.SyslogServer, "tcp://logs");
    EXPECT_TRUE(read.ListenSyslog);
    EXPECT_EQ(read.ListenAddress, "tcp://0.0.0.0:514");
    EXPECT_EQ(read.ListenAllow, "10.0.0.0/8; ::1");
}

TEST(OptionsSettingsTest, DumpsAreOffByDefaultAndTheirFolderAndCountFallBackToTheirDefaults) {
    test::ScratchSettings key;
    const auto read = [&] { return ReadOptionsSettings({key.Location().root, key.Location().subkey}); };
    EXPECT_FALSE(read().DumpOnCrash);
    EXPECT_EQ(read().DumpFolder, "%LOCALAPPDATA%\\CrashDumps");
    EXPECT_EQ(read().DumpKeep, 10u);
    key.Set("DumpOnCrash", "1");
    EXPECT_TRUE(read().DumpOnCrash);
    for (const char* folder : {"", "  ", "D:\\dumps"}) {
        key.Set("DumpFolder", folder);
        EXPECT_EQ(read().DumpFolder, *folder == 'D' ? folder : "%LOCALAPPDATA%\\CrashDumps") << '"' << folder << '"';
    }
    for (const auto& [text, keep] : {std::pair{"0", 1u}, {"1", 1u}, {"2", 2u}, {"1000", 1000u}, {"1001", 1000u},
                                     {"", 10u}, {"-1", 10u}, {"ten", 10u}}) {
        key.Set("DumpKeep", text);
        EXPECT_EQ(read().DumpKeep, keep) << '"' << text << '"';
    }
}

TEST(FileEncodingFromTextTest, OnlyUtf8InAnyCaseChoosesIt) {
    for (const char* text : {"UTF-8", "utf-8", "Utf-8"}) EXPECT_EQ(FileEncodingFromText(text), FileEncoding::Utf8);
    for (const char* text : {"", "ANSI", "UTF8", " UTF-8", "UTF-16"}) {
        EXPECT_EQ(FileEncodingFromText(text), FileEncoding::Ansi) << text;
    }
}

}  // namespace
}  // namespace norvale
