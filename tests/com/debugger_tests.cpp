// The debugger of the real server, driven as a user and a compiled client
// drive it: the Spawn command through its file dialog, AttachToProcess, the
// rows and nodes a real debuggee's events produce, "Halt on Event" holding it
// at each event, and a faulting debuggee, with the dump kept of its crash.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "common/utf8_text.h"
#include "config/options_settings.h"
#include "config/registry_values.h"
#include "shell/shell_resources.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/child_process.h"
#include "tests_support/debug_window_reader.h"
#include "tests_support/minidump_reader.h"
#include "tests_support/paths.h"
#include "tests_support/process_windows.h"
#include "tests_support/scratch.h"
#include "tests_support/test_viewer_client.h"
#include "tests_support/trace_window_reader.h"
#include "tests_support/wait_until.h"

#include <commctrl.h>

namespace norvale {
namespace {

using Texts = std::vector<std::string>;
using test::milliseconds;

// The test debuggee under a name of the test's own, with its steps file and
// the library it loads beside it.
class TestDebuggee {
public:
    TestDebuggee(const test::ScratchDirectory& dir, const std::string& name, const Texts& steps)
        : dir_(dir), stem_(dir.PathOf(name)) {
        CopyFileA((test::BinDirectory() + "norvale_test_debuggee.exe").c_str(), Path().c_str(), FALSE);
        CopyFileA((test::BinDirectory() + "norvale_test_debuggee_dll.dll").c_str(),
                  dir.PathOf("norvale_test_debuggee_dll.dll").c_str(), FALSE);
        std::string text;
        for (const auto& step : steps) text += step + "\r\n";
        test::WriteWholeFile(stem_ + ".steps", text);
    }
    std::string Path() const { return stem_ + ".exe"; }
    Texts Progress() const {
        Texts lines;
        const std::string text = ReadIfThere(stem_ + ".progress");
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
    // Lets an "awaitfile <name>" step go on.
    void Release(const std::string& name) const { test::WriteWholeFile(dir_.PathOf(name), ""); }

private:
    static std::string ReadIfThere(const std::string& path) {
        return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES ? "" : test::ReadWholeFile(path);
    }
    const test::ScratchDirectory& dir_;
    std::string stem_;
};

HWND DocumentArea() {
    const HWND frame = FindWindowA("TMainForm", nullptr);
    return frame == nullptr ? nullptr : FindWindowExA(frame, nullptr, "MDICLIENT", nullptr);
}

// The server's process window whose caption begins with `caption`, once
// its list (made last) is there.
HWND FindProcessForm(const std::string& caption) {
    for (HWND form = FindWindowExA(DocumentArea(), nullptr, "TProcessForm", nullptr); form != nullptr;
         form = FindWindowExA(DocumentArea(), form, "TProcessForm", nullptr)) {
        char text[1024] = {};
        GetWindowTextA(form, text, sizeof text);
        if (std::string(text).rfind(caption, 0) == 0 && FindWindowExA(form, nullptr, WC_LISTVIEWA, nullptr)) {
            return form;
        }
    }
    return nullptr;
}

HWND WaitForProcessForm(const std::string& caption) {
    HWND form = nullptr;
    test::WaitUntil([&] { return (form = FindProcessForm(caption)) != nullptr; }, milliseconds(20000));
    return form;
}

bool WaitForTerminated(HWND form) {
    return test::WaitUntil(
        [&] {
            const std::string caption = test::ReadProcessWindow(form).caption;
            return caption.size() > 13 && caption.compare(caption.size() - 13, 13, " - Terminated") == 0;
        },
        milliseconds(30000));
}

// Whether rows matching the patterns come in this order (others may come
// between them).
testing::AssertionResult RowsInOrder(const Texts& rows, const Texts& patterns) {
    size_t next = 0;
    for (const std::string& row : rows) {
        if (next < patterns.size() && std::regex_match(row, std::regex(patterns[next]))) ++next;
    }
    if (next == patterns.size()) return testing::AssertionSuccess();
    std::string shown;
    for (const auto& row : rows) shown += "\n  " + row;
    return testing::AssertionFailure() << "no row matches \"" << patterns[next] << "\" after the earlier ones in:"
                                       << shown;
}

std::string HexOf(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%08x", value);
    return text;
}

const std::string kPointer = "[0-9a-f]{16}";
const std::string kUnicodeName = R"(\[unicode not supported yet\])";

// A compiled client's AttachToProcess, through the server object's
// IDebugProcess.
void Attach(INorvale* norvale, DWORD processId) {
    ComPtr<IDebugProcess> debugProcess = ComPtr<INorvale>::Share(norvale).query<IDebugProcess>(IID_IDebugProcess);
    ASSERT_TRUE(debugProcess);
    long value = 0;
    EXPECT_EQ(debugProcess->AttachToProcess(static_cast<long>(processId), &value), S_OK);
    EXPECT_EQ(value, 1);
}

// Presses "Halt on Event" and waits until the window shows it down.
void HaltOnEvent(HWND form) {
    test::ClickToolbarButton(form, 0);
    EXPECT_TRUE(test::WaitUntil([&] { return test::ReadProcessWindow(form).haltOnEventDown; }, milliseconds(20000)))
        << "Halt on Event not down within 20 s";
}

// Presses Continue and waits until the window has taken the press: the
// button is disabled, or the next held event is already shown.
void PressContinue(HWND form) {
    const size_t rows = test::ReadProcessWindow(form).rows.size();
    test::ClickToolbarButton(form, 1);
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            const auto shown = test::ReadProcessWindow(form);
            return !shown.continueEnabled || shown.rows.size() != rows;
        },
        milliseconds(20000)))
        << "Continue was not taken within 20 s";
}

