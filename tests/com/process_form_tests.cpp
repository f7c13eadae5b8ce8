// The process window in the test process, inside a frame of the test's own:
// synthetic events (also those the platform here never delivers) as rows and
// nodes, "Halt on Event" and "Continue" with the debugger thread's side, the
// end of a run and closing, also of a run whose thread could not start, and
// "Save dump…" of a real debuggee held at its crash.

#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <future>
#include <regex>
#include <system_error>

#include "common/ansi_text.h"
#include "common/utf8_text.h"
#include "debugger/debug_runs.h"
#include "debugger/process_form.h"
#include "tests_support/child_process.h"
#include "tests_support/debug_window_reader.h"
#include "tests_support/message_pump.h"
#include "tests_support/minidump_reader.h"
#include "tests_support/paths.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

using Texts = std::vector<std::string>;
using test::ShownNode;
using test::ShownRow;

// A plain document frame, hidden, that counts how often it was shown.
class TestFrame final : public TWindow, public IProcessWindowHost {
public:
    TestFrame() {
        Create("NorvaleTestFrame", 0, "frame", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800, 600, nullptr,
               nullptr);
        CLIENTCREATESTRUCT client{nullptr, 50000};
        area_ = CreateWindowExA(0, "MDICLIENT", nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 780, 560,
                                Handle(), nullptr, GetModuleHandleA(nullptr), &client);
    }
    ~TestFrame() override { DestroyHandle(); }
    HWND DocumentArea() const override { return area_; }
    void ShowDebugWindow() override { ++shown; }
    std::optional<std::wstring> ChooseDumpFileToSave(HWND) override {
        ++dumpsAsked;
        return dumpPath;
    }
    int shown = 0;
    int dumpsAsked = 0;
    std::optional<std::wstring> dumpPath;

protected:
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) override {
        return DefFrameProcA(Handle(), area_, message, wParam, lParam);
    }

private:
    HWND area_ = nullptr;
};

DebugEventCopy Event(uint32_t code, int pointerSize = 8) {
    DebugEventCopy copy;
    copy.event.code = code;
    copy.pointerSize = pointerSize;
    return copy;
}

class ProcessFormTest : public testing::Test {
protected:
    ProcessFormTest() {
        form_ = std::make_unique<TProcessForm>(frame_, "C:\\Tools\\app.exe", false, [this](TProcessForm&) { ++closed_; });
    }
    test::ShownProcessWindow Shown() const { return test::ReadProcessWindow(form_->Handle()); }
    // Hands the events over as the debugger thread does and waits until the
    // window has taken them.
    void Hand(std::vector<DebugEventCopy> events) {
        const size_t before = Shown().rows.size();
        size_t rows = 0;
        for (auto& copy : events) {
            rows += copy.event.code == kExceptionEvent && copy.event.exceptionCode == kDelphiExceptionCode
                        ? 1 + copy.event.numberParameters
                        : 1;
            form_->HandOver()->PostDebugEvent(std::move(copy));
        }
        ASSERT_TRUE(test::ServeMessagesUntil([&] { return Shown().rows.size() == before + rows; }))
            << "the window did not show " << rows << " rows within 20 s";
    }

    TestFrame frame_;
    int closed_ = 0;
    std::unique_ptr<TProcessForm> form_;
};

TEST_F(ProcessFormTest, StartsWithCaptionTheThreeRootsAndContinueDisabledAndShowsTheFrame) {
    const auto shown = Shown();
    EXPECT_EQ(shown.caption, "Process C:\\Tools\\app.exe");
    EXPECT_EQ(shown.nodes, (std::vector<ShownNode>{{"Threads", 1, 0}, {"Modules", 1, 0}, {"Processes", 1, 0}}));
    EXPECT_TRUE(shown.rows.empty());
    EXPECT_FALSE(shown.haltOnEventDown);
    EXPECT_FALSE(shown.continueEnabled);
    EXPECT_FALSE(shown.saveDumpEnabled);
    EXPECT_EQ(frame_.shown, 1);
    wchar_t text[64] = {};
    const HWND toolbar = FindWindowExA(form_->Handle(), nullptr, TOOLBARCLASSNAMEA, nullptr);
    SendMessageW(toolbar, TB_GETBUTTONTEXTW, 3, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::wstring(text), L"Save dump\u2026");
}

