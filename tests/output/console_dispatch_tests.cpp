// The process's real console output with standard output redirected, as a
// server started from a terminal into a file sees it.

#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/system_error.h"
#include "output/output_stage.h"
#include "tests_support/paths.h"
#include "tests_support/scratch.h"
#include "tests_support/trace_entries.h"

namespace norvale {
namespace {

// Points standard output at `handle` for one scope.
class RedirectedStandardOutput {
public:
    explicit RedirectedStandardOutput(HANDLE handle) : saved_(GetStdHandle(STD_OUTPUT_HANDLE)) {
        SetStdHandle(STD_OUTPUT_HANDLE, handle);
    }
    ~RedirectedStandardOutput() { SetStdHandle(STD_OUTPUT_HANDLE, saved_); }

private:
    HANDLE saved_;
};

class ConsoleDispatchTest : public testing::Test {
protected:
    void SetUp() override {
        key_.SetFlag("ToConsole", true);
        key_.Set("Filename", dir_.PathOf("out.txt"));
    }

    test::ScratchDirectory dir_;
    test::ScratchSettings key_;
    TMutex lock_{test::UniqueTestName("console dispatch lock")};
    const SessionNaming session_{"P", "", "", "", 0};
};

TEST_F(ConsoleDispatchTest, RefreshSwitchesTheConsoleOffAndOn) {
    UniqueFile out;
    ASSERT_EQ(FileCreate(dir_.PathOf("stdout.txt"), out), 0u);
    {
        RedirectedStandardOutput redirect(out.get());
        auto outputs = TProcessOutputs::MakeForProcess();
        TOutputStage stage(lock_, *outputs, key_.Location());
        stage.RefreshProperties();
        stage.Dispatch(test::MakeEntry(&session_, L"one"));
        key_.SetFlag("ToConsole", false);
        stage.RefreshProperties();
        stage.Dispatch(test::MakeEntry(&session_, L"two"));
        key_.SetFlag("ToConsole", true);
        stage.RefreshProperties();
        const TBlockLines lines = TBlockLines::FromText(L"a");
        stage.Dispatch(test::MakeEntry(&session_, L"three", MessageKind::Block, &lines));
    }
    FileClose(out);
    EXPECT_EQ(test::ReadWholeFile(dir_.PathOf("stdout.txt")), "one\r\nthree\r\n  a\r\n");
}

TEST_F(ConsoleDispatchTest, ConsoleWriteFailureSkipsTheFileForThatLine) {
    key_.SetFlag("ToFile", true);
    key_.SetFlag("FlushOutputFile", true);
    test::WriteWholeFile(dir_.PathOf("readonly.txt"), "");
    UniqueFile readOnly;
    ASSERT_EQ(FileOpenForReading(dir_.PathOf("readonly.txt"), readOnly), 0u);
    RedirectedStandardOutput redirect(readOnly.get());
    auto outputs = TProcessOutputs::MakeForProcess();
    TOutputStage stage(lock_, *outputs, key_.Location());
    stage.RefreshProperties();
    try {
        stage.Dispatch(test::MakeEntry(&session_, L"lost"));
        FAIL() << "wrote to a read-only standard output";
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()), "cannot write to the console: " + SystemErrorText(ERROR_ACCESS_DENIED));
    }
    EXPECT_FALSE(test::FileExists(dir_.PathOf("out.txt")));
    // A block's console failure is its own: the file still gets the block.
    const TBlockLines lines = TBlockLines::FromText(L"a");
    stage.Dispatch(test::MakeEntry(&session_, L"block", MessageKind::Block, &lines));
    EXPECT_EQ(test::ReadWholeFile(dir_.PathOf("out.txt")), "block\r\n  a\r\n");
}

}  // namespace
}  // namespace norvale