// Lets every held event before the one showing `row` go on, for at most 20 s;
// fails with what the window shows unless that row is then shown and held.
testing::AssertionResult HeldAt(HWND form, const std::string& row) {
    test::ShownProcessWindow shown;
    const bool held = test::WaitUntil(
        [&] {
            shown = test::ReadProcessWindow(form);
            if (!shown.continueEnabled) return false;
            if (!shown.rows.empty() && shown.rows.back().text == row) return true;
            PressContinue(form);
            return false;
        },
        milliseconds(20000));
    if (held) return testing::AssertionSuccess();
    auto failure = testing::AssertionFailure() << "Continue " << (shown.continueEnabled ? "enabled" : "disabled")
                                               << ", Halt on Event " << (shown.haltOnEventDown ? "down" : "up") << ", the rows:";
    for (size_t i = 0; i < shown.rows.size(); ++i) {
        failure << "\n  " << shown.rows[i].text;
    }
    return failure;
}

class DebuggerTest : public testing::Test {
protected:
    void SetUp() override {
        norvale_ = test::ActivateNorvale();
        ASSERT_TRUE(norvale_);
    }
    void TearDown() override {
        norvale_.reset();
        // A spawn from the frame keeps the server for its user; hidden again,
        // the frame lets the server end with its last client.
        if (const HWND frame = FindWindowA("TMainForm", nullptr)) SendMessageA(frame, WM_CLOSE, 0, 0);
        RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    }
    void Attach(DWORD processId) { norvale::Attach(norvale_.get(), processId); }

    // A whole run of `program` attached to as it starts: checks that it ended
    // with `exitCode` and wrote `output`. No window when it did not show or
    // end in time, and the test has failed.
    struct AttachedRun {
        HWND form = nullptr;
        DWORD processId = 0;
    };
    AttachedRun RunAttached(const std::string& program, uint32_t exitCode, const std::string& output = "") {
        const std::string written = program + ".out";
        test::ChildProcess running("\"" + program + "\"", written);
        Attach(running.Id());
        const HWND form = WaitForProcessForm("Process " + HexOf(running.Id()));
        if (form == nullptr) return ADD_FAILURE() << "no process window within 20 s", AttachedRun{};
        if (!WaitForTerminated(form)) return ADD_FAILURE() << "the run did not end within 30 s", AttachedRun{};
        EXPECT_EQ(running.WaitForExit(20000), exitCode);
        EXPECT_EQ(test::ReadWholeFile(written), output);
        return {form, running.Id()};
    }

