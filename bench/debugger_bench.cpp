// Debug events per second under Wine, from a debuggee that writes 20,000
// debug strings as fast as it can: (a) the debugger's own run, its thread
// handing every event to a process window in an MDI frame served by this
// thread, against (b) a bare debug loop in this process that only counts and
// continues, the floor any debugger has. Meanwhile during (a) a second thread
// asks the frame for a WM_NULL answer every 10 ms and keeps the longest round
// trip: how long the main window stops answering while the events pour in.
// Three interleaved rounds; prints each, the medians and the ratio a/b.

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/text.h"
#include "common/window_win32.h"
#include "debugger/debug_runs.h"
#include "debugger/process_form.h"

namespace norvale {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStrings = 20000;
constexpr int kRounds = 3;
constexpr auto kRunLimit = std::chrono::seconds(120);
constexpr DWORD kAnswerLimitMs = 10000;
constexpr DWORD kAskEveryMs = 10;

struct RunFigures {
    long long events = 0;
    double seconds = 0;
    double PerSecond() const { return events / seconds; }
};

std::string OwnFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return PathPartOfPath(path);
}

double Seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The debuggee reads its steps from a file named after itself, so it gets a
// folder and a name of its own, out of the way of the tests' copies.
bool PrepareDebuggee(const std::string& folder, const std::string& program) {
    CreateDirectoryA(folder.c_str(), nullptr);
    if (!CopyFileA((OwnFolder() + "norvale_test_debuggee.exe").c_str(), program.c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy norvale_test_debuggee.exe to %s\n", program.c_str());
        return false;
    }
    const std::string steps = folder + "bench_debuggee.steps";
    FILE* file = std::fopen(steps.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", steps.c_str());
        return false;
    }
    std::fprintf(file, "strings %d\r\n", kStrings);
    std::fclose(file);
    return true;
}

bool RunBareLoop(const std::string& program, RunFigures& figures) {
    std::string commandLine = program + " /debug";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    const auto start = Clock::now();
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DEBUG_PROCESS, nullptr, nullptr,
                        &startup, &created)) {
        std::fprintf(stderr, "the bare loop cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return false;
    }
    CloseHandle(created.hThread);
    const auto deadline = start + kRunLimit;
    long long events = 0;
    for (;;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 1000)) {
            if (Clock::now() < deadline) continue;
            std::fprintf(stderr, "the bare loop saw no exit of the debuggee within 120 s (%lld events by then)\n",
                         events);
            TerminateProcess(created.hProcess, 1);
            DebugActiveProcessStop(created.dwProcessId);
            CloseHandle(created.hProcess);
            return false;
        }
        ++events;
        HANDLE file = nullptr;
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) file = event.u.CreateProcessInfo.hFile;
        if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) file = event.u.LoadDll.hFile;
        if (file != nullptr && file != INVALID_HANDLE_VALUE) CloseHandle(file);
        // Only the loader's breakpoint is the debugger's to take; any other
        // exception goes back to the debuggee's own handlers, as a debugger
        // that does not handle it would.
        DWORD status = DBG_CONTINUE;
        if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
            event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            status = DBG_EXCEPTION_NOT_HANDLED;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) break;
    }
    figures.events = events;
    figures.seconds = Seconds(Clock::now() - start);
    CloseHandle(created.hProcess);
    return true;
}

// The least a frame must be for the process windows: an MDI frame, shown
// when a run asks, so the list really paints as the events come.
class BenchFrame final : public TWindow, public IProcessWindowHost {
public:
    BenchFrame() {
        Create("NorvaleBenchFrame", 0, "debugger bench", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800, 600,
               nullptr, nullptr);
        CLIENTCREATESTRUCT client{nullptr, 50000};
        area_ = CreateWindowExA(0, "MDICLIENT", nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 780, 560,
                                Handle(), nullptr, GetModuleHandleA(nullptr), &client);
    }
    ~BenchFrame() override { DestroyHandle(); }
    HWND DocumentArea() const override { return area_; }
    void ShowDebugWindow() override { ShowWindow(Handle(), SW_SHOWNORMAL); }

protected:
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) override {
        return DefFrameProcA(Handle(), area_, message, wParam, lParam);
    }

private:
    HWND area_ = nullptr;
};

bool EndsTerminated(HWND form) {
    constexpr std::string_view kEnd = " - Terminated";
    char caption[1024] = {};
    const int length = GetWindowTextA(form, caption, sizeof caption);
    return length >= static_cast<int>(kEnd.size()) && std::string_view(caption, length).ends_with(kEnd);
}

