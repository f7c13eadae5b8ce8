// The banner's cells, row by row, for each row of the platform table.

#include <gtest/gtest.h>

#include <string>

#include "output/mono_banner.h"
#include "output/mono_cells.h"

namespace norvale {
namespace {

class MonoBannerTest : public testing::Test {
protected:
    test::MonoCells memory_;
    TMonoScreen screen_{memory_.Cells()};
    TMonoDevice device_{screen_};
};

TEST_F(MonoBannerTest, WineReportsItselfAsNt61ServicePack1) {
    MonoBanner(device_, "1.0.1.65", PlatformVersion{2, 6, 1, 7601, "Service Pack 1"});
    EXPECT_EQ(memory_.RowText(0), "brantwick Norvale 1.0.1.65");
    EXPECT_EQ(memory_.RowAttributes(0), "2222AAAAA" + std::string(17, '2'));
    EXPECT_EQ(memory_.RowText(1), "running Windows NT 6.1.7601 (Service Pack 1)");
    EXPECT_EQ(memory_.RowAttributes(1), std::string(29, '2') + std::string(14, 'A') + "2");
    EXPECT_EQ(memory_.RowText(2), "");
    for (size_t row = 2; row < kMonoRows; ++row) EXPECT_EQ(memory_.RowAttributes(row), "") << row;
    EXPECT_EQ(screen_.Row(), 3u);
    EXPECT_EQ(screen_.Column(), 0u);
    EXPECT_EQ(screen_.Attribute(), kMonoNormal);
}

TEST_F(MonoBannerTest, PlatformRows) {
    struct Row {
        PlatformVersion platform;
        const char* shown;
    };
    const Row rows[] = {
        {{1, 4, 0, 950, ""}, "running Windows 95 4.0.950 ()"},
        {{1, 4, 10, 0x040A07CE, " A "}, "running Windows 98 4.10.1998 (A)"},
        {{1, 4, 90, 3000, "  "}, "running Unknown Windows 95 4.90.3000 ()"},
        {{1, 5, 0, 1, "x"}, "running 5.0.1 (x)"},
        {{2, 10, 0, 19045, ""}, "running Windows NT 10.0.19045 ()"},
        {{0, 3, 1, 0, ""}, "running Unknown Windows3.1.0 ()"},
        {{3, 4, 0, 0x1FFFF, "CE"}, "running Unknown Windows4.0.65535 (CE)"},
    };
    for (const Row& row : rows) {
        MonoBanner(device_, "0.0.0.0", row.platform);
        EXPECT_EQ(memory_.RowText(0), "brantwick Norvale 0.0.0.0");
        EXPECT_EQ(memory_.RowText(1), row.shown);
        EXPECT_EQ(memory_.RowText(2), "");
    }
}

TEST_F(MonoBannerTest, ServicePackIsTheOnlyIntenseTextOfItsRow) {
    MonoBanner(device_, "0.0.0.0", PlatformVersion{2, 5, 1, 2600, "  SP 3  "});
    EXPECT_EQ(memory_.RowText(1), "running Windows NT 5.1.2600 (SP 3)");
    EXPECT_EQ(memory_.RowAttributes(1), std::string(29, '2') + "AAAA2");
}

TEST_F(MonoBannerTest, ClearsWhatWasThereAndLinesFollowOnRow3) {
    for (int i = 0; i < 30; ++i) MonoWriteLine(device_, std::string(79, 'x'));
    device_.Write("pending");
    MonoBanner(device_, "0.0.0.0", PlatformVersion{2, 6, 1, 7601, ""});
    MonoWriteLine(device_, "first");
    EXPECT_EQ(memory_.RowText(3), "first");
    for (size_t row = 4; row < kMonoRows; ++row) EXPECT_EQ(memory_.RowText(row), "") << row;
}

}  // namespace
}  // namespace norvale