    test::OutputSetup output_{std::initializer_list<const char*>{}};
    test::ScratchDirectory dir_;
    ComPtr<INorvale> norvale_;
};

TEST_F(DebuggerTest, AttachShowsEveryEventOfARealDebuggeeInOrder) {
    TestDebuggee debuggee(dir_, "attached",
                          {"awaitdebugger", "string hello", "wstring wide", "dll", "thread 7", "throw", "delphi",
                           "exit 0x1234"});
    const auto [form, processId] = RunAttached(debuggee.Path(), 0x1234);
    ASSERT_NE(form, nullptr);
    // The program's own handlers ran: the debugger did not take its exceptions.
    EXPECT_EQ(debuggee.Progress(), (Texts{"awaitdebugger", "string hello", "wstring wide", "dll", "thread 7",
                                          "caught", "delphi handled"}));

    const auto shown = test::ReadProcessWindow(form);
    EXPECT_EQ(shown.caption, "Process " + HexOf(processId) + " - Terminated");
    // The platform's break-in thread runs beside the program's own, so its
    // breakpoint has no fixed place among the program's events.
    EXPECT_TRUE(RowsInOrder(test::RowTexts(shown),
                            {"Exception Breakpoint \\(80000003\\) flags:00000000 address:" + kPointer +
                             " first chance:Yes"}));
    EXPECT_TRUE(RowsInOrder(test::RowTexts(shown),
                            {"Process " + kUnicodeName + " \\(" + kPointer + "\\) spawned\\.",
                             "Load DLL " + kUnicodeName + " base " + kPointer, "hello", "wide", "Load DLL " + kUnicodeName + " base " + kPointer,
                             "Unload DLL " + kUnicodeName + " base " + kPointer, "Thread " + kPointer + " spawned\\.",
                             "Thread exited with exit code \\$00000007",
                             "Exception Unknown Exception \\(20474343\\) flags:00000000 address:" + kPointer +
                                 " first chance:Yes",
                             "Delphi Exception ENorvaleTest at " + kPointer + " first chance: Yes",
                             "Exception raised at " + kPointer, "Exception object at " + kPointer,
                             "EBX = 0000000022222222", "ESI = 0000000033333333", "EDI = 0000000044444444",
                             "EBP = 0000000055555555", "ESP = 0000000066666666",
                             "Process exited with exit code \\$00001234"}));
    size_t delphiDetails = 0;
    for (const auto& row : shown.rows) delphiDetails += row.indent == 1 && row.image == 0;
    EXPECT_EQ(delphiDetails, 7u);
    // The process node with its details; the unloaded library's node is gone.
    ASSERT_GE(shown.nodes.size(), 3u);
    const auto processes = std::find(shown.nodes.begin(), shown.nodes.end(), test::ShownNode{"Processes", 1, 0});
    ASSERT_NE(processes, shown.nodes.end());
    ASSERT_GE(shown.nodes.end() - processes, 3);
    EXPECT_EQ(processes[1], (test::ShownNode{"[unicode not supported yet]", 4, 1}));
    EXPECT_TRUE(std::regex_match(processes[2].text, std::regex("Process handle = \\$" + kPointer)));
}

TEST_F(DebuggerTest, AttachToAnIdThatNamesNoProcessLeavesAnEmptyTerminatedWindow) {
    Attach(0x7ffffff0);
    const HWND form = WaitForProcessForm("Process 7ffffff0");
    ASSERT_NE(form, nullptr) << "no process window within 20 s";
    ASSERT_TRUE(WaitForTerminated(form)) << "the run did not end within 30 s";
    const auto shown = test::ReadProcessWindow(form);
    EXPECT_EQ(shown.caption, "Process 7ffffff0 - Terminated");
    EXPECT_EQ(shown.nodes, (std::vector<test::ShownNode>{{"Threads", 1, 0}, {"Modules", 1, 0}, {"Processes", 1, 0}}));
    EXPECT_TRUE(shown.rows.empty());
}

