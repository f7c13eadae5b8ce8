#pragma once

// What the benchmarks that run under Wine share: their programs' folder,
// starting and waiting for processes, a bound on each phase, the server
// process, its frame's answers and its memory, and figures printed with
// their spread.

#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/win32_resources.h"
#include "config/options_settings.h"
#include "config/registry_values.h"
#include "output/output_settings.h"

namespace norvale::bench {

using Clock = std::chrono::steady_clock;

inline std::string BinDirectory() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// `bytes` as AddEntries takes them: `into` (empty before) holds a SAFEARRAY
// of VT_UI1 afterwards, for the caller to clear.
inline void ByteArrayInto(const std::vector<uint8_t>& bytes, VARIANT& into) {
    VariantInit(&into);
    V_VT(&into) = VT_ARRAY | VT_UI1;
    V_ARRAY(&into) = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* data = nullptr;
    SafeArrayAccessData(V_ARRAY(&into), &data);
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(V_ARRAY(&into));
}

// The user's settings from a clean slate, with file output into `file`: the
// `Output` and `Options` keys emptied first; a benchmark adds what it measures.
inline void UseFileOutputSettings(const char* file) {
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    WriteRegBool(RegCurrentUser(), SettingsLocation::kOutputSettingsKey, "ToFile", true);
    WriteRegString(RegCurrentUser(), SettingsLocation::kOutputSettingsKey, "Filename", file);
}

// The started process, or no handle when it could not start. With `output`
// (an inheritable handle) its standard output and error go there.
inline UniqueHandle StartProcess(const std::string& commandLine, HANDLE output = nullptr) {
    std::string line = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, output != nullptr, 0, nullptr, nullptr, &startup,
                        &info)) {
        return UniqueHandle();
    }
    CloseHandle(info.hThread);
    return UniqueHandle(info.hProcess);
}

// Bounded: -1 when the process did not end within `milliseconds`.
inline int ExitCodeWithin(HANDLE process, DWORD milliseconds) {
    if (WaitForSingleObject(process, milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    return static_cast<int>(code);
}

inline int RunAndWait(const std::string& commandLine, DWORD milliseconds = 600000) {
    const UniqueHandle process = StartProcess(commandLine);
    return process ? ExitCodeWithin(process.get(), milliseconds) : -1;
}

struct ProcessRun {
    // -1 when the process could not start or did not end in time.
    int exitCode = -1;
    std::string output;
};

// Runs a program to its end and keeps what it printed. One that has not
// ended within `milliseconds` is ended, so that its pipe closes.
inline ProcessRun RunAndRead(const std::string& commandLine, DWORD milliseconds) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return {};
    const UniqueHandle reading(readEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    UniqueHandle writing(writeEnd);
    const UniqueHandle process = StartProcess(commandLine, writeEnd);
    // Only the child's copy is left: the pipe ends when the child does.
    writing.reset();
    if (!process) return {};
    ProcessRun run;
    std::thread reader([&] {
        char chunk[512];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) run.output.append(chunk, got);
    });
    run.exitCode = ExitCodeWithin(process.get(), milliseconds);
    if (run.exitCode == -1) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 10000);
    }
    reader.join();
    return run;
}

// Bounds a phase of the run: a phase that hangs (Wine's marshaling can, in
// rare session churn) ends the run with its name instead of stalling it,
// after `undo` has taken back what the run changed outside itself.
class TPhaseWatch {
public:
    TPhaseWatch(const char* phase, int seconds, std::function<void()> undo = {})
        : phase_(phase), done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), start_(Clock::now()) {
        watcher_ = std::thread([this, seconds, undo = std::move(undo)] {
            if (WaitForSingleObject(done_.get(), static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0) return;
            std::printf("the phase \"%s\" did not end within %d s\n", phase_, seconds);
            std::fflush(stdout);
            if (undo) undo();
            ExitProcess(2);
        });
    }
    ~TPhaseWatch() {
        SetEvent(done_.get());
        watcher_.join();
        std::printf("  (the phase \"%s\" took %.0f s)\n", phase_,
                    std::chrono::duration<double>(Clock::now() - start_).count());
    }
    TPhaseWatch(const TPhaseWatch&) = delete;
    TPhaseWatch& operator=(const TPhaseWatch&) = delete;

private:
    const char* phase_;
    UniqueHandle done_;
    Clock::time_point start_;
    std::thread watcher_;
};

