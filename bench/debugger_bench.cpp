// Debug events per second under Wine, from a debuggee that writes 20,000
// debug strings as fast as it can: (a) the debugger's own run, its thread
// handing every event to a process window in an MDI frame served by this
// thread, against (b) a debug loop in this process that reads each string out
// of the debuggee as the debugger does and continues, the floor of any
// debugger that shows the right text, and (c) a bare loop that only counts
// and continues. Meanwhile during (a) a second thread asks the frame for a
// WM_NULL answer every 10 ms and keeps the longest round trip: how long the
// main window stops answering while the events pour in. Interleaved rounds;
// prints each, the medians with their spread and the ratio a/b. Then one more
// run of (a) and of (b) with the profile recording says where the time goes.
// Then (a) and (b) over a debuggee that throws and catches 20,000 times, with
// the defaults, where no first chance gets its stack; and a debug loop that
// walks the stack of each of 1,000 thrown exceptions with the debugger's own
// symbols, as its thread does with StackOnFirstChance on, timing the walk
// apart from the rest of the event.

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/call_profile.h"
#include "common/text.h"
#include "common/win32_resources.h"
#include "common/window_win32.h"
#include "debugger/debug_event_win32.h"
#include "debugger/debug_runs.h"
#include "debugger/debuggee_memory.h"
#include "debugger/exception_stack_win32.h"
#include "debugger/process_form.h"

namespace norvale {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStrings = 20000;
// First-chance exceptions: of a debuggee that throws and catches, in the
// process window with the defaults, and walked with StackOnFirstChance on.
constexpr int kThrows = 20000;
constexpr int kWalks = 1000;
constexpr int kRounds = 5;
constexpr auto kRunLimit = std::chrono::seconds(120);
constexpr DWORD kAnswerLimitMs = 10000;
constexpr DWORD kAskEveryMs = 10;
constexpr std::string_view kCleanExit = "Process exited with exit code $00000000";

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

// "median (lowest to highest)", each in `format`.
std::string Spread(const std::vector<double>& values, const char* format) {
    const std::string pattern = std::string(format) + " (" + format + " to " + format + ")";
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    char text[128];
    std::snprintf(text, sizeof text, pattern.c_str(), Median(values), *low, *high);
    return text;
}

std::string StepsPathOf(const std::string& program) { return program.substr(0, program.size() - 4) + ".steps"; }

std::string Repeated(const std::string& step, int count) {
    std::string steps;
    for (int i = 0; i < count; ++i) steps += step + "\r\n";
    return steps;
}

// The debuggee reads its steps from a file named after itself, so it gets a
// folder and a name of its own, out of the way of the tests' copies.
bool PrepareDebuggee(const std::string& folder, const std::string& program, const std::string& stepsText) {
    CreateDirectoryA(folder.c_str(), nullptr);
    if (!CopyFileA((OwnFolder() + "norvale_test_debuggee.exe").c_str(), program.c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy norvale_test_debuggee.exe to %s\n", program.c_str());
        return false;
    }
    const std::string steps = StepsPathOf(program);
    FILE* file = std::fopen(steps.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", steps.c_str());
        return false;
    }
    std::fwrite(stepsText.data(), 1, stepsText.size(), file);
    std::fclose(file);
    return true;
}

// (b) with `readStrings`, else (c). Timed in the stages of the debugger's
// thread, so that the profile sets the two side by side.
bool RunLoop(const std::string& program, bool readStrings, RunFigures& figures) {
    const char* const name = readStrings ? "the reading loop" : "the bare loop";
    std::string commandLine = program + " /debug";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    const auto start = Clock::now();
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DEBUG_PROCESS, nullptr, nullptr,
                        &startup, &created)) {
        std::fprintf(stderr, "%s cannot start %s (error %lu)\n", name, program.c_str(), GetLastError());
        return false;
    }
    const UniqueHandle thread(created.hThread);
    const UniqueHandle process(created.hProcess);
    TProcessMemory memory(process.get());
    const auto deadline = start + kRunLimit;
    long long events = 0;
    for (;;) {
        DEBUG_EVENT event{};
        bool received = false;
        {
            const TStageTimer timer(CallStage::DebugWait);
            received = WaitForDebugEvent(&event, 1000) != FALSE;
        }
        if (!received) {
            if (Clock::now() < deadline) continue;
            std::fprintf(stderr, "%s saw no exit of the debuggee within 120 s (%lld events by then)\n", name, events);
            TerminateProcess(process.get(), 1);
            DebugActiveProcessStop(created.dwProcessId);
            return false;
        }
        ++events;
        HANDLE file = nullptr;
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) file = event.u.CreateProcessInfo.hFile;
        if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) file = event.u.LoadDll.hFile;
        const UniqueHandle eventFile(file == INVALID_HANDLE_VALUE ? nullptr : file);
        if (readStrings && event.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT) {
            const TStageTimer timer(CallStage::DebugRead);
            const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
            const auto data = reinterpret_cast<uintptr_t>(info.lpDebugStringData);
            if (info.fUnicode != 0) {
                ReadWideDebugString(memory, data, info.nDebugStringLength);
            } else {
                ReadDebugString(memory, data, info.nDebugStringLength);
            }
        }
        // Only the loader's breakpoint is the debugger's to take; any other
        // exception goes back to the debuggee's own handlers, as a debugger
        // that does not handle it would.
        DWORD status = DBG_CONTINUE;
        if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
            event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            status = DBG_EXCEPTION_NOT_HANDLED;
        {
            const TStageTimer timer(CallStage::DebugContinue);
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        }
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
            if (event.u.ExitProcess.dwExitCode != 0) {
                std::fprintf(stderr, "the debuggee of %s exited with %lu\n", name, event.u.ExitProcess.dwExitCode);
                return false;
            }
            break;
        }
    }
    figures.events = events;
    figures.seconds = Seconds(Clock::now() - start);
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
    std::optional<std::wstring> ChooseDumpFileToSave(HWND) override { return std::nullopt; }

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