// With the option UnicodeNames on, which a refresh brings to the next run: the
// modules show their names (on attach the platform here gives none).
TEST_F(DebuggerTest, SpawnCommandRunsTheChosenProgramWithDebugOnItsCommandLineShowsModulesNamesAndItsChildsEventsUntilItEnds) {
    TestDebuggee child(dir_, "kid", {"string from the child", "exit 0x21"});
    TestDebuggee debuggee(dir_, "spawned", {"commandline", "child kid.exe", "string from the spawned program", "exit 3"});
    WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "UnicodeNames", "1");
    ASSERT_EQ(norvale_->RefreshProperties(), S_OK);
    const HWND frame = FindWindowA("TMainForm", nullptr);
    ASSERT_NE(frame, nullptr);
    DWORD serverId = 0;
    GetWindowThreadProcessId(frame, &serverId);
    PostMessageA(frame, WM_COMMAND, ID_MU_FILESPAWN, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(test::WaitUntil(
        [&] { return (dialog = test::FindProcessWindow(serverId, "#32770", "Spawn Process...", true)) != nullptr; },
        milliseconds(20000)))
        << "no \"Spawn Process...\" dialog within 20 s";
    // The file name box, as the user types into it, then Open.
    constexpr int kFileNameBox = 0x47c;
    SetDlgItemTextA(dialog, kFileNameBox, debuggee.Path().c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);

    const HWND form = WaitForProcessForm("Process " + debuggee.Path());
    ASSERT_NE(form, nullptr) << "no process window within 20 s";
    ASSERT_TRUE(WaitForTerminated(form)) << "the run did not end within 30 s";
    EXPECT_EQ(debuggee.Progress(), (Texts{"commandline " + debuggee.Path() + " /debug", "child kid.exe",
                                          "string from the spawned program"}));
    const auto shown = test::ReadProcessWindow(form);
    EXPECT_EQ(shown.caption, "Process " + debuggee.Path() + " - Terminated");
    EXPECT_TRUE(RowsInOrder(test::RowTexts(shown),
                            {"Process  \\(" + kPointer + "\\) spawned\\.",
                             "Exception Breakpoint \\(80000003\\) flags:00000000 address:" + kPointer +
                                 " first chance:Yes",
                             "from the child", "Process exited with exit code \\$00000021",
                             "from the spawned program", "Process exited with exit code \\$00000003"}));
    const auto kernel32 = std::find_if(shown.nodes.begin(), shown.nodes.end(),
                                       [](const auto& node) { return lstrcmpiA(node.text.c_str(), "kernel32.dll") == 0; });
    ASSERT_TRUE(kernel32 != shown.nodes.end() && kernel32 + 1 != shown.nodes.end()) << "no module node kernel32.dll";
    EXPECT_EQ(lstrcmpiA(kernel32[1].text.c_str(), "Path = C:\\windows\\system32\\"), 0) << kernel32[1].text;
}