// Median, lowest and highest of a figure's rounds.
struct Spread {
    double median = 0;
    double lowest = 0;
    double highest = 0;
    // Wider than a tenth of the median either way: two runs cannot be told
    // apart by such a figure.
    bool TooWide() const { return highest - lowest > 0.2 * median; }
};

inline Spread SpreadOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return Spread{values[values.size() / 2], values.front(), values.back()};
}

inline void PrintFigure(const char* name, const Spread& rate, const Spread& ratio) {
    std::printf("  %-20s %8.0f (%6.0f to %6.0f)   %.2f (%.2f to %.2f)%s\n", name, rate.median, rate.lowest,
                rate.highest, ratio.median, ratio.lowest, ratio.highest,
                ratio.TooWide() ? "   spread too wide to compare runs" : "");
}

// The first process of that image file name; 0 when none runs.
inline DWORD ProcessIdOf(const char* image) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (_stricmp(entry.szExeFile, image) == 0) return entry.th32ProcessID;
    }
    return 0;
}

inline DWORD NorvaleProcessId() { return ProcessIdOf("norvale.exe"); }

// The server process ends a moment after its last client; an activation in
// that moment reaches the ending process, so the next phase waits (bounded)
// until it is gone.
inline void LetTheServerEnd() {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (NorvaleProcessId() != 0) {
        if (Clock::now() > deadline) {
            std::printf("  the server process still ran 30 s after its last client\n");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Waits (bounded) for the frame of a server started by hand.
inline HWND AwaitServerFrame() {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
        if (const HWND frame = FindWindowA("TMainForm", nullptr)) return frame;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

struct ProbeAnswers {
    // Milliseconds each probe took; one unanswered counts as the whole limit.
    std::vector<double> ms;
    int unanswered = 0;
};

// Sends `window` WM_NULL every `everyMs` until `stop` and times each answer:
// how long its thread keeps from its messages.
inline ProbeAnswers Probe(HWND window, const std::atomic<bool>& stop, int everyMs, DWORD limitMs) {
    ProbeAnswers answers;
    while (!stop) {
        const auto start = Clock::now();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, limitMs, &result)) ++answers.unanswered;
        answers.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
    }
    return answers;
}

// A window of this process that only answers, from a thread of its own:
// the floor of a probe's answer time.
class TIdleWindow {
public:
    TIdleWindow() {
        std::promise<HWND> made;
        std::future<HWND> window = made.get_future();
        thread_ = std::thread([made = std::move(made)]() mutable {
            const HWND own = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
            made.set_value(own);
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
            DestroyWindow(own);
        });
        window_ = window.get();
    }
    ~TIdleWindow() {
        PostMessageW(window_, WM_QUIT, 0, 0);
        thread_.join();
    }
    TIdleWindow(const TIdleWindow&) = delete;
    TIdleWindow& operator=(const TIdleWindow&) = delete;

    HWND Handle() const { return window_; }

private:
    HWND window_ = nullptr;
    std::thread thread_;
};

// A part of a trace window's status bar, read through a buffer in the
// window's process.
inline std::wstring StatusPartText(HWND trace, int part) {
    const HWND status = FindWindowExW(trace, nullptr, STATUSCLASSNAMEW, nullptr);
    const auto length = LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, part, 0));
    DWORD processId = 0;
    GetWindowThreadProcessId(status, &processId);
    const UniqueHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ, FALSE, processId));
    void* remote = VirtualAllocEx(process.get(), nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SendMessageW(status, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(remote));
    wchar_t text[1024] = {};
    ReadProcessMemory(process.get(), remote, text, std::min<size_t>(length + 1u, 1023) * sizeof(wchar_t), nullptr);
    VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    return text;
}

// The status bar's last part, the window's note: its index follows the
// process's parts, which a saved trace's document does not show.
inline std::wstring StatusNote(HWND trace) {
    const HWND status = FindWindowExW(trace, nullptr, STATUSCLASSNAMEW, nullptr);
    const auto parts = static_cast<int>(SendMessageW(status, SB_GETPARTS, 0, 0));
    return parts > 0 ? StatusPartText(trace, parts - 1) : std::wstring();
}

inline double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())))];
}

inline double PrivateMegabytes(DWORD processId) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!process ||
        !GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        return 0;
    }
    // The commit charge: the process's private memory (Wine leaves
    // PrivateUsage at 0; on Windows the two are the same).
    return counters.PagefileUsage / (1024.0 * 1024.0);
}

}  // namespace norvale::bench