std::string LastRow(HWND list) {
    const LRESULT count = SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    char text[256] = {};
    LVITEMA item{};
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (count > 0) SendMessageA(list, LVM_GETITEMTEXTA, count - 1, reinterpret_cast<LPARAM>(&item));
    return text;
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

struct WindowFigures {
    RunFigures run;
    double longestAnswerMs = 0;
    // The longest single message the frame's thread handled for the run's
    // window, and for its list's painting: what kept the answers waiting.
    double longestWindowMs = 0;
    double longestPaintMs = 0;
};

bool RunWithWindow(BenchFrame& frame, const std::string& program, WindowFigures& figures) {
    AnswerWatch watch(frame.Handle());
    const TDebugRunsOptions options;
    TDebugRuns runs(frame, options);
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
            const bool paint = message.hwnd == list && message.message == WM_PAINT;
            const auto dispatched = Clock::now();
            std::optional<TStageTimer> timer;
            if (paint) timer.emplace(CallStage::WindowPaint);
            TranslateMessage(&message);
            DispatchMessageA(&message);
            timer.reset();
            const double ms = Seconds(Clock::now() - dispatched) * 1000;
            if (paint) figures.longestPaintMs = std::max(figures.longestPaintMs, ms);
            if (message.hwnd == form) figures.longestWindowMs = std::max(figures.longestWindowMs, ms);
        }
    }
    figures.run.seconds = Seconds(Clock::now() - start);
    figures.run.events = SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    watch.Stop();
    figures.longestAnswerMs = watch.LongestMs();
    if (watch.Unanswered() > 0)
        std::printf("  the frame left %d requests unanswered within %lu ms\n", watch.Unanswered(), kAnswerLimitMs);
    if (LastRow(list) != kCleanExit) {
        std::fprintf(stderr, "the run's last row is \"%s\", not \"%s\"\n", LastRow(list).c_str(), kCleanExit.data());
        return false;
    }
    return true;
}

struct WalkFigures {
    std::vector<double> walkMs;
    // The rest of each exception's event: taking it, continuing the debuggee.
    std::vector<double> eventMs;
    size_t frames = 0;
    std::string thrower;
};

