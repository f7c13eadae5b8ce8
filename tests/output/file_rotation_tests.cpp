// When the output file rotates, what its older files are called and which go:
// the plain decisions from tables, then the file writer applying them on
// real files.

#include <gtest/gtest.h>

#include <set>

#include "output/file_output.h"
#include "output/file_rotation.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

TEST(FileRotationTest, DueWhenTheNextWholeEntryPassesTheLimitOrADayBeganButNeverForAnEmptyFile) {
    const struct {
        RotationSettings settings;
        RotatingFile file;
        uint64_t entry;
        bool due;
    } rows[] = {
        {{100, false, 3}, {90, 0}, 10, false},
        {{100, false, 3}, {90, 0}, 11, true},
        {{100, false, 3}, {0, 0}, 500, false},  // a large entry goes whole into the fresh file
        {{100, false, 3}, {1, 0}, 500, true},
        {{0, false, 3}, {1 << 30, 20261208}, 500, false},
        {{0, true, 3}, {10, 20261208}, 1, true},
        {{0, true, 3}, {10, 20261209}, 1, false},
        {{0, true, 3}, {10, 20261210}, 1, false},  // a clock put back
        {{0, true, 3}, {10, 0}, 1, false},
        {{0, true, 3}, {0, 20261208}, 1, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RotationDue(row.settings, row.file, row.entry, 20261209), row.due)
            << row.file.size << " " << row.file.lastWrittenDay << " " << row.entry;
    }
    EXPECT_EQ(DayNumber(LocalDateTime{2026, 12, 9, {}}), 20261209u);
}

TEST(FileRotationTest, OlderFilesAreNumberedBeforeTheExtensionOfTheLastComponent) {
    const std::tuple<const char*, uint32_t, const char*> rows[] = {
        {"c:\\logs\\trace.txt", 0, "c:\\logs\\trace.txt"},  {"c:\\logs\\trace.txt", 1, "c:\\logs\\trace.1.txt"},
        {"c:\\logs\\trace.a.txt", 12, "c:\\logs\\trace.a.12.txt"}, {"c:\\logs.d\\trace", 2, "c:\\logs.d\\trace.2"},
        {"/tmp/x.d/.log", 1, "/tmp/x.d/.log.1"},          {"trace", 3, "trace.3"},
    };
    for (const auto& [name, index, rotated] : rows) EXPECT_EQ(RotatedName(name, index), rotated);
}

TEST(FileRotationTest, PlanMovesUpToTheFirstGapAndDeletesWhatPassesTheKeep) {
    using Steps = std::vector<RotationStep>;
    const struct {
        uint32_t keep;
        std::set<uint32_t> existing;
        Steps steps;
    } rows[] = {
        {3, {}, {{0, 1}}},
        {3, {1, 2}, {{2, 3}, {1, 2}, {0, 1}}},
        {3, {1, 2, 3}, {{3, 0}, {2, 3}, {1, 2}, {0, 1}}},
        // Left from a larger keep or a delete that failed: tried, not needed.
        {3, {1, 2, 3, 4, 5}, {{5, 0, false}, {4, 0, false}, {3, 0}, {2, 3}, {1, 2}, {0, 1}}},
        // A rotation stopped half way goes on without deleting what it moved.
        {3, {1, 3}, {{1, 2}, {0, 1}}},
        {1, {1}, {{1, 0}, {0, 1}}},
        {0, {1, 2, 3, 4}, {{4, 5}, {3, 4}, {2, 3}, {1, 2}, {0, 1}}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RotationPlan(row.keep, [&](uint32_t index) { return row.existing.count(index) > 0; }), row.steps)
            << row.keep << " " << testing::PrintToString(row.existing);
    }
}

