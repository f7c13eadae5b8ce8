// Processes that open the output lock by name take turns on the outputs:
// each closes the file after every entry, so they can share it, and no block
// of one is broken up by another.

#include <gtest/gtest.h>

#include "common/win32_resources.h"
#include "common/ansi_text.h"
#include "output/output_stage.h"
#include "tests_support/block_check.h"
#include "tests_support/child_process.h"
#include "tests_support/paths.h"
#include "tests_support/scratch.h"
#include "tests_support/trace_entries.h"

namespace norvale {
namespace {

TEST(OutputLockTest, TwoProcessesShareTheLockByName) {
    constexpr int kBlocks = 400;
    test::ScratchDirectory dir;
    test::ScratchSettings key;
    key.SetFlag("ToFile", true);
    key.SetFlag("FlushOutputFile", true);
    key.Set("Filename", dir.PathOf("shared.txt"));
    const std::string lockName = test::UniqueTestName("brantwick Norvale Mutex test");
    const std::string startName = test::UniqueTestName("start");
    const UniqueHandle start(CreateEventA(nullptr, TRUE, FALSE, startName.c_str()));

    const std::string helper = "\"" + test::BinDirectory() + "norvale_test_helper.exe\" dispatch \"" + lockName +
                               "\" \"" + key.Location().subkey + "\" ";
    const std::string arguments = " " + std::to_string(kBlocks) + " \"" + startName + "\"";
    test::ChildProcess first(helper + "p1" + arguments);
    test::ChildProcess second(helper + "p2" + arguments);

    TMutex lock(lockName);
    auto outputs = TProcessOutputs::MakeForProcess();
    TOutputStage stage(lock, *outputs, key.Location());
    stage.RefreshProperties();
    // Both helpers are up and waiting once their start-up had time; then all
    // three write at once.
    Sleep(500);
    SetEvent(start.get());
    for (int b = 0; b < kBlocks; ++b) {
        const std::wstring heading = AnsiToWide(test::BlockHeading("p0", b));
        const std::wstring data = AnsiToWide(test::BlockData("p0", b));
        const TBlockLines lines = TBlockLines::FromText(data);
        stage.Dispatch(test::MakeEntry(nullptr, heading, MessageKind::Block, &lines));
    }
    EXPECT_EQ(first.WaitForExit(), 0);
    EXPECT_EQ(second.WaitForExit(), 0);
    EXPECT_EQ(test::CheckBlocks(test::ReadWholeFile(dir.PathOf("shared.txt")), {"p0", "p1", "p2"}, kBlocks), "");
}

}  // namespace
}  // namespace norvale
