// Captured strings as entries: their lines, their writer's fields in the
// prefix and the file name, and the status texts of capture.

#include <gtest/gtest.h>

#include "capture/capture_status.h"
#include "capture/captured_dispatch.h"
#include "capture/captured_text.h"
#include "common/utf8_text.h"
#include "tests_support/recording_outputs.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

TEST(SplitCapturedTest, TrailingLineEndsGoInteriorOnesMakeTheBlock) {
    const struct {
        std::string_view text, first, further;
    } rows[] = {
        {"plain", "plain", ""},
        {"plain\r\n", "plain", ""},
        {"plain\n\n\r\n", "plain", ""},
        {"one\r\ntwo\nthree\r\n", "one", "two\nthree"},
        {"one\n\ntwo", "one", "\ntwo"},
        {"one\rtwo", "one", "two"},
        {"\r\n", "", ""},
        {"", "", ""},
    };
    for (const auto& row : rows) {
        const CapturedLines lines = SplitCaptured(row.text);
        EXPECT_EQ(lines.first, row.first) << row.text;
        EXPECT_EQ(lines.further, row.further) << row.text;
    }
}

// In UTF-8, so that the writer's naming is seen to reach that prefix too and
// the code page's bytes to be converted.
TEST(CapturedDispatchTest, EachStringIsAnEntryOfItsWriterThroughEveryOutput) {
    test::ScratchSettings key;
    test::ScratchDirectory dir;
    key.SetFlag("ToConsole", true);
    for (const char* name : {"IncludeModule", "IncludeMachine", "IncludeProcess", "ToFile", "FlushOutputFile"}) {
        key.SetFlag(name, true);
    }
    key.Set("Filename", dir.PathOf("%MODULE%-%PROCESS%.txt"));
    test::RecordingProcessOutputs recorders;
    recorders.options.SetFlag("ToWindow", true);
    recorders.options.Set("FileEncoding", "UTF-8");
    // As the process does at its start.
    recorders.outputs->RefreshOptions();
    TMutex lock("captured dispatch test lock");
    TOutputStage stage(lock, *recorders.outputs, key.Location());
    {
        TDebugStringQueue queue;
        TCapturedDispatch dispatch(queue, stage);
        const auto writer = MakeCapturedWriter(L"PC", 4242, L"app.exe");
        queue.Push(writer, "hello\r\n", {});
        queue.Push(writer, "head\r\nsecond\nthird", {});
        queue.Push(writer, "caf\xE9", {});
    }
    EXPECT_EQ(recorders.journal.entries, (std::vector<std::string>{
                                             "window: hello [0]",
                                             "console: app.exe PC 00001092 hello",
                                             "window: head|second|third [6]",
                                             "console: app.exe PC 00001092 head",
                                             "console:                       second",
                                             "console:                       third",
                                             "window: caf\xE9 [0]",
                                             "console: app.exe PC 00001092 caf" + AnsiToUtf8("\xE9"),
                                         }));
    EXPECT_TRUE(test::FileExists(dir.PathOf("app.exe-00001092.txt")));
}

TEST(CaptureStatusTest, TextsSayWhatKeepsCaptureFromRunningAndCountOnlyOnceItRan) {
    using enum ChannelState;
    const struct {
        CaptureStatus status;
        std::wstring problem, captured, dropped;
    } rows[] = {
        {{}, L"", L"", L""},
        {{{Capturing}, {}, 12, 3}, L"", L"Captured: 12", L"Capture dropped: 3"},
        {{{Off}, {}, 5, 0}, L"", L"Captured: 5", L"Capture dropped: 0"},
        {{{TakenByOther}, {}, 0, 0}, L"Debug output is being captured by another program", L"", L""},
        {{{Capturing}, {TakenByOther}, 0, 0}, L"Global debug output is being captured by another program",
         L"Captured: 0", L"Capture dropped: 0"},
        {{{Capturing}, {NotPermitted, 5}, 0, 0}, L"Global debug output needs the privilege to create global objects",
         L"Captured: 0", L"Capture dropped: 0"},
        {{{TakenByOther}, {NotPermitted, 5}, 0, 0}, L"Debug output is being captured by another program", L"", L""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CaptureProblemText(row.status), row.problem);
        EXPECT_EQ(CaptureCountsOf(row.status).captured, row.captured);
        EXPECT_EQ(CaptureCountsOf(row.status).dropped, row.dropped);
    }
    const std::wstring failed = CaptureProblemText({{Failed, 5}, {}, 0, 0});
    EXPECT_TRUE(failed.starts_with(L"Debug output cannot be captured: ")) << WideToAnsi(failed);
}

}  // namespace
}  // namespace norvale
