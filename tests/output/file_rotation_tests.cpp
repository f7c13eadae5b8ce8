// When the output file rotates, what its older files are called and which go,
// and when a name stopped by a file in the way is tried again.

#include <gtest/gtest.h>

#include <set>

#include "output/file_rotation.h"

namespace norvale {
namespace {

TEST(FileRotationTest, DueWhenTheNextWholeEntryPassesTheLimitOrADayBeganButNeverForAnEmptyFile) {
    // The limit, FileDaily, the file's size and last day, the entry's size, and whether that rotates today.
    const std::tuple<uint64_t, bool, uint64_t, uint32_t, uint64_t, bool> rows[] = {
        {100, false, 90, 0, 10, false},          {100, false, 90, 0, 11, true},    {100, false, 0, 0, 500, false},
        {100, false, 1, 0, 500, true},           {0, false, 1 << 30, 1, 1, false}, {0, true, 10, 20261208, 1, true},
        {0, true, 10, 20261209, 1, false},       {0, true, 10, 20261210, 1, false}, {0, true, 10, 0, 1, false},
        {0, true, 0, 20261208, 1, false},
    };
    for (const auto& [limit, daily, size, day, entry, due] : rows) {
        EXPECT_EQ(RotationDue({limit, daily, 3}, {size, day}, entry, DayNumber({2026, 12, 9, {}})), due)
            << limit << " " << daily << " " << size << " " << day << " " << entry;
    }
}

TEST(FileRotationTest, OlderFilesAreNumberedBeforeTheExtensionOfTheLastComponent) {
    const std::tuple<const char*, uint32_t, const char*> rows[] = {
        {"c:\\l\\t.txt", 0, "c:\\l\\t.txt"},   {"c:\\l\\t.txt", 1, "c:\\l\\t.1.txt"}, {"/l.d/.log", 1, "/l.d/.log.1"},
        {"c:\\l\\t.a.txt", 12, "c:\\l\\t.a.12.txt"}, {"c:\\l.d\\t", 2, "c:\\l.d\\t.2"},  {"t", 3, "t.3"},
    };
    for (const auto& [name, index, rotated] : rows) EXPECT_EQ(RotatedName(name, index), rotated);
}

TEST(FileRotationTest, PlanMovesUpToTheFirstGapAndDeletesWhatPassesTheKeep) {
    using Steps = std::vector<RotationStep>;
    const std::tuple<uint32_t, std::set<uint32_t>, Steps> rows[] = {
        {3, {}, {{0, 1}}},
        {3, {1, 2}, {{2, 3}, {1, 2}, {0, 1}}},
        {3, {1, 2, 3}, {{3, 0}, {2, 3}, {1, 2}, {0, 1}}},
        // Left from a larger keep or a delete that failed: tried, not needed.
        {3, {1, 2, 3, 4, 5}, {{5, 0, false}, {4, 0, false}, {3, 0}, {2, 3}, {1, 2}, {0, 1}}},
        // A rotation stopped half way goes on without deleting what it moved.
        {3, {1, 3}, {{1, 2}, {0, 1}}},
        {1, {1}, {{1, 0}, {0, 1}}},
        {0, {1, 2, 3}, {{3, 4}, {2, 3}, {1, 2}, {0, 1}}},
    };
    for (const auto& [keep, existing, steps] : rows) {
        EXPECT_EQ(RotationPlan(keep, [&](uint32_t index) { return existing.count(index) > 0; }), steps) << keep;
    }
}

TEST(FileRotationTest, ANameStoppedIsTriedAgainAfterASecondAndTheProblemStaysUntilEveryNameRotated) {
    TRotationRetries retries;
    const auto start = TRotationRetries::Clock::now();
    retries.Failed("a", start, "a held");
    retries.Failed("b", start, "b held");
    EXPECT_FALSE(retries.MayTry("a", start + TRotationRetries::kPause - std::chrono::milliseconds(1)));
    EXPECT_TRUE(retries.MayTry("a", start + TRotationRetries::kPause));
    EXPECT_TRUE(retries.MayTry("c", start));
    retries.Succeeded("b");
    EXPECT_EQ(retries.Problem(), "b held");
    retries.Succeeded("a");
    EXPECT_EQ(retries.Problem(), "");
}

}  // namespace
}  // namespace norvale