// A debug loop that keeps the debuggee's symbols and walks the stack of each
// thrown exception as the debugger's thread does with StackOnFirstChance on,
// timing the walk apart from the rest of the event.
bool RunWalks(const std::string& program, WalkFigures& figures) {
    std::string commandLine = program + " /debug";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DEBUG_PROCESS, nullptr, nullptr,
                        &startup, &created)) {
        std::fprintf(stderr, "the walking loop cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return false;
    }
    const UniqueHandle thread(created.hThread);
    const UniqueHandle process(created.hProcess);
    TDebuggeeSymbols symbols;
    const auto deadline = Clock::now() + kRunLimit;
    for (;;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 1000)) {
            if (Clock::now() < deadline) continue;
            std::fprintf(stderr, "the walking loop saw no exit of the debuggee within 120 s (%zu walks by then)\n",
                         figures.walkMs.size());
            TerminateProcess(process.get(), 1);
            DebugActiveProcessStop(created.dwProcessId);
            return false;
        }
        const auto received = Clock::now();
        HANDLE file = nullptr;
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            file = event.u.CreateProcessInfo.hFile;
            symbols.ProcessCreated(event.dwProcessId, event.u.CreateProcessInfo.hProcess, file,
                                   reinterpret_cast<uintptr_t>(event.u.CreateProcessInfo.lpBaseOfImage), {});
        }
        if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
            file = event.u.LoadDll.hFile;
            symbols.ModuleLoaded(event.dwProcessId, file, reinterpret_cast<uintptr_t>(event.u.LoadDll.lpBaseOfDll), {});
        }
        if (event.dwDebugEventCode == UNLOAD_DLL_DEBUG_EVENT)
            symbols.ModuleUnloaded(event.dwProcessId, reinterpret_cast<uintptr_t>(event.u.UnloadDll.lpBaseOfDll));
        const UniqueHandle eventFile(file == INVALID_HANDLE_VALUE ? nullptr : file);
        const bool thrown = event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
                            event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT;
        double walkMs = 0;
        if (thrown) {
            const auto walkStart = Clock::now();
            const ExceptionStack stack = symbols.Walk(event.dwProcessId, event.dwThreadId, 8);
            walkMs = Seconds(Clock::now() - walkStart) * 1000;
            figures.walkMs.push_back(walkMs);
            if (figures.frames == 0) {
                figures.frames = stack.frames.size();
                for (const StackFrame& frame : stack.frames)
                    if (frame.function.find("ThrowAndCatch") != std::string::npos) figures.thrower = frame.function;
            }
        }
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) symbols.ProcessExited(event.dwProcessId);
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, thrown ? DBG_EXCEPTION_NOT_HANDLED : DBG_CONTINUE);
        if (thrown) figures.eventMs.push_back(Seconds(Clock::now() - received) * 1000 - walkMs);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT && event.dwProcessId == created.dwProcessId) {
            if (event.u.ExitProcess.dwExitCode != 0) {
                std::fprintf(stderr, "the walking loop's debuggee exited with %lu\n", event.u.ExitProcess.dwExitCode);
                return false;
            }
            break;
        }
    }
    if (figures.walkMs.size() != static_cast<size_t>(kWalks)) {
        std::fprintf(stderr, "the walking loop saw %zu exceptions, not %d\n", figures.walkMs.size(), kWalks);
        return false;
    }
    return true;
}

