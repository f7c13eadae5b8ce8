// The process's real console output with standard output redirected, as a
// server started from a terminal into a file sees it; UTF-8 to a file and to
// a console screen buffer.

#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/system_error.h"
#include "common/utf8_text.h"
#include "common/win32_resources.h"
#include "output/console_output.h"
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

// UTF-8: a redirected standard output gets the bytes, a console is told the
// characters, which it would otherwise read in its own code page.
TEST(ConsoleHostTest, Utf8ReachesAFileAsBytesAndAConsoleAsCharacters) {
    const auto newScreen = [] {
        return CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         CONSOLE_TEXTMODE_BUFFER, nullptr);
    };
    HANDLE made = newScreen();
    // A test process whose console has no screen buffers (Wine's for a
    // process started from a terminal) takes a console window of its own.
    if (made == INVALID_HANDLE_VALUE) {
        FreeConsole();
        if (AllocConsole()) made = newScreen();
    }
    ASSERT_NE(made, INVALID_HANDLE_VALUE) << SystemErrorText(GetLastError());
    const UniqueHandle screen(made);
    test::ScratchDirectory dir;
    UniqueFile out;
    ASSERT_EQ(FileCreate(dir.PathOf("stdout.txt"), out), 0u);
    const std::wstring text = L"Gr\u00fc\u00dfe \u2013 \u4e2d\u6587 \u2713";
    for (const HANDLE output : {out.get(), screen.get()}) {
        EXPECT_EQ(MakeSystemConsoleHost()->WriteUtf8(output, WideToUtf8(text)), 0u);
    }
    FileClose(out);
    EXPECT_EQ(test::ReadWholeFile(dir.PathOf("stdout.txt")), WideToUtf8(text));
    std::wstring shown(text.size(), L' ');
    DWORD read = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(screen.get(), shown.data(), static_cast<DWORD>(shown.size()), COORD{0, 0},
                                            &read));
    EXPECT_EQ(shown, text);
}

}  // namespace
}  // namespace norvale
