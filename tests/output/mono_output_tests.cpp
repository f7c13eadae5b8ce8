// The screen output over the virtual adapter's memory: the layout other
// programs read, the hidden cursor, lines and blocks.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "output/mono_cells.h"
#include "output/mono_output.h"

namespace norvale {
namespace {

using namespace monoadapter;

class MonoOutputTest : public testing::Test {
protected:
    std::span<uint8_t, kMappingSize> Memory() { return std::span<uint8_t, kMappingSize>(block_.get(), kMappingSize); }
    std::unique_ptr<IMonoAdapter> Adapter() { return std::make_unique<TVirtualMonoAdapter>(Memory()); }
    std::string RowText(size_t row) { return test::RowText(Memory(), row); }
    uint8_t Register(size_t index) { return block_[kCrtRegistersOffset + index]; }

    std::unique_ptr<uint8_t[]> block_ = std::make_unique<uint8_t[]>(kMappingSize);
};

TEST_F(MonoOutputTest, StartHidesTheCursorAndWritesNothingElse) {
    TMonoScreenOutput output(Adapter(), "1.2.3.4", PlatformVersion{2, 6, 1, 7601, "Service Pack 1"});
    EXPECT_FALSE(output.Unavailable());
    std::vector<uint8_t> expected(kMappingSize);
    expected[4000] = 0x0B;
    expected[4026] = 0x10;
    expected[4027] = 0x10;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block_.get()));
}

TEST_F(MonoOutputTest, PortsSetTheIndexAndTheIndexedRegister) {
    TVirtualMonoAdapter adapter(Memory());
    struct Write {
        uint16_t port;
        uint8_t value;
    };
    const Write writes[] = {{0x3B4, 0x0E}, {0x3B5, 0x07}, {0x3B4, 0x2F}, {0x3B5, 0x99},
                            {0x3B4, 0xFF}, {0x3B5, 0x42}, {0x3B8, 0x55}, {0x3B0, 0x66}};
    for (const Write& write : writes) adapter.WritePort(write.port, write.value);
    EXPECT_EQ(block_[kCrtIndexOffset], 0xFF);
    EXPECT_EQ(Register(0x0E), 0x07);
    EXPECT_EQ(Register(0x0F), 0x99);  // 0x2F modulo 32
    EXPECT_EQ(Register(0x1F), 0x42);
    const size_t nonZero = std::count_if(block_.get(), block_.get() + kMappingSize, [](uint8_t b) { return b != 0; });
    EXPECT_EQ(nonZero, 4u);
}

TEST_F(MonoOutputTest, BannerThenLinesAndBlocks) {
    TMonoScreenOutput output(Adapter(), "1.2.3.4", PlatformVersion{2, 6, 1, 7601, "Service Pack 1"});
    output.Banner();
    const std::string line = "a line";
    output.WriteLine(TraceLine{line, line});
    const std::vector<std::string> entries{"one", std::string(90, 'z')};
    output.WriteBlock(TraceBlock{"heading", "  ", entries});
    EXPECT_EQ(RowText(0), "brantwick Norvale 1.2.3.4");
    EXPECT_EQ(RowText(1), "running Windows NT 6.1.7601 (Service Pack 1)");
    EXPECT_EQ(RowText(2), "");
    EXPECT_EQ(RowText(3), "a line");
    EXPECT_EQ(RowText(4), "heading");
    EXPECT_EQ(RowText(5), "  one");
    EXPECT_EQ(RowText(6), "  " + std::string(73, 'z') + "[...]");
    EXPECT_EQ(RowText(7), "");
    // The controller's bytes stay as the start left them.
    EXPECT_EQ(Register(0x0A), 0x10);
    EXPECT_EQ(Register(0x0B), 0x10);
}

TEST_F(MonoOutputTest, WithoutAnAdapterItIsUnavailableAndIgnoresCalls) {
    TMonoScreenOutput output(nullptr, "0.0.0.0", PlatformVersion{});
    EXPECT_TRUE(output.Unavailable());
    output.Banner();
    const std::string line = "x";
    output.WriteLine(TraceLine{line, line});
}

}  // namespace
}  // namespace norvale
