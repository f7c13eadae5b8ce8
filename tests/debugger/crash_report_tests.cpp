#include "debugger/crash_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    const struct {
        const char* what;
        DebugEventCopy copy;
        const char* image;
        bool walked;
        bool endsRun;
        bool reported;
        std::string text;
        Texts frames;
    } rows[] = {
        {"a fault in the program", Exception(0xC0000005, {kPost, kUnnamed}), "invoices.exe", true, false, true,
         "Access violation at post_invoice (crash.c:16)",
         {"invoices!post_invoice+0x11 crash.c:16", "invoices+0x13ae"}},
        {"a throw, placed past the system's frames", Exception(0x20474343, {kRaise, kUnnamed, kPost}), "Invoices.EXE",
         true, false, true, "Unknown Exception at post_invoice (crash.c:16)",
         {"kernelbase!RaiseException+0x46 debug.c:302", "invoices+0x13ae", "invoices!post_invoice+0x11 crash.c:16"}},
        {"no named frame of the program", Exception(0xC0000005, {kUnnamed, kRaise}), "invoices.exe", true, false,
         true, "Access violation at RaiseException (debug.c:302)",
         {"invoices+0x13ae", "kernelbase!RaiseException+0x46 debug.c:302"}},
        {"a named frame without a file", Exception(0xC0000005, {{1, "ntdll", 0, "RtlFault"}}), "a.exe", true, false,
         true, "Access violation at RtlFault", {"ntdll!RtlFault+0x0"}},
        {"no named frame", Exception(0xC0000005, {kUnnamed}), "invoices.exe", true, false, true,
         "Access violation at invoices+0x13ae", {"invoices+0x13ae"}},
        {"no stack", Exception(0xC0000005, {}, true), "a.exe", true, false, true, "Access violation at 00401000",
         {"Stack not available"}},
        {"a first chance left unwalked", Exception(0xC0000005, {}), "a.exe", false, false, false, "", {}},
        {"the program's failing exit", Exit(3), "invoices.exe", false, true, true,
         "Process exited with exit code $00000003", {}},
        {"the program's clean exit", Exit(0), "invoices.exe", false, true, false, "", {}},
        {"a child's failing exit", Exit(3), "child.exe", false, false, false, "", {}},
    };
    for (const auto& row : rows) {
        const auto report = CrashReportOf(row.copy, 0x44, row.image, row.walked, row.endsRun);
        ASSERT_EQ(report.has_value(), row.reported) << row.what;
        if (!report) continue;
        EXPECT_EQ(report->processId, 0x44u) << row.what;
        EXPECT_EQ(report->imageFile, row.image) << row.what;
        EXPECT_EQ(report->text, row.text) << row.what;
        EXPECT_EQ(report->frames, row.frames) << row.what;
    }
}

}  // namespace
}  // namespace norvale