// Asks the frame for an answer every few milliseconds until told to stop and
// keeps the longest wait; an answer that never came counts as the whole limit.
// Made and stopped on the frame's thread.
class AnswerWatch {
public:
    explicit AnswerWatch(HWND frame) : thread_([this, frame] { Watch(frame); }) {}
    ~AnswerWatch() { Stop(); }
    // The question in flight is answered while stopping: a plain join would
    // leave it waiting for the whole limit and count that as an answer time.
    void Stop() {
        stop_ = true;
        while (!done_) {
            MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_SENDMESSAGE, 0);
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
        }
        if (thread_.joinable()) thread_.join();
    }
    double LongestMs() const { return longestMs_; }
    int Unanswered() const { return unanswered_; }

private:
    void Watch(HWND frame) {
        while (!stop_) {
            const auto asked = Clock::now();
            DWORD_PTR answer = 0;
            if (!SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerLimitMs, &answer)) ++unanswered_;
            longestMs_ = std::max(longestMs_, Seconds(Clock::now() - asked) * 1000);
            Sleep(kAskEveryMs);
        }
        done_ = true;
    }
    std::atomic<bool> stop_ = false;
    std::atomic<bool> done_ = false;
    double longestMs_ = 0;
    int unanswered_ = 0;
    std::thread thread_;
};

bool RunWithWindow(BenchFrame& frame, const std::string& program, RunFigures& figures, double& longestAnswerMs) {
    AnswerWatch watch(frame.Handle());
    TDebugRuns runs(frame);
    const auto start = Clock::now();
    try {
        runs.Spawn(program);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "the debugger could not start its run: %s\n", error.what());
        return false;
    }
    const HWND form = FindWindowExA(frame.DocumentArea(), nullptr, "TProcessForm", nullptr);
    const HWND list = form == nullptr ? nullptr : FindWindowExA(form, nullptr, WC_LISTVIEWA, nullptr);
    if (list == nullptr) {
        std::fprintf(stderr, "no process window with an event list appeared in the frame\n");
        return false;
    }
    // A real message loop sleeps until something comes; the wait is short
    // only so that the deadline is checked.
    const auto deadline = start + kRunLimit;
    while (!EndsTerminated(form)) {
        if (Clock::now() > deadline) {
            std::fprintf(stderr,
                         "the process window did not show \" - Terminated\" within 120 s (%ld rows by then)\n",
                         static_cast<long>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)));
            return false;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    figures.seconds = Seconds(Clock::now() - start);
    figures.events = SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    watch.Stop();
    longestAnswerMs = watch.LongestMs();
    if (watch.Unanswered() > 0)
        std::printf("  the frame left %d requests unanswered within %lu ms\n", watch.Unanswered(), kAnswerLimitMs);
    return true;
}

int Run() {
    InitCommonControls();
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "norvale_debugger_bench\\";
    const std::string program = folder + "bench_debuggee.exe";
    if (!PrepareDebuggee(folder, program)) return 1;

    BenchFrame frame;
    std::vector<double> windowRates;
    std::vector<double> bareRates;
    double longestAnswerMs = 0;
    for (int round = 0; round < kRounds; ++round) {
        RunFigures window;
        RunFigures bare;
        double answerMs = 0;
        if (!RunWithWindow(frame, program, window, answerMs)) return 1;
        if (!RunBareLoop(program, bare)) return 1;
        windowRates.push_back(window.PerSecond());
        bareRates.push_back(bare.PerSecond());
        longestAnswerMs = std::max(longestAnswerMs, answerMs);
        std::printf(
            "round %d: process window %lld events in %.2f s = %.0f/s (longest answer %.0f ms); "
            "bare loop %lld events in %.2f s = %.0f/s; a/b = %.2f\n",
            round + 1, window.events, window.seconds, window.PerSecond(), answerMs, bare.events, bare.seconds,
            bare.PerSecond(), window.PerSecond() / bare.PerSecond());
        std::fflush(stdout);
    }
    DeleteFileA(program.c_str());
    DeleteFileA((folder + "bench_debuggee.steps").c_str());
    DeleteFileA((folder + "bench_debuggee.progress").c_str());
    RemoveDirectoryA(folder.c_str());

    const double a = Median(windowRates);
    const double b = Median(bareRates);
    std::printf("events/s over %d rounds of %d strings: process window %.0f (%.0f to %.0f), bare loop %.0f (%.0f to %.0f)\n",
                kRounds, kStrings, a, *std::min_element(windowRates.begin(), windowRates.end()),
                *std::max_element(windowRates.begin(), windowRates.end()), b,
                *std::min_element(bareRates.begin(), bareRates.end()),
                *std::max_element(bareRates.begin(), bareRates.end()));
    std::printf("a/b = %.2f (process window against the bare loop)\n", a / b);
    std::printf("longest answer of the frame during the window runs: %.0f ms\n", longestAnswerMs);
    return 0;
}

}  // namespace
}  // namespace norvale

int main() { return norvale::Run(); }