TEST_F(ProcessFormTest, EventsBecomeRowsAndNodesInOrder) {
    DebugEventCopy process = Event(kCreateProcessEvent, 4);
    process.event.process = 0x1c;
    process.texts.imageName = "[unicode not supported yet]";
    DebugEventCopy thread = Event(kCreateThreadEvent, 4);
    thread.event.thread = 0x24;
    DebugEventCopy dll = Event(kLoadDllEvent, 4);
    dll.event.baseOfDll = 0x10000000;
    DebugEventCopy unload = Event(kUnloadDllEvent, 4);
    unload.event.baseOfDll = 0x10000000;
    DebugEventCopy delphi = Event(kExceptionEvent, 4);
    delphi.event.exceptionCode = kDelphiExceptionCode;
    delphi.event.numberParameters = 8;
    delphi.texts.delphiClassName = "EFail";
    DebugEventCopy text = Event(kOutputDebugStringEvent, 4);
    text.texts.debugString = "hello";
    DebugEventCopy rip = Event(kRipEvent, 4);
    rip.event.ripError = 5;
    rip.event.ripType = 1;
    Hand({process, thread, dll, unload, unload, delphi, text, rip, Event(42, 4)});

    const auto shown = Shown();
    EXPECT_EQ(shown.rows, (std::vector<ShownRow>{
                              {"Process [unicode not supported yet] (0000001c) spawned.", 4, 0},
                              {"Thread 00000024 spawned.", 2, 0},
                              {"Load DLL  base 10000000", 3, 0},
                              {"Unload DLL  base 10000000", 3, 0},
                              {"Unload DLL base 10000000", 3, 0},
                              {"Delphi Exception EFail at 00000000 first chance: No", 6, 0},
                              {"Exception raised at 00000000", 0, 1},
                              {"Exception object at 00000000", 0, 1},
                              {"EBX = 00000000", 0, 1},
                              {"ESI = 00000000", 0, 1},
                              {"EDI = 00000000", 0, 1},
                              {"EBP = 00000000", 0, 1},
                              {"ESP = 00000000", 0, 1},
                              {"", 0, 1},
                              {"hello", 5, 0},
                              {"RIP error:00000005 type:00000001", 5, 0},
                              {"Unknown event of type0000002a", 5, 0},
                          }));
    // The module's node went with its first unload; the others stay.
    EXPECT_EQ(shown.nodes, (std::vector<ShownNode>{
                               {"Threads", 1, 0},
                               {"00000024", 2, 1},
                               {"Thread handle = $00000024", 0, 2},
                               {"Start address = $00000000", 0, 2},
                               {"Thread data at $00000000", 0, 2},
                               {"Modules", 1, 0},
                               {"Processes", 1, 0},
                               {"[unicode not supported yet]", 4, 1},
                               {"Process handle = $0000001c", 0, 2},
                               {"Thread handle = $00000000", 0, 2},
                               {"Start address = $00000000", 0, 2},
                               {"Thread data at $00000000", 0, 2},
                               {"Image base = $00000000", 0, 2},
                               {"Image path = ", 0, 2},
                           }));
}

// The platform here hands a program's UTF-16 debug strings over as 8-bit
// text: only a synthetic event brings one.
TEST_F(ProcessFormTest, AUtf16DebugStringShowsAsItIsWithUnicodeNamesAndThroughTheCodePageWithout) {
    DebugEventCopy copy = Event(kOutputDebugStringEvent);
    copy.event.unicode = 1;
    const std::wstring& text = copy.texts.wideDebugString = L"Gr\u00fc\u00dfe \u2013 \u4e2d\u6587 \u2713 \U0001F600";
    for (const bool on : {true, false}) {
        form_ = std::make_unique<TProcessForm>(frame_, "C:\\Tools\\app.exe", on, [](TProcessForm&) {});
        Hand({copy});
        EXPECT_EQ(test::RowTexts(Shown()), Texts{on ? WideToUtf8(text) : AnsiToUtf8(WideToAnsi(text))}) << on;
    }
}

TEST_F(ProcessFormTest, ContinueIsEnabledForAHeldEventAndReleasesTheThreadOnce) {
    test::ClickToolbarButton(form_->Handle(), 0);
    ASSERT_TRUE(test::ServeMessagesUntil([&] { return form_->HandOver()->IsHaltOnEvent(); }))
        << "Halt on Event did not reach the hand-over within 20 s";
    EXPECT_TRUE(Shown().haltOnEventDown);

    DebugEventCopy held = Event(kOutputDebugStringEvent);
    held.halted = true;
    Hand({held});
    EXPECT_TRUE(Shown().continueEnabled);
    EXPECT_TRUE(Shown().saveDumpEnabled);
    auto released = std::async(std::launch::async, [&] { return form_->HandOver()->WaitForContinue(); });
    test::ClickToolbarButton(form_->Handle(), 1);
    ASSERT_TRUE(test::ServeMessagesUntil([&] { return released.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }))
        << "Continue did not release the thread within 20 s";
    EXPECT_TRUE(released.get());
    EXPECT_FALSE(Shown().continueEnabled);
    EXPECT_FALSE(Shown().saveDumpEnabled);

    // An event the thread did not hold leaves Continue disabled, whatever
    // the button says now.
    Hand({Event(kOutputDebugStringEvent)});
    EXPECT_FALSE(Shown().continueEnabled);
}

