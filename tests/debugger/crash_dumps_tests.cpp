// The names of the dumps kept of a crashing program, and which of a folder's
// files go when one more is written.

#include <gtest/gtest.h>

#include "debugger/crash_dumps.h"

namespace norvale {
namespace {

using Names = std::vector<std::string>;

TEST(DumpProgramNameTest, IsTheImagesFileNameWithoutExtensionMadeSafeAndBounded) {
    const std::string longest(kMaxDumpProgramBytes, 'a');
    // Two-byte characters that a cut at the bound would split: the bound's
    // byte is the second half of one.
    const std::string umlauts = std::string(kMaxDumpProgramBytes - 1, 'a') + "\xc3\xbc\xc3\xbc";
    const std::pair<std::string, std::string> rows[] = {
        {"C:\\Tools\\app.exe", "app"}, {"C:\\Tools\\my.app.exe", "my.app"}, {"app", "app"}, {"C:/x/app.EXE", "app"},
        {"C:\\x\\a<b>c:d\"e|f?g*h.exe", "a_b_c_d_e_f_g_h"}, {std::string("C:\\x\\a\x01") + "b\x7f.exe", "a_b_"},
        {"C:\\x\\app. .exe", "app"}, {"C:\\x\\.exe", "process"}, {"", "process"},
        {"C:\\x\\" + longest + ".exe", longest}, {"C:\\x\\" + longest + "b.exe", longest},
        {"C:\\x\\" + umlauts + ".exe", std::string(kMaxDumpProgramBytes - 1, 'a')},
        {"C:\\x\\r\xc3\xa9sum\xc3\xa9.exe", "r\xc3\xa9sum\xc3\xa9"},
    };
    for (const auto& [path, name] : rows) EXPECT_EQ(DumpProgramName(path), name) << path;
}

TEST(CrashDumpFileNameTest, IsProgramProcessIdAndTheLocalTimeToTheSecond) {
    EXPECT_EQ(CrashDumpFileName("app", 4242, {2026, 1, 2, 3, 4, 5}), "app_4242_20260102-030405.dmp");
    EXPECT_EQ(CrashDumpFileName("a_1", 4294967295u, {2026, 12, 31, 23, 59, 59}),
              "a_1_4294967295_20261231-235959.dmp");
}

struct KeepRow {
    Names names;
    std::string justWritten;
    uint32_t keep;
    Names doomed;
};

TEST(DumpsToDeleteTest, KeepsTheProgramsNewestAndTouchesNothingElse) {
    const std::string now = "app_9_20260105-000000.dmp";
    const Names three = {"app_1_20260101-000000.dmp", "app_2_20260102-000000.dmp", "app_3_20260103-000000.dmp", now};
    const KeepRow rows[] = {
        // Every count of the program's dumps around the bound.
        {three, now, 4, {}},
        {three, now, 3, {"app_1_20260101-000000.dmp"}},
        {three, now, 2, {"app_2_20260102-000000.dmp", "app_1_20260101-000000.dmp"}},
        {three, now, 1, {"app_3_20260103-000000.dmp", "app_2_20260102-000000.dmp", "app_1_20260101-000000.dmp"}},
        {three, now, 0, {"app_3_20260103-000000.dmp", "app_2_20260102-000000.dmp", "app_1_20260101-000000.dmp"}},
        {{now}, now, 1, {}},
        // The one just written stays, also when the clock went back.
        {{"app_1_20270101-000000.dmp", "app_2_20260101-000000.dmp"}, "app_2_20260101-000000.dmp", 1,
         {"app_1_20270101-000000.dmp"}},
        // Within one second the larger process id is the newer; the time
        // counts before the id.
        {{"app_7_20260101-000000.dmp", "app_12_20260101-000000.dmp", "app_3_20260101-000001.dmp", now}, now, 3,
         {"app_7_20260101-000000.dmp"}},
        // The program in another letter case and the extension in capitals
        // are its dumps; a file system without case would hold them so.
        {{"APP_1_20260101-000000.DMP", "App_2_20260102-000000.dmp", now}, now, 2, {"APP_1_20260101-000000.DMP"}},
        // Other programs, also those whose names begin with this one's or
        // that this one's begins with, and files of other patterns.
        {{"app_1_1_20260101-000000.dmp", "app_x_1_20260101-000000.dmp", "ap_1_20260101-000000.dmp",
          "apps_1_20260101-000000.dmp", "app_20260101-000000.dmp", "app__20260101-000000.dmp",
          "app_1_2026010-000000.dmp", "app_1_20260101_000000.dmp", "app_1_20260101-0000000.dmp",
          "app_1_2026a101-000000.dmp", "app_1_20260101-000000.dmp.txt", "app_1_20260101-000000.txt",
          "app_-1_20260101-000000.dmp", "app_12345678901_20260101-000000.dmp", "app_1_20260101-000000dmp",
          "_1_20260101-000000.dmp", "notes.txt", "", now},
         now, 1, {}},
        // Ten digits are an id; the program's own name may hold the pattern.
        {{"app_4294967295_20260101-000000.dmp", now}, now, 1, {"app_4294967295_20260101-000000.dmp"}},
    };
    for (const KeepRow& row : rows) {
        EXPECT_EQ(DumpsToDelete(row.names, "app", row.justWritten, row.keep), row.doomed)
            << "keep " << row.keep << ", first name " << row.names.front();
    }
    EXPECT_EQ(DumpsToDelete({"app_1_1_20260101-000000.dmp", "app_1_2_20260102-000000.dmp"}, "app_1",
                            "app_1_2_20260102-000000.dmp", 1),
              (Names{"app_1_1_20260101-000000.dmp"}));
}

TEST(DumpNoteTest, SaysWhereTheDumpWentOrWhyNot) {
    EXPECT_EQ(DumpWrittenNote("C:\\d\\app_1_20260101-000000.dmp"), "Dump written to C:\\d\\app_1_20260101-000000.dmp");
    EXPECT_EQ(DumpFailedNote("C:\\d\\x.dmp", "no room"), "Dump not written to C:\\d\\x.dmp: no room");
    EXPECT_EQ(DumpFailedNote("", "no folder"), "Dump not written: no folder");
}

}  // namespace
}  // namespace norvale