TEST_F(DebuggerTest, HaltOnEventHoldsTheDebuggeeAtEachEventUntilContinue) {
    TestDebuggee debuggee(dir_, "halted",
                          {"awaitdebugger", "awaitfile go", "string one", "string two", "string three"});
    test::ChildProcess running("\"" + debuggee.Path() + "\"", dir_.PathOf("halted.out"));
    Attach(running.Id());
    const HWND form = WaitForProcessForm("Process " + HexOf(running.Id()));
    ASSERT_NE(form, nullptr) << "no process window within 20 s";
    HaltOnEvent(form);
    debuggee.Release("go");

    ASSERT_TRUE(HeldAt(form, "one")) << "not held at \"one\" within 20 s";
    EXPECT_EQ(debuggee.Progress(), (Texts{"awaitdebugger", "awaitfile go"}));
    PressContinue(form);
    ASSERT_TRUE(HeldAt(form, "two")) << "not held at \"two\" within 20 s";
    EXPECT_EQ(debuggee.Progress(), (Texts{"awaitdebugger", "awaitfile go", "string one"}));

    // Up again: the held event is let go with Continue, and the rest runs.
    test::ClickToolbarButton(form, 0);
    test::ClickToolbarButton(form, 1);
    ASSERT_TRUE(WaitForTerminated(form)) << "the run did not end within 30 s";
    EXPECT_EQ(running.WaitForExit(20000), 0);
    EXPECT_EQ(debuggee.Progress(),
              (Texts{"awaitdebugger", "awaitfile go", "string one", "string two", "string three"}));
    const auto shown = test::ReadProcessWindow(form);
    EXPECT_FALSE(shown.continueEnabled);
    EXPECT_TRUE(RowsInOrder(test::RowTexts(shown),
                            {"one", "two", "three", "Process exited with exit code \\$00000000"}));
}

TEST_F(DebuggerTest, AFaultingDebuggeeEndsAsItWouldWithoutADebugger) {
    TestDebuggee debuggee(dir_, "faulting", {"awaitdebugger", "fault"});
    const HWND form = RunAttached(debuggee.Path(), 0xC0000005).form;
    ASSERT_NE(form, nullptr);
    const Texts rows = test::RowTexts(test::ReadProcessWindow(form));
    const std::string fault = "Exception Access violation \\(c0000005\\) flags:00000000 address:" + kPointer;
    EXPECT_TRUE(RowsInOrder(rows, {fault + " first chance:Yes", fault + " first chance:No",
                                   "Process exited with exit code \\$c0000005"}));
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [&](const std::string& row) { return std::regex_match(row, std::regex(fault + ".*")); }),
              2);
}

// The detail rows right after the first row that matches `pattern`.
Texts DetailsAfter(const test::ShownProcessWindow& shown, const std::string& pattern) {
    auto row = std::find_if(shown.rows.begin(), shown.rows.end(),
                            [&](const test::ShownRow& r) { return std::regex_match(r.text, std::regex(pattern)); });
    if (row == shown.rows.end()) return {"no row matches " + pattern};
    Texts details;
    while (++row != shown.rows.end() && row->indent == 1) details.push_back(row->text);
    return details;
}

// A crashing program of tests/tools, built with the DWARF the platform reads:
// the exception whose details are its stack, and patterns of its frames, in
// order, the first of them the first frame.
struct CrashingDebuggee {
    const char* program;
    bool stackOnFirstChance;
    uint32_t exitCode;
    std::string output;  // what the runtime writes as it ends the program
    std::string exception;
    Texts frames;
    bool is32Bit = false;  // built only where the 32-bit cross compiler is
};

void PrintTo(const CrashingDebuggee& debuggee, std::ostream* os) { *os << debuggee.program; }

class StackTest : public DebuggerTest, public testing::WithParamInterface<CrashingDebuggee> {};

