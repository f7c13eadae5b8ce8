#include <gtest/gtest.h>

#include "common/version.h"
#include "tests_support/paths.h"

namespace norvale {
namespace {

TEST(VersionResourceTest, ReadsTheProgramsFileVersion) {
    EXPECT_EQ(ShortVersionText(ReadFileVersion(test::NorvaleExePath())), NORVALE_VERSION_TEXT);
}

TEST(VersionResourceTest, FileWithoutResourceGivesZeros) {
    // The test program itself carries no version resource.
    EXPECT_EQ(ShortVersionText(OwnFileVersion()), "0.0.0.0");
    EXPECT_EQ(ShortVersionText(ReadFileVersion("C:\\no\\such\\file.exe")), "0.0.0.0");
}

}  // namespace
}  // namespace norvale
