#include <gtest/gtest.h>

#include "common/version.h"

namespace norvale {
namespace {

TEST(VersionTextTest, ShortAndLongForms) {
    const FileVersion version = FileVersionFromWords(0x00010000, 0x00010041);
    EXPECT_EQ(ShortVersionText(version), "1.0.1.65");
    EXPECT_EQ(LongVersionText(version), "Version 1.0 Release 1 Build 65");
}

TEST(VersionTextTest, NumbersAreUnsigned) {
    const FileVersion version = FileVersionFromWords(0xFFFF0002, 0x8000FFFF);
    EXPECT_EQ(ShortVersionText(version), "65535.2.32768.65535");
}

TEST(VersionTextTest, NoVersionGivesZeros) {
    EXPECT_EQ(ShortVersionText(FileVersion{}), "0.0.0.0");
    EXPECT_EQ(LongVersionText(FileVersion{}), "Version 0.0 Release 0 Build 0");
}

}  // namespace
}  // namespace norvale