TEST_P(StackTest, TheExceptionsRowHasTheFaultingThreadsFramesWithFunctionsFilesAndLinesAsItsDetails) {
    const CrashingDebuggee& debuggee = GetParam();
    const std::string built = test::BinDirectory() + debuggee.program, program = dir_.PathOf("invoices.exe");
    if (debuggee.is32Bit && GetFileAttributesA(built.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no 32-bit cross compiler built " << debuggee.program;
    ASSERT_TRUE(CopyFileA(built.c_str(), program.c_str(), FALSE));
    if (debuggee.stackOnFirstChance) {
        WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "StackOnFirstChance", "1");
        ASSERT_EQ(norvale_->RefreshProperties(), S_OK);
    }
    const HWND form = RunAttached(program, debuggee.exitCode, debuggee.output).form;
    ASSERT_NE(form, nullptr);

    const auto shown = test::ReadProcessWindow(form);
    const Texts details = DetailsAfter(shown, debuggee.exception);
    EXPECT_LE(details.size(), 33u);
    ASSERT_FALSE(details.empty());
    EXPECT_TRUE(std::regex_match(details[0], std::regex(debuggee.frames[0])) || debuggee.stackOnFirstChance)
        << details[0];
    EXPECT_TRUE(RowsInOrder(details, debuggee.frames));
    // Without the option a first chance has no stack.
    const std::string firstChance = debuggee.exception.substr(0, debuggee.exception.find(" first chance:"));
    if (!debuggee.stackOnFirstChance) {
        EXPECT_EQ(DetailsAfter(shown, firstChance + " first chance:Yes"), Texts{});
    }
}

const std::string kAccessViolation = "Exception Access violation \\(c0000005\\) flags:00000000 address:";
std::string Frame(const std::string& function, const std::string& fileLine) {
    return "invoices!" + function + "\\+0x[0-9a-f]+ " + fileLine;
}

std::string CrashNameOf(const testing::TestParamInfo<CrashingDebuggee>& info) {
    static const char* const names[] = {"NullWrite", "UncaughtThrow", "JumpThroughABadPointer", "NullWrite32"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(
    EveryCrash, StackTest,
    testing::Values(
        CrashingDebuggee{"norvale_crash_debuggee.exe", false, 0xC0000005, "",
                         kAccessViolation + kPointer + " first chance:No",
                         {Frame("post_invoice", "crash\\.c:16"), Frame("run_batch", "crash\\.c:23"),
                          Frame("main", "crash\\.c:32")}},
        // Its first frame is in the runtime's RaiseException.
        CrashingDebuggee{"norvale_crash_throw_debuggee.exe", true, 3,
                         "terminate called after throwing an instance of 'std::runtime_error'\r\n"
                         "  what():  no invoice\r\n",
                         "Exception Unknown Exception \\(20474343\\) flags:00000000 address:" + kPointer +
                             " first chance:Yes",
                         {Frame("post_invoice", "crash_throw\\.cpp:16"), Frame("run_batch", "crash_throw\\.cpp:20"),
                          Frame("main", "crash_throw\\.cpp:28")}},
        // Its first frame lies in no module: the return address at the
        // stack pointer leads on to its callers.
        CrashingDebuggee{"norvale_crash_jump_debuggee.exe", false, 0xC0000005, "",
                         kAccessViolation + kPointer + " first chance:No",
                         {"0000000012345678", Frame("run_batch", "crash\\.c:21"), Frame("main", "crash\\.c:32")}},
        // Its context comes from WOW64, and its frames in its width.
        CrashingDebuggee{"norvale_crash32_debuggee.exe", false, 0xC0000005, "",
                         kAccessViolation + "[0-9a-f]{8} first chance:No",
                         {Frame("post_invoice", "crash\\.c:16"), Frame("run_batch", "crash\\.c:23"),
                          Frame("main", "crash\\.c:32")},
                         true}),
    CrashNameOf);

// With DumpOnCrash into a folder the run makes, the newest two of the
// program's dumps kept: the second chance's row says where its dump went, an
// older dump of the program goes, and no other file does.
TEST_F(DebuggerTest, ACrashIsDumpedIntoTheFolderWhereTheNewestOfTheProgramsDumpsAreKept) {
    const std::string folder = dir_.PathOf("dumps\\of crashes");
    std::filesystem::create_directories(folder);
    Texts kept = {"faulting_2_20000102-000000.dmp", "faulting_x_1_20000101-000000.dmp", "notes.txt"};
    for (const auto& name : kept) test::WriteWholeFile(folder + "\\" + name, "");
    test::WriteWholeFile(folder + "\\faulting_1_20000101-000000.dmp", "");
    for (const auto& [name, value] : {std::pair{"DumpOnCrash", "1"}, {"DumpFolder", folder.c_str()}, {"DumpKeep", "2"}})
        WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, name, value);
    ASSERT_EQ(norvale_->RefreshProperties(), S_OK);
    TestDebuggee debuggee(dir_, "faulting", {"awaitdebugger", "fault"});
    const auto [form, processId] = RunAttached(debuggee.Path(), 0xC0000005);
    ASSERT_NE(form, nullptr);

    const auto rows = test::ReadProcessWindow(form).rows;
    const auto crash = std::find_if(rows.begin(), rows.end(), [](const test::ShownRow& row) {
        return row.text.starts_with("Exception Access violation") && row.text.ends_with("first chance:No");
    });
    // The dump's row is the last of the exception's details, after its stack.
    auto dumped = crash;
    while (dumped + 1 != rows.end() && dumped[1].indent == 1) ++dumped;
    ASSERT_TRUE(dumped != crash) << "no second chance with a row after it";
    const std::string name = "faulting_" + std::to_string(processId) + "_[0-9]{8}-[0-9]{6}\\.dmp";
    const std::string prefix = "Dump written to " + folder + "\\";
    const std::string written = dumped->text.substr(std::min(prefix.size(), dumped->text.size()));
    ASSERT_TRUE(dumped->text.starts_with(prefix) && std::regex_match(written, std::regex(name))) << dumped->text;
    kept.push_back(written);
    Texts left;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(left, kept);
    EXPECT_TRUE(test::IsDumpOfCrash(folder + "\\" + written, "faulting.exe", 0xC0000005));
}

TEST_F(DebuggerTest, ACrashWhoseDumpCannotBeWrittenSaysWhyAndTheProgramEndsAllTheSame) {
    WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "DumpOnCrash", "1");
    WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "DumpFolder", "dumps\\here");
    ASSERT_EQ(norvale_->RefreshProperties(), S_OK);
    TestDebuggee debuggee(dir_, "unsaved", {"awaitdebugger", "fault"});
    const HWND form = RunAttached(debuggee.Path(), 0xC0000005).form;
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(RowsInOrder(test::RowTexts(test::ReadProcessWindow(form)),
                            {"Exception Access violation .* first chance:No",
                             R"(Dump not written: the folder dumps\\here is not a full path)",
                             "Process exited with exit code \\$c0000005"}));
}


