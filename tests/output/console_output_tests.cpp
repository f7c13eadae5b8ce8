#include <gtest/gtest.h>

#include "common/errors.h"
#include "output/console_output.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

// Standard output is a file the test reads back; allocations are counted.
class TFakeConsoleHost final : public IConsoleHost {
public:
    TFakeConsoleHost(bool startedWithOutput, FileHandle output, int& allocations, int& frees)
        : startedWithOutput_(startedWithOutput), output_(output), allocations_(allocations), frees_(frees) {}
    bool HasUsableStandardOutput() override { return startedWithOutput_; }
    FileHandle StandardOutput() override { return output_; }
    void AllocateConsole() override { ++allocations_; }
    void FreeConsole() override { ++frees_; }

private:
    bool startedWithOutput_;
    FileHandle output_;
    int& allocations_;
    int& frees_;
};

class ConsoleOutputTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(FileCreate(path_, file_), 0u); }

    std::unique_ptr<TConsoleOutput> MakeConsole(bool startedWithOutput, FileHandle output) {
        return std::make_unique<TConsoleOutput>(
            std::make_unique<TFakeConsoleHost>(startedWithOutput, output, allocations_, frees_));
    }

    std::string Written() {
        FileClose(file_);
        return test::ReadWholeFile(path_);
    }

    test::ScratchDirectory dir_;
    std::string path_ = dir_.PathOf("stdout.txt");
    UniqueFile file_;
    int allocations_ = 0;
    int frees_ = 0;
};

TEST_F(ConsoleOutputTest, WritesEachLineWithCarriageReturnAndLineFeed) {
    auto console = MakeConsole(true, file_.get());
    console->WriteLine(TraceLine{"first", "first"});
    const std::vector<std::string> entries{"a", "b"};
    console->WriteBlock(TraceBlock{"head", "  ", entries});
    EXPECT_EQ(Written(), "first\r\nhead\r\n  a\r\n  b\r\n");
}

TEST_F(ConsoleOutputTest, ProcessStartedWithOutputNeverAllocatesAConsole) {
    auto console = MakeConsole(true, file_.get());
    console->SwitchConsole(true);
    console->SwitchConsole(false);
    EXPECT_EQ(allocations_, 0);
    EXPECT_EQ(frees_, 0);
    EXPECT_FALSE(console->ConsoleAllocated());
}

TEST_F(ConsoleOutputTest, WithoutOutputTheConsoleComesAndGoesWithTheSetting) {
    auto console = MakeConsole(false, file_.get());
    console->SwitchConsole(false);
    EXPECT_EQ(allocations_, 0);
    console->SwitchConsole(true);
    console->SwitchConsole(true);
    EXPECT_EQ(allocations_, 1);
    EXPECT_TRUE(console->ConsoleAllocated());
    console->SwitchConsole(false);
    EXPECT_EQ(frees_, 1);
    console->SwitchConsole(true);
    EXPECT_EQ(allocations_, 2);
}

TEST_F(ConsoleOutputTest, WriteWithoutUsableOutputFails) {
    auto console = MakeConsole(false, FileHandleTraits::Invalid());
    try {
        console->WriteLine(TraceLine{"x", "x"});
        FAIL() << "wrote to an invalid handle";
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("cannot write to the console: ", 0), 0u) << error.what();
        EXPECT_NE(error.ErrorCode(), 0u);
    }
}

#ifdef _WIN32
// The system host on a redirected standard output, as when the server is
// started from a terminal with its output going to a file.
TEST_F(ConsoleOutputTest, SystemHostWritesToARedirectedStandardOutput) {
    const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, file_.get());
    {
        TConsoleOutput console(MakeSystemConsoleHost());
        console.SwitchConsole(true);
        console.WriteLine(TraceLine{"to the file", "to the file"});
        console.SwitchConsole(false);
    }
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    EXPECT_EQ(Written(), "to the file\r\n");
}
#endif

}  // namespace
}  // namespace norvale