TEST_F(ProcessFormTest, CloseMinimisesWhileTheRunGoesOnAndHandsTheWindowBackAfterItsEnd) {
    SendMessageA(form_->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsIconic(form_->Handle()));
    EXPECT_EQ(closed_, 0);

    form_->HandOver()->PostDebugEvent(Event(kExitProcessEvent));
    form_->HandOver()->SetTerminated();
    ASSERT_TRUE(test::ServeMessagesUntil([&] { return form_->Terminated(); })) << "not terminated within 20 s";
    const auto shown = Shown();
    EXPECT_EQ(shown.caption, "Process C:\\Tools\\app.exe - Terminated");
    EXPECT_EQ(test::RowTexts(shown), Texts{"Process exited with exit code $00000000"});
    SendMessageA(form_->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(closed_, 1);
}

TEST_F(ProcessFormTest, AWindowThatGoesStopsItsHandOver) {
    const auto handOver = form_->HandOver();
    form_.reset();
    EXPECT_TRUE(handOver->Stopped());
    EXPECT_FALSE(handOver->PostDebugEvent(Event(kOutputDebugStringEvent)));
}

// The debugger thread, which holds the event, writes the dump while the
// window goes on; the debuggee stays held until Continue, then ends as it would.
TEST_F(ProcessFormTest, SaveDumpWritesTheDebuggeeHeldAtItsCrashWithTheExceptionToTheChosenFile) {
    test::ScratchDirectory dir;
    const std::string program = dir.PathOf("saved.exe"), path = dir.PathOf("saved.dmp");
    ASSERT_TRUE(CopyFileA((test::BinDirectory() + "norvale_test_debuggee.exe").c_str(), program.c_str(), FALSE));
    test::WriteWholeFile(dir.PathOf("saved.steps"), "awaitdebugger\r\nfault\r\n");
    test::ChildProcess running("\"" + program + "\"", dir.PathOf("saved.out"));
    form_->HandOver()->SetHaltOnEvent(true);
    const auto thread = TDebugProcessThread::CreateForAttach(form_->HandOver(), running.Id());
    const auto press = [&](int button) {
        SendMessageA(form_->Handle(), WM_COMMAND, button,
                     reinterpret_cast<LPARAM>(FindWindowExA(form_->Handle(), nullptr, TOOLBARCLASSNAMEA, nullptr)));
    };
    const std::regex secondChance("Exception Access violation .* address:([0-9a-f]{16}) first chance:No");
    std::smatch crash;
    std::string row;
    ASSERT_TRUE(test::ServeMessagesUntil([&] {
        const auto shown = Shown();
        if (!shown.continueEnabled) return false;
        // The event's own row, before its stack's detail rows.
        const auto last = std::find_if(shown.rows.rbegin(), shown.rows.rend(), [](const auto& r) { return r.indent == 0; });
        if (last != shown.rows.rend() && std::regex_match(row = last->text, crash, secondChance)) return true;
        return press(2), false;
    })) << "not held at the access violation's second chance within 20 s";
    EXPECT_TRUE(Shown().saveDumpEnabled);
    frame_.dumpPath = std::wstring(path.begin(), path.end());
    press(3);
    EXPECT_EQ(frame_.dumpsAsked, 1);
    ASSERT_TRUE(test::ServeMessagesUntil([&] { return Shown().rows.back().text.starts_with("Dump"); }))
        << "no dump's row within 20 s";
    EXPECT_EQ(Shown().rows.back(), (test::ShownRow{"Dump written to " + path, 0, 1}));
    EXPECT_TRUE(Shown().continueEnabled) << "the dump let the debuggee go";
    EXPECT_TRUE(test::IsDumpOfCrash(path, "saved.exe", 0xC0000005, std::stoull(crash[1].str(), nullptr, 16)));
    ASSERT_TRUE(test::ServeMessagesUntil([&] {
        if (Shown().continueEnabled) press(2);
        return form_->Terminated();
    })) << "the run did not end within 20 s";
    EXPECT_EQ(running.WaitForExit(20000), 0xC0000005);
    EXPECT_EQ(test::ReadWholeFile(dir.PathOf("saved.out")), "");
}

TEST(DebugRunsTest, ARunWhoseThreadCannotStartEndsTerminatedAndClosableAndTheCallerHearsWhy) {
    TestFrame frame;
    const TDebugRunsOptions options;
    TDebugRuns runs(frame, options, [](auto&&...) -> std::unique_ptr<TDebugProcessThread> {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    EXPECT_THROW(runs.Spawn("C:\\Tools\\app.exe"), std::system_error);
    const HWND form = FindWindowExA(frame.DocumentArea(), nullptr, "TProcessForm", nullptr);
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(test::ServeMessagesUntil(
        [&] { return test::ReadProcessWindow(form).caption == "Process C:\\Tools\\app.exe - Terminated"; }))
        << "the window did not show the run's end within 20 s";
    SendMessageA(form, WM_CLOSE, 0, 0);
    EXPECT_TRUE(test::ServeMessagesUntil([&] { return !IsWindow(form); })) << "the window did not go within 20 s";
}

}  // namespace
}  // namespace norvale