// The program's last trace line, then its crash with the stack's frames as
// further lines, then its failed exit: one timeline in the output file and in
// the trace window.
TEST_F(DebuggerTest, ACrashAndTheFailedExitFollowTheProgramsLastTraceLineInTheFileAndTheTraceWindow) {
    // The session ends before the fault: a crashed client's reference would
    // keep the server for as long as the platform takes to see it gone.
    TestDebuggee debuggee(dir_, "traced", {"awaitdebugger", "trace posting invoice 7", "endtrace", "fault"});
    output_.Set("IncludeModule", "1");
    ASSERT_EQ(norvale_->RefreshProperties(), S_OK);
    const HWND form = RunAttached(debuggee.Path(), 0xC0000005).form;
    ASSERT_NE(form, nullptr);

    const std::string exited = "Process exited with exit code \\$c0000005";
    const Texts timeline = {"Batch posting invoice 7", "traced\\.exe Access violation at Fault \\(test_debuggee\\.cpp:[0-9]+\\)",
                            " +traced!Fault\\+0x[0-9a-f]+ test_debuggee\\.cpp:[0-9]+",
                            " +traced!main\\+0x[0-9a-f]+ test_debuggee\\.cpp:[0-9]+", "traced\\.exe " + exited};
    EXPECT_TRUE(test::WaitUntil([&] { return std::regex_match(output_.LastLine(), std::regex(timeline.back())); },
                                std::chrono::seconds(20)))
        << "the output file did not end with the exit within 20 s: " << output_.LastLine();
    EXPECT_TRUE(RowsInOrder(output_.Lines(), timeline));

    DWORD server = 0;
    GetWindowThreadProcessId(FindWindowA("TMainForm", nullptr), &server);
    Texts rows;
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            rows.clear();
            for (const std::wstring& message : test::Messages(test::ReadTraceWindow(test::FindTraceWindow(server))))
                rows.push_back(WideToUtf8(message));
            return !rows.empty() && std::regex_match(rows.back(), std::regex(exited));
        },
        std::chrono::seconds(20)))
        << "the trace window did not end with the exit within 20 s";
    EXPECT_TRUE(RowsInOrder(rows, {"posting invoice 7", "Access violation at Fault \\(test_debuggee\\.cpp:[0-9]+\\)",
                                   "traced!Fault\\+.*", "traced!main\\+.*", exited}));
}