// The process window with the defaults over a debuggee that throws and
// catches, against the reading loop; then the walks.
bool RunExceptions(BenchFrame& frame, const std::string& folder) {
    const std::string throwing = folder + "bench_thrower.exe";
    if (!PrepareDebuggee(folder, throwing, Repeated("throw", kThrows))) return false;
    std::vector<double> windowRates, readingRates, ratios;
    for (int round = 0; round < kRounds; ++round) {
        WindowFigures window;
        RunFigures reading;
        if (!RunWithWindow(frame, throwing, window)) return false;
        if (!RunLoop(throwing, true, reading)) return false;
        windowRates.push_back(window.run.PerSecond());
        readingRates.push_back(reading.PerSecond());
        ratios.push_back(window.run.PerSecond() / reading.PerSecond());
        std::printf("throwing round %d: (a) process window %lld events in %.2f s = %.0f/s, longest answer %.0f ms; "
                    "(b) reading loop %.0f/s; a/b = %.2f\n",
                    round + 1, window.run.events, window.run.seconds, window.run.PerSecond(),
                    window.longestAnswerMs, reading.PerSecond(), ratios.back());
        std::fflush(stdout);
    }
    std::printf("\nA debuggee that throws and catches %d times, the defaults (no stacks of first chances), events/s "
                "over %d rounds:\n  (a) process window %s\n  (b) reading loop   %s\n"
                "a/b = %.2f (ratio of the medians); round by round %s\n",
                kThrows, kRounds, Spread(windowRates, "%.0f").c_str(), Spread(readingRates, "%.0f").c_str(),
                Median(windowRates) / Median(readingRates), Spread(ratios, "%.2f").c_str());

    const std::string walking = folder + "bench_walker.exe";
    if (!PrepareDebuggee(folder, walking, Repeated("throw", kWalks))) return false;
    WalkFigures walks;
    if (!RunWalks(walking, walks)) return false;
    const double first = walks.walkMs.front();
    const double laterLongest = *std::max_element(walks.walkMs.begin() + 1, walks.walkMs.end());
    std::printf("\nThe stack of each of %d first-chance exceptions (StackOnFirstChance on), %zu frames, the thrower "
                "named \"%s\":\n  the walk with its names: median %.2f ms, longest %.2f ms, lowest %.2f ms; the "
                "first, which reads the modules' symbols, %.2f ms; the longest after it %.2f ms\n  the event without it: median %.3f ms; the walk "
                "adds %.0f times the event's own time (ratio of the medians)\n",
                kWalks, walks.frames, walks.thrower.c_str(), Median(walks.walkMs),
                *std::max_element(walks.walkMs.begin(), walks.walkMs.end()),
                *std::min_element(walks.walkMs.begin(), walks.walkMs.end()), first, laterLongest, Median(walks.eventMs),
                Median(walks.walkMs) / Median(walks.eventMs));
    for (const std::string& program : {throwing, walking}) {
        DeleteFileA(program.c_str());
        DeleteFileA(StepsPathOf(program).c_str());
        DeleteFileA((program.substr(0, program.size() - 4) + ".progress").c_str());
    }
    return true;
}

constexpr size_t kStages = static_cast<size_t>(CallStage::Count);

// Nanoseconds and passes of each stage.
struct StageTotals {
    double nanoseconds[kStages]{};
    double count[kStages]{};
    double Microseconds(CallStage stage) const { return nanoseconds[static_cast<size_t>(stage)] / 1000.0; }
};

StageTotals TotalsOf(const CallProfileBlock& block) {
    StageTotals totals;
    for (size_t stage = 0; stage < kStages; ++stage) {
        totals.nanoseconds[stage] = static_cast<double>(block.stages[stage].nanoseconds.load());
        totals.count[stage] = static_cast<double>(block.stages[stage].count.load());
    }
    return totals;
}

// Runs `work` with the profile recording and keeps the stages it went
// through; false when the work failed.
template <typename Work>
bool Profiled(CallProfileBlock& block, Work work, StageTotals& totals) {
    const StageTotals before = TotalsOf(block);
    block.recording = 1;
    const bool done = work();
    block.recording = 0;
    totals = TotalsOf(block);
    for (size_t stage = 0; stage < kStages; ++stage) {
        totals.nanoseconds[stage] -= before.nanoseconds[stage];
        totals.count[stage] -= before.count[stage];
    }
    return done;
}

void PrintBreakdown(const RunFigures& window, const StageTotals& debugger, const RunFigures& reading,
                    const StageTotals& floor) {
    std::printf("\nWhere the time goes, from one more run of (a) and of (b) with the profile recording:\n"
                "(a) %lld events in %.2f s = %.0f/s; (b) %lld events in %.2f s = %.0f/s\n"
                "  on the debugger's thread, microseconds per event   (a)      (b)\n",
                window.events, window.seconds, window.PerSecond(), reading.events, reading.seconds,
                reading.PerSecond());
    const std::pair<CallStage, const char*> threadStages[] = {
        {CallStage::DebugWait, "waiting for the event"},  {CallStage::DebugCopy, "copying it"},
        {CallStage::DebugRead, "reading its texts"},      {CallStage::DebugHandOver, "the hand-over"},
        {CallStage::DebugContinue, "continuing the debuggee"},
    };
    double windowRest = 1e6 * window.seconds / window.events;
    double floorRest = 1e6 * reading.seconds / reading.events;
    for (const auto& [stage, name] : threadStages) {
        const double a = debugger.Microseconds(stage) / window.events;
        const double b = floor.Microseconds(stage) / reading.events;
        windowRest -= a;
        floorRest -= b;
        std::printf("    %-44s %8.1f %8.1f\n", name, a, b);
    }
    std::printf("    %-44s %8.1f %8.1f\n", "the rest of the loop", windowRest, floorRest);
    const double batches = debugger.count[static_cast<size_t>(CallStage::WindowTake)];
    const double paints = debugger.count[static_cast<size_t>(CallStage::WindowPaint)];
    std::printf("  on the frame's thread: %.0f batches taken (%.1f events each), %.0f paints of the list\n"
                "                                             ms in all  per event (us)\n",
                batches, window.events / batches, paints);
    const std::pair<CallStage, const char*> windowStages[] = {
        {CallStage::WindowTake, "taking the batch"},
        {CallStage::WindowRows, "building rows and nodes"},
        {CallStage::WindowList, "telling the list (count, scrolling)"},
        {CallStage::WindowPaint, "painting the list"},
    };
    for (const auto& [stage, name] : windowStages) {
        std::printf("    %-40s %8.1f %8.1f\n", name, debugger.Microseconds(stage) / 1000,
                    debugger.Microseconds(stage) / window.events);
    }
}

