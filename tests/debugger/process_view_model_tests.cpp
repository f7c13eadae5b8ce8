#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "debugger/process_view_model.h"

namespace norvale {
namespace {

DebugEventCopy Copy(const DebugEventRecord& event, int pointerSize = 8, DebuggeeTexts texts = {}) {
    DebugEventCopy copy;
    copy.event = event;
    copy.texts = std::move(texts);
    copy.pointerSize = pointerSize;
    return copy;
}

DebugEventCopy WithStack(DebugEventCopy copy, ExceptionStack stack) {
    copy.stack = std::move(stack);
    return copy;
}

DebugEventCopy WithDumpNote(DebugEventCopy copy, std::string note) {
    copy.dumpNote = std::move(note);
    return copy;
}

// Rows, then the node and its details, one line each, so that a table shows
// the whole of what an event adds.
std::vector<std::string> Lines(const EventView& view) {
    static const char* const kIcons[] = {"dot", "folder", "thread", "module", "process", "text", "stop"};
    static const char* const kRoots[] = {"Threads", "Modules", "Processes"};
    std::vector<std::string> lines;
    for (const EventRow& row : view.rows) {
        lines.push_back(std::string(2 * row.indent, ' ') + kIcons[static_cast<int>(row.icon)] + " " + row.text);
    }
    if (view.node) {
        lines.push_back(std::string("node ") + kRoots[static_cast<int>(view.node->root)] + " " +
                        kIcons[static_cast<int>(view.node->icon)] + " " + view.node->text);
        for (const std::string& detail : view.node->details) lines.push_back("  " + detail);
    }
    return lines;
}

TEST(ProcessViewModelTest, EveryEventKindShowsItsRowsAndNode) {
    const DebugEventCopy wide = Copy({.code = kOutputDebugStringEvent, .unicode = 1}, 8, {.wideDebugString = L"\u00fc \u4e2d"});
    const struct {
        const char* what;
        DebugEventCopy copy;
        std::vector<std::string> lines;
        bool unicodeNames = false;
    } cases[] = {
        {"exception",
         Copy({.code = kExceptionEvent, .exceptionCode = 0xC0000005, .exceptionAddress = 0x7ff612345678,
               .firstChance = 1}),
         {"stop Exception Access violation (c0000005) flags:00000000 address:00007ff612345678 first chance:Yes"}},
        {"exception, 32-bit, second chance",
         Copy({.code = kExceptionEvent, .exceptionCode = 0xE06D7363, .exceptionFlags = 1,
               .exceptionAddress = 0xdead000000401000},
              4),
         {"stop Exception Unknown Exception (e06d7363) flags:00000001 address:00401000 first chance:No"}},
        {"Delphi exception",
         Copy({.code = kExceptionEvent, .exceptionCode = kDelphiExceptionCode, .exceptionAddress = 0x7ff612345678,
               .numberParameters = 7,
               .exceptionInformation = {0x7ff612345678, 0x1f000001000, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6},
               .firstChance = 1},
              8, {"", "", "EMyError"}),
         {"stop Delphi Exception EMyError at 00007ff612345678 first chance: Yes",
          "  dot Exception raised at 00007ff612345678", "  dot Exception object at 000001f000001000",
          "  dot EBX = 00000000000000b2", "  dot ESI = 00000000000000b3", "  dot EDI = 00000000000000b4",
          "  dot EBP = 00000000000000b5", "  dot ESP = 00000000000000b6"}},
        {"Delphi exception, 32-bit, more parameters than labels, no class name",
         Copy({.code = kExceptionEvent, .exceptionCode = kDelphiExceptionCode,
               .exceptionAddress = 0xdead000000401000, .numberParameters = 9,
               .exceptionInformation = {0x401000, 0xdead000000a0, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8}},
              4),
         {"stop Delphi Exception  at 00401000 first chance: No", "  dot Exception raised at 00401000",
          "  dot Exception object at 000000a0", "  dot EBX = 000000b2", "  dot ESI = 000000b3", "  dot EDI = 000000b4",
          "  dot EBP = 000000b5", "  dot ESP = 000000b6", "  dot ", "  dot "}},
        {"exception with its stack, cut short",
         WithStack(Copy({.code = kExceptionEvent, .exceptionCode = 0xC0000005, .exceptionAddress = 0x140001010}),
                   {{{.address = 0x140001010, .module = "crash", .moduleBase = 0x140000000, .function = "post_invoice",
                      .displacement = 0xc, .file = "/src/crash.c", .line = 3},
                     {.address = 0x7ffa00000100, .module = "ntdll", .moduleBase = 0x7ffa00000000}},
                    true}),
         {"stop Exception Access violation (c0000005) flags:00000000 address:0000000140001010 first chance:No",
          "  dot crash!post_invoice+0xc crash.c:3", "  dot ntdll+0x100", "  dot Stack cut short"}},
        {"Delphi exception, its stack after its parameters",
         WithStack(Copy({.code = kExceptionEvent, .exceptionCode = kDelphiExceptionCode, .exceptionAddress = 0x401000,
                         .numberParameters = 1, .exceptionInformation = {0x401000}},
                        4, {"", "", "E"}),
                   {{{.address = 0x401000}}}),
         {"stop Delphi Exception E at 00401000 first chance: No", "  dot Exception raised at 00401000",
          "  dot 00401000"}},
        {"exception, 32-bit, no context for its stack",
         WithStack(Copy({.code = kExceptionEvent, .exceptionCode = 0xC0000005, .exceptionAddress = 0x401000}, 4),
                   {.unavailable = true}),
         {"stop Exception Access violation (c0000005) flags:00000000 address:00401000 first chance:No",
          "  dot Stack not available"}},
        {"thread created",
         Copy({.code = kCreateThreadEvent, .thread = 0xabc, .threadLocalBase = 0xfffe000000,
               .startAddress = 0x7ff600001000}),
         {"thread Thread 0000000000000abc spawned.", "node Threads thread 0000000000000abc",
          "  Thread handle = $0000000000000abc", "  Start address = $00007ff600001000",
          "  Thread data at $000000fffe000000"}},
        {"process created",
         Copy({.code = kCreateProcessEvent, .process = 0x44, .thread = 0x48, .threadLocalBase = 0xfffe000000,
               .startAddress = 0x7ff600001000, .baseOfImage = 0x7ff600000000, .debugInfoFileOffset = 0x1234,
               .debugInfoSize = 1},
              8, {"C:\\Apps\\app.exe", "", ""}),
         {"process Process app.exe (0000000000000044) spawned.", "node Processes process app.exe",
          "  Process handle = $0000000000000044", "  Thread handle = $0000000000000048",
          "  Start address = $00007ff600001000", "  Thread data at $000000fffe000000",
          "  Image base = $00007ff600000000", "  Image path = C:\\Apps\\", "  DebugInfo at $00001234"}},
        {"process created, 32-bit, Unicode name, no debug info",
         Copy({.code = kCreateProcessEvent, .process = 0x44, .thread = 0x48, .threadLocalBase = 0x7ffdf000,
               .startAddress = 0x401000, .baseOfImage = 0x400000, .debugInfoFileOffset = 0x1234, .unicode = 1},
              4, {.wideImageName = L"C:\\Apps\\app.exe"}),
         {"process Process [unicode not supported yet] (00000044) spawned.",
          "node Processes process [unicode not supported yet]", "  Process handle = $00000044",
          "  Thread handle = $00000048", "  Start address = $00401000", "  Thread data at $7ffdf000",
          "  Image base = $00400000", "  Image path = "}},
        {"thread exited", Copy({.code = kExitThreadEvent, .exitCode = 42}),
         {"thread Thread exited with exit code $0000002a"}},
        {"process exited", Copy({.code = kExitProcessEvent, .exitCode = 0xC0000005}),
         {"process Process exited with exit code $c0000005"}},
        {"module loaded",
         Copy({.code = kLoadDllEvent, .debugInfoFileOffset = 0x10, .debugInfoSize = 8, .baseOfDll = 0x7ffa00000000}, 8,
              {"C:\\Win\\b.dll", "", ""}),
         {"module Load DLL b.dll base 00007ffa00000000", "node Modules module b.dll", "  Path = C:\\Win\\",
          "  Base = $00007ffa00000000", "  DebugInfo at $00000010"}},
        {"module loaded, Unicode name", Copy({.code = kLoadDllEvent, .unicode = 1, .baseOfDll = 1}, 4,
              {.wideImageName = L"C:\\\u4e2d\\\u00fc.dll"}),
         {"module Load DLL \xC3\xBC.dll base 00000001", "node Modules module \xC3\xBC.dll",
          "  Path = C:\\\xE4\xB8\xAD\\", "  Base = $00000001"}, true},
        {"module loaded, 32-bit, no name",
         Copy({.code = kLoadDllEvent, .debugInfoFileOffset = 0x10, .baseOfDll = 0x110000000}, 4),
         {"module Load DLL  base 10000000", "node Modules module ", "  Path = ", "  Base = $10000000"}},
        {"unknown module unloaded", Copy({.code = kUnloadDllEvent, .baseOfDll = 0x7ffa00000000}),
         {"module Unload DLL base 00007ffa00000000"}},
        {"debug string", Copy({.code = kOutputDebugStringEvent}, 8, {"", "h\xe9llo world", ""}),
         {"text h\xC3\xA9llo world"}},
        {"UTF-16 debug string through the code page", wide, {"text \xC3\xBC ?"}},
        {"UTF-16 debug string", wide, {"text \xC3\xBC \xE4\xB8\xAD"}, true},
        {"RIP", Copy({.code = kRipEvent, .ripError = 0x57, .ripType = 2}),
         {"text RIP error:00000057 type:00000002"}},
        {"unknown kind", Copy({.code = 10}), {"text Unknown event of type0000000a"}},
        {"exception with its stack and its dump",
         WithDumpNote(WithStack(Copy({.code = kExceptionEvent, .exceptionCode = 0xC0000005}), {{{.address = 0x10}}}),
                      "Dump written to C:\\d\\a.dmp"),
         {"stop Exception Access violation (c0000005) flags:00000000 address:0000000000000000 first chance:No",
          "  dot 0000000000000010", "  dot Dump written to C:\\d\\a.dmp"}},
        {"a dump of the held event", WithDumpNote(Copy({.code = kDebuggerNoteEvent}), "Dump not written: full"),
         {"  dot Dump not written: full"}},
    };
    for (const auto& c : cases) {
        TProcessViewModel model(c.unicodeNames);
        EXPECT_EQ(Lines(model.Apply(c.copy)), c.lines) << c.what;
    }
}

TEST(ProcessViewModelTest, DelphiParameterCountIsBoundedByTheRecord) {
    const EventView view = TProcessViewModel().Apply(
        Copy({.code = kExceptionEvent, .exceptionCode = kDelphiExceptionCode, .numberParameters = 0xFFFFFFFF}));
    ASSERT_EQ(view.rows.size(), 16u);
    EXPECT_EQ(view.rows.back().text, "");
    EXPECT_EQ(view.rows.back().indent, 1);
}

TEST(ProcessViewModelTest, UnloadRemovesTheFirstModuleAtItsBase) {
    TProcessViewModel model;
    for (const auto& [path, base] : {std::pair{"C:\\w\\a.dll", 0x1000}, {"C:\\w\\b.dll", 0x2000}, {"c.dll", 0x1000}}) {
        model.Apply(Copy({.code = kLoadDllEvent, .baseOfDll = uint64_t(base)}, 8, {path, "", ""}));
    }
    const struct {
        uint64_t base;
        std::string row;
        std::optional<size_t> removed;
        std::vector<std::string> left;
    } steps[] = {
        {0x2000, "Unload DLL b.dll base 0000000000002000", 1, {"a.dll", "c.dll"}},
        {0x2000, "Unload DLL base 0000000000002000", std::nullopt, {"a.dll", "c.dll"}},
        {0x1000, "Unload DLL a.dll base 0000000000001000", 0, {"c.dll"}},
        {0x1000, "Unload DLL c.dll base 0000000000001000", 0, {}},
    };
    for (const auto& step : steps) {
        const EventView view = model.Apply(Copy({.code = kUnloadDllEvent, .baseOfDll = step.base}));
        EXPECT_EQ(Lines(view), std::vector<std::string>{"module " + step.row});
        EXPECT_EQ(view.removedModule, step.removed) << step.row;
        std::vector<std::string> left;
        for (const TModuleInfo& module : model.Modules()) left.push_back(module.moduleName);
        EXPECT_EQ(left, step.left) << step.row;
    }
}

TEST(ProcessViewModelTest, KeepsOnlyTheNewestRows) {
    TProcessViewModel model;
    DebugEventCopy copy = Copy({.code = kOutputDebugStringEvent});
    const size_t count = TProcessViewModel::kMaxRows + 3;
    for (size_t i = 0; i < count; ++i) {
        copy.texts.debugString = std::to_string(i);
        model.Apply(copy);
    }
    EXPECT_EQ(model.Rows().size(), TProcessViewModel::kMaxRows);
    EXPECT_EQ(model.DroppedRows(), 3u);
    EXPECT_EQ(model.Rows().front().text, "3");
    EXPECT_EQ(model.Rows().back().text, std::to_string(count - 1));
}

TEST(ContinueStatusTest, OnlyBreakpointsAndStepsAreHandledByTheDebugger) {
    constexpr uint32_t kContinue = 0x00010002, kNotHandled = 0x80010001;
    const struct {
        uint32_t code, exceptionCode, firstChance, status;
    } cases[] = {
        {kExceptionEvent, 0x80000003, 1, kContinue},   {kExceptionEvent, 0x4000001F, 1, kContinue},
        {kExceptionEvent, 0x80000004, 1, kContinue},   {kExceptionEvent, 0x80000003, 0, kContinue},
        {kExceptionEvent, 0xC0000005, 1, kNotHandled}, {kExceptionEvent, 0xC0000005, 0, kNotHandled},
        {kExceptionEvent, 0x0EEDFADE, 1, kNotHandled}, {kExceptionEvent, 0xE06D7363, 1, kNotHandled},
        {kExceptionEvent, 0x20474343, 1, kNotHandled}, {kExceptionEvent, 0x80000001, 1, kNotHandled},
        {kCreateThreadEvent, 0xC0000005, 1, kContinue}, {kOutputDebugStringEvent, 0xC0000005, 1, kContinue},
        {kExitProcessEvent, 0, 0, kContinue},          {kRipEvent, 0, 0, kContinue},
        {10, 0xC0000005, 1, kContinue},
    };
    for (const auto& c : cases) {
        const DebugEventRecord event{.code = c.code, .exceptionCode = c.exceptionCode, .firstChance = c.firstChance};
        EXPECT_EQ(ContinueStatusFor(event), c.status) << c.code << " " << std::hex << c.exceptionCode;
    }
}

}  // namespace
}  // namespace norvale