TEST(DebuggerShutdownTest, AServerThatEndsWhileItHoldsADebuggeeEndsCleanlyAndTheDebuggeeWithIt) {
    test::OutputSetup output({});
    test::ScratchDirectory dir;
    TestDebuggee debuggee(dir, "held", {"awaitdebugger", "awaitfile go", "string held"});
    test::ChildProcess running("\"" + debuggee.Path() + "\"", dir.PathOf("held.out"));
    {
        // Its destructor ends it as a user would and expects exit code 0 and
        // nothing on standard error.
        test::ServerProcess server;
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        Attach(norvale.get(), running.Id());
        const HWND form = WaitForProcessForm("Process " + HexOf(running.Id()));
        ASSERT_NE(form, nullptr) << "no process window within 20 s";
        HaltOnEvent(form);
        debuggee.Release("go");
        ASSERT_TRUE(HeldAt(form, "held")) << "not held at \"held\" within 20 s";
    }
    EXPECT_NE(running.WaitForExit(20000), -1) << "the debuggee outlived its debugger by 20 s";
    EXPECT_EQ(debuggee.Progress(), (Texts{"awaitdebugger", "awaitfile go"}));
}

// How the frame of a server a client started stands when the last client
// lets go of it: whatever a process window of an attach did, only the user's
// showing keeps the process.
enum class FrameAtTheEnd { MaybeShownByTheAttach, ShownByTheAttach, ShownByTheUser };

class LastClientTest : public testing::TestWithParam<FrameAtTheEnd> {};

TEST_P(LastClientTest, AnAttachingClientsServerEndsWithItUnlessTheUserShowedTheFrame) {
    test::OutputSetup output({});
    test::ServerProcess server("-Embedding");
    HWND frame = nullptr;
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        frame = test::FindProcessWindow(server.Process().Id(), "TMainForm");
        ASSERT_NE(frame, nullptr);
        if (GetParam() == FrameAtTheEnd::ShownByTheUser) SendMessageA(frame, WM_COMMAND, ID_AC_SHOWDEBUGWINDOW, 0);
        Attach(norvale.get(), 0x7ffffff0);
        if (GetParam() != FrameAtTheEnd::MaybeShownByTheAttach) {
            ASSERT_NE(WaitForProcessForm("Process 7ffffff0"), nullptr) << "no process window within 20 s";
            ASSERT_TRUE(test::WaitUntil([&] { return IsWindowVisible(frame) != FALSE; }, milliseconds(20000)))
                << "the frame was not shown within 20 s of the process window";
        }
    }
    if (GetParam() == FrameAtTheEnd::ShownByTheUser) {
        EXPECT_EQ(server.Process().WaitForExit(3000), -1) << "ended with its last client while the user had its frame";
        SendMessageA(frame, WM_COMMAND, ID_AC_CLOSE, 0);
    }
    EXPECT_EQ(server.Process().WaitForExit(10000), 0) << "the server did not end within 10 s";
}

std::string NameOf(const testing::TestParamInfo<FrameAtTheEnd>& frame) {
    static const char* const names[] = {"MaybeShownByTheAttach", "ShownByTheAttach", "ShownByTheUser"};
    return names[static_cast<int>(frame.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryWay, LastClientTest,
                         testing::Values(FrameAtTheEnd::MaybeShownByTheAttach, FrameAtTheEnd::ShownByTheAttach,
                                         FrameAtTheEnd::ShownByTheUser),
                         NameOf);

}  // namespace
}  // namespace norvale