int Run() {
    InitCommonControls();
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "norvale_debugger_bench\\";
    const std::string program = folder + "bench_debuggee.exe";
    if (!PrepareDebuggee(folder, program, "strings " + std::to_string(kStrings) + "\r\n")) return 1;
    CallProfileBlock profile;
    UseCallProfile(&profile);

    BenchFrame frame;
    std::vector<double> windowRates, readingRates, bareRates, ratios, answers;
    for (int round = 0; round < kRounds; ++round) {
        WindowFigures window;
        RunFigures reading;
        RunFigures bare;
        if (!RunWithWindow(frame, program, window)) return 1;
        if (!RunLoop(program, true, reading)) return 1;
        if (!RunLoop(program, false, bare)) return 1;
        windowRates.push_back(window.run.PerSecond());
        readingRates.push_back(reading.PerSecond());
        bareRates.push_back(bare.PerSecond());
        ratios.push_back(window.run.PerSecond() / reading.PerSecond());
        answers.push_back(window.longestAnswerMs);
        std::printf("round %d: (a) process window %lld events in %.2f s = %.0f/s, longest answer %.0f ms (longest "
                    "message to the window %.0f ms, paint %.0f ms); (b) reading loop %.0f/s; (c) bare loop %.0f/s; "
                    "a/b = %.2f\n",
                    round + 1, window.run.events, window.run.seconds, window.run.PerSecond(), window.longestAnswerMs,
                    window.longestWindowMs, window.longestPaintMs, reading.PerSecond(), bare.PerSecond(),
                    ratios.back());
        std::fflush(stdout);
    }
    std::printf("\nevents/s over %d rounds of %d strings, median (lowest to highest):\n"
                "  (a) process window %s\n  (b) reading loop   %s\n  (c) bare loop      %s\n",
                kRounds, kStrings, Spread(windowRates, "%.0f").c_str(), Spread(readingRates, "%.0f").c_str(),
                Spread(bareRates, "%.0f").c_str());
    std::printf("a/b = %.2f (ratio of the medians); round by round %s\n", Median(windowRates) / Median(readingRates),
                Spread(ratios, "%.2f").c_str());
    std::printf("longest answer of the frame during (a): %.0f ms; a round's longest %s ms\n",
                *std::max_element(answers.begin(), answers.end()), Spread(answers, "%.0f").c_str());

    WindowFigures profiledWindow;
    RunFigures profiledReading;
    StageTotals debugger;
    StageTotals floor;
    if (!Profiled(profile, [&] { return RunWithWindow(frame, program, profiledWindow); }, debugger)) return 1;
    if (!Profiled(profile, [&] { return RunLoop(program, true, profiledReading); }, floor)) return 1;
    UseCallProfile(nullptr);
    PrintBreakdown(profiledWindow.run, debugger, profiledReading, floor);
    if (!RunExceptions(frame, folder)) return 1;

    DeleteFileA(program.c_str());
    DeleteFileA((folder + "bench_debuggee.steps").c_str());
    DeleteFileA((folder + "bench_debuggee.progress").c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}

}  // namespace
}  // namespace norvale

int main() { return norvale::Run(); }