TEST(FileRotationTest, ANameStoppedIsTriedAgainAfterASecondAndTheProblemStaysUntilEveryNameRotated) {
    TRotationRetries retries;
    const auto start = TRotationRetries::Clock::now();
    retries.Failed("a", start, "a held");
    retries.Failed("b", start, "b held");
    EXPECT_FALSE(retries.MayTry("a", start + std::chrono::milliseconds(999)));
    EXPECT_TRUE(retries.MayTry("a", start + TRotationRetries::kPause));
    EXPECT_TRUE(retries.MayTry("c", start));
    retries.Succeeded("b");
    EXPECT_EQ(retries.Problem(), "b held");
    retries.Succeeded("a");
    EXPECT_EQ(retries.Problem(), "");
}

class RotatingFileOutputTest : public testing::Test {
protected:
    void Write(const std::string& text, const SessionNaming* session = nullptr) {
        file_.WriteLine(TraceLine{text, text, MessageKind::Plain, session});
    }
    std::string Contents(const std::string& name) { return test::ReadWholeFile(dir_.PathOf(name)); }
    // Without printing megabytes when they differ.
    void ExpectContents(const std::string& name, const std::string& expected) {
        const std::string contents = Contents(name);
        EXPECT_TRUE(contents == expected) << name << " holds " << contents.size() << " bytes: "
                                          << contents.substr(0, 40);
    }

    test::ScratchDirectory dir_;
    OutputSettings settings_;
    LocalDateTime today_ = LocalNow();
    TFileOutput file_{settings_, [this] { return today_; }};
};

TEST_F(RotatingFileOutputTest, SizeKeepsWholeEntriesAndTheNewestFilesEachTemplatedNameOnItsOwn) {
    settings_.Filename = dir_.PathOf("%PROJECT%.log");
    OptionsSettings options;
    options.FileMaxMB = 1;
    options.FileKeep = 2;
    file_.ApplyOptions(options);
    const SessionNaming a{"a", "", "", "", 0};
    const SessionNaming b{"b", "", "", "", 0};
    // With its number and line end, two make the limit exactly.
    const std::string half(512 * 1024 - 3, 'x');
    for (const char* text : {"1", "2", "3", "4"}) Write(text + half, &a);
    Write("big" + std::string(2 << 20, 'y'), &a);
    Write("b" + half, &b);
    Write("last", &a);
    file_.CloseOutputFile();
    ExpectContents("a.log", "last\r\n");
    ExpectContents("a.1.log", "big" + std::string(2 << 20, 'y') + "\r\n");
    ExpectContents("a.2.log", "3" + half + "\r\n4" + half + "\r\n");
    EXPECT_FALSE(test::FileExists(dir_.PathOf("a.3.log")));
    ExpectContents("b.log", "b" + half + "\r\n");
}

TEST_F(RotatingFileOutputTest, ANewDayByTheServersClockRotatesAlsoAFileLeftByAnEarlierRun) {
    settings_.Filename = dir_.PathOf("day.log");
    test::WriteWholeFile(settings_.Filename, "written today\r\n");
    OptionsSettings options;
    options.FileDaily = true;
    file_.ApplyOptions(options);
    Write("still today");
    today_.day = static_cast<uint16_t>(today_.day % 28 + 1);
    ++today_.year;
    Write("the next day");
    Write("the same day");
    file_.CloseOutputFile();
    EXPECT_EQ(Contents("day.1.log"), "written today\r\nstill today\r\n");
    EXPECT_EQ(Contents("day.log"), "the next day\r\nthe same day\r\n");

    TFileOutput restarted(settings_, [this] { return LocalDateTime{static_cast<uint16_t>(today_.year + 1), 1, 1, {}}; });
    restarted.ApplyOptions(options);
    restarted.WriteLine(TraceLine{"a year on", "a year on", MessageKind::Plain, nullptr});
    restarted.CloseOutputFile();
    EXPECT_EQ(Contents("day.2.log"), "written today\r\nstill today\r\n");
    EXPECT_EQ(Contents("day.1.log"), "the next day\r\nthe same day\r\n");
    EXPECT_EQ(Contents("day.log"), "a year on\r\n");
}

}  // namespace
}  // namespace norvale
