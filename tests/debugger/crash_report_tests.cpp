#include "debugger/crash_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "debugger/crash_dispatch.h"
#include "debugger/exception_stack.h"
#include "tests_support/recording_outputs.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

using Texts = std::vector<std::string>;

DebugEventCopy Exception(uint32_t code, std::vector<StackFrame> frames, bool unavailable = false) {
    return {{.code = kExceptionEvent, .exceptionCode = code, .exceptionAddress = 0x401000}, {},
            {std::move(frames), false, unavailable}, 4};
}

DebugEventCopy Exit(uint32_t code) { return {{.code = kExitProcessEvent, .exitCode = code}, {}}; }

const StackFrame kRaise{0x7ff000000046, "kernelbase", 0x7ff000000000, "RaiseException", 0x46, "debug.c", 302};
const StackFrame kPost{0x140001591, "invoices", 0x140000000, "post_invoice", 0x11, "/src/crash.c", 16};
const StackFrame kUnnamed{0x1400013ae, "invoices", 0x140000000};

TEST(CrashReportTest, AWalkedExceptionOrTheProgramsFailingExitIsACrashPlacedInTheProgramsOwnCode) {
    // An empty text: no report.
    const struct {
        DebugEventCopy copy;
        const char* image;
        bool walked, endsRun;
        std::string text;
    } rows[] = {
        {Exception(0xC0000005, {kPost, kUnnamed}), "invoices.exe", true, false,
         "Access violation at post_invoice (crash.c:16)"},
        {Exception(0x20474343, {kRaise, kUnnamed, kPost}), "Invoices.EXE", true, false,
         "Unknown Exception at post_invoice (crash.c:16)"},
        {Exception(0xC0000005, {kUnnamed, kRaise}), "invoices.exe", true, false,
         "Access violation at RaiseException (debug.c:302)"},
        {Exception(0xC0000005, {{1, "ntdll", 0, "RtlFault"}}), "a.exe", true, false, "Access violation at RtlFault"},
        {Exception(0xC0000005, {kUnnamed}), "invoices.exe", true, false, "Access violation at invoices+0x13ae"},
        {Exception(0xC0000005, {}, true), "a.exe", true, false, "Access violation at 00401000"},
        {Exception(0xC0000005, {}), "a.exe", false, false, ""},
        {Exit(3), "invoices.exe", false, true, "Process exited with exit code $00000003"},
        {Exit(0), "invoices.exe", false, true, ""},
        {Exit(3), "child.exe", false, false, ""},
    };
    for (const auto& row : rows) {
        const auto report = CrashReportOf(row.copy, 0x44, row.image, row.walked, row.endsRun);
        ASSERT_EQ(report.has_value(), !row.text.empty()) << row.text;
        if (!report) continue;
        EXPECT_EQ(report->processId, 0x44u) << row.text;
        EXPECT_EQ(report->imageFile, row.image) << row.text;
        EXPECT_EQ(report->text, row.text);
        EXPECT_EQ(report->frames, row.endsRun ? Texts{} : StackRows(row.copy.stack, 4)) << row.text;
    }
}

// Named as the program's captured output is, in the file its values name;
// the frames as the block's further lines, the kind the server's own.
TEST(CrashDispatchTest, ACrashIsAnEntryOfTheProgramWithItsFramesAsFurtherLinesAndAnExitOneLine) {
    test::ScratchSettings key;
    test::ScratchDirectory dir;
    for (const char* name : {"ToConsole", "IncludeModule", "IncludeMachine", "IncludeProcess", "IncludeProject",
                             "ToFile", "FlushOutputFile"}) {
        key.SetFlag(name, true);
    }
    key.Set("Filename", dir.PathOf("%PROJECT%_%MODULE%-%PROCESS%.txt"));
    test::RecordingProcessOutputs recorders;
    recorders.options.SetFlag("ToWindow", true);
    recorders.outputs->RefreshOptions();
    TMutex lock("crash dispatch test lock");
    TOutputStage stage(lock, *recorders.outputs, key.Location());
    TCrashDispatch dispatch(stage, L"PC");
    dispatch.Report({0x44, "invoices.exe", "Access violation at post_invoice (crash.c:16)",
                     {"invoices!post_invoice+0x11 crash.c:16", "Stack cut short"}});
    dispatch.Report({0x44, "invoices.exe", "Process exited with exit code $00000003", {}});
    EXPECT_EQ(recorders.journal.entries,
              (Texts{"window: Access violation at post_invoice (crash.c:16)|invoices!post_invoice+0x11 crash.c:16|"
                     "Stack cut short [64]",
                     "console: invoices.exe PC 00000044 Access violation at post_invoice (crash.c:16)",
                     "console:                            invoices!post_invoice+0x11 crash.c:16",
                     "console:                            Stack cut short",
                     "window: Process exited with exit code $00000003 [64]",
                     "console: invoices.exe PC 00000044 Process exited with exit code $00000003"}));
    EXPECT_TRUE(test::FileExists(dir.PathOf("_invoices.exe-00000044.txt")));
}

}  // namespace
}  // namespace norvale
