#pragma once

// What the benchmarks that run under Wine share: their programs' folder,
// starting and waiting for processes, a bound on each phase, the server
// process and its memory, and figures printed with their spread.

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "common/win32_resources.h"

namespace norvale::bench {

using Clock = std::chrono::steady_clock;

inline std::string BinDirectory() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// The started process, or no handle when it could not start.
inline UniqueHandle StartProcess(const std::string& commandLine) {
    std::string line = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return UniqueHandle();
    }
    CloseHandle(info.hThread);
    return UniqueHandle(info.hProcess);
}

inline int RunAndWait(const std::string& commandLine, DWORD milliseconds = 600000) {
    const UniqueHandle process = StartProcess(commandLine);
    if (!process || WaitForSingleObject(process.get(), milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}

// Bounds a phase of the run: a phase that hangs (Wine's marshaling can, in
// rare session churn) ends the run with its name instead of stalling it.
class TPhaseWatch {
public:
    TPhaseWatch(const char* phase, int seconds)
        : phase_(phase), done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), start_(Clock::now()) {
        watcher_ = std::thread([this, seconds] {
            if (WaitForSingleObject(done_.get(), static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0) return;
            std::printf("the phase \"%s\" did not end within %d s\n", phase_, seconds);
            std::fflush(stdout);
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

inline DWORD NorvaleProcessId() {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (_stricmp(entry.szExeFile, "norvale.exe") == 0) return entry.th32ProcessID;
    }
    return 0;
}

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
