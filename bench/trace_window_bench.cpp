// The trace window under a flood: four client processes sending at full
// speed into a server started by hand, its window shown and its store bound
// to 10,000 rows so that the ring fills, a filter typed in the middle and
// cleared later. It prints whether every line reached the store (the rows
// the store took against the lines of the output file, which gets the same
// entries), how long the frame took to answer a WM_NULL probe sent every
// 50 ms (median, 99th percentile, longest, and against a probe of an idle
// window of this process, the floor), and the server's private memory each
// second.
//
//   norvale_trace_window_bench [messages per client, default 14000]

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support_win32.h"
#include "config/options_settings.h"
#include "config/registry_values.h"
#include "output/output_settings.h"
#include "shell/shell_resources.h"

namespace norvale {
namespace {

using namespace bench;

constexpr int kClients = 4;
constexpr const char* kFile = "C:\\norvale-flood.txt";

void UseSettings() {
    UseFileOutputSettings(kFile);
    WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "WindowLines", "10000");
    DeleteFileA(kFile);
}

HWND TraceWindowOf(HWND frame) {
    const HWND client = FindWindowExW(frame, nullptr, L"MDIClient", nullptr);
    return FindWindowExW(client, nullptr, L"TTraceForm", nullptr);
}

// The number in a part of the trace window's status bar ("Kept: 10000").
uint64_t StatusCount(HWND trace, int part) {
    const std::wstring text = StatusPartText(trace, part);
    const size_t colon = text.find(L':');
    return colon != std::wstring::npos ? std::wcstoull(text.c_str() + colon + 1, nullptr, 10) : 0;
}

size_t FileLines() {
    std::ifstream file(kFile, std::ios::binary);
    size_t lines = 0;
    for (std::string line; std::getline(file, line);) ++lines;
    return lines;
}

int Flood(int messages) {
    if (RunAndWait("\"" + BinDirectory() + "norvale.exe\" /RegServer") != 0) return 1;
    UseSettings();
    const UniqueHandle server = StartProcess("\"" + BinDirectory() + "norvale.exe\"");
    const HWND frame = AwaitServerFrame();
    if (!server || frame == nullptr) {
        std::printf("the server did not start\n");
        return 1;
    }
    DWORD serverId = 0;
    GetWindowThreadProcessId(frame, &serverId);
    const TIdleWindow idle;
    std::atomic<bool> stop{false};
    std::this_thread::sleep_for(std::chrono::seconds(1));
    SendMessageW(frame, WM_COMMAND, ID_AC_SHOWDEBUGWINDOW, 0);
    const HWND trace = TraceWindowOf(frame);
    const HWND showBox = FindWindowExW(trace, nullptr, L"EDIT", nullptr);
    const double memoryBefore = PrivateMegabytes(serverId);

    std::vector<double> frameAnswers, floorAnswers;
    std::thread frameProbe([&] { frameAnswers = Probe(frame, stop, 50, 5000).ms; });
    std::thread floorProbe([&] { floorAnswers = Probe(idle.Handle(), stop, 50, 5000).ms; });
    std::vector<double> memory;
    double seconds = 0;
    {
        TPhaseWatch watch("the flood", 600);
        std::vector<UniqueHandle> clients;
        const auto start = Clock::now();
        for (int c = 0; c < kClients; ++c) {
            clients.push_back(StartProcess("\"" + BinDirectory() + "norvale_test_helper.exe\" clients f" +
                                           std::to_string(c) + " 1 " + std::to_string(messages)));
        }
        bool filtered = false, cleared = false;
        std::vector<HANDLE> waited;
        for (const auto& client : clients) waited.push_back(client.get());
        while (WaitForMultipleObjects(kClients, waited.data(), TRUE, 1000) == WAIT_TIMEOUT) {
            memory.push_back(PrivateMegabytes(serverId));
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            // A filter typed while the rows pour in, as a user hunting a line would.
            if (!filtered && elapsed > 5) filtered = SendMessageW(showBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"m1;b2")) != 0;
            if (!cleared && elapsed > 10) cleared = SendMessageW(showBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"")) != 0;
        }
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        for (const auto& client : clients) {
            DWORD code = 1;
            GetExitCodeProcess(client.get(), &code);
            if (code != 0) std::printf("  a client failed (%lu)\n", code);
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    stop = true;
    frameProbe.join();
    floorProbe.join();
    const uint64_t kept = StatusCount(trace, 0);
    const uint64_t dropped = StatusCount(trace, 2);
    // Every row is one line of the file; the file is written when its last
    // entry leaves, so the flush makes it whole first.
    PostMessageW(frame, WM_COMMAND, ID_AC_FLUSHOUTPUTFILE, 0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const size_t lines = FileLines();

    std::printf("Trace window under a flood: %d client processes x %d messages (every 25th with a 3-line block),\n"
                "window shown, 10,000 rows kept, a filter typed after 5 s and cleared after 10 s; %.1f s\n",
                kClients, messages, seconds);
    std::printf("  rows the store took   %llu (kept %llu + dropped %llu); lines in the file %zu: %s\n",
                static_cast<unsigned long long>(kept + dropped), static_cast<unsigned long long>(kept),
                static_cast<unsigned long long>(dropped), lines, kept + dropped == lines ? "every line" : "LINES LOST");
    std::printf("  WM_NULL answer, ms      median   99th %%   longest   (%zu probes)\n", frameAnswers.size());
    std::printf("    the server's frame   %7.2f  %7.2f  %8.2f\n", Percentile(frameAnswers, 0.5),
                Percentile(frameAnswers, 0.99), Percentile(frameAnswers, 1.0));
    std::printf("    idle window (floor)  %7.2f  %7.2f  %8.2f\n", Percentile(floorAnswers, 0.5),
                Percentile(floorAnswers, 0.99), Percentile(floorAnswers, 1.0));
    std::printf("  server private MiB: %.1f before; each second:", memoryBefore);
    for (const double megabytes : memory) std::printf(" %.1f", megabytes);
    std::printf("\n");

    PostThreadMessageW(GetWindowThreadProcessId(frame, nullptr), WM_QUIT, 0, 0);
    if (WaitForSingleObject(server.get(), 30000) != WAIT_OBJECT_0) std::printf("the server did not end\n");
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    DeleteFileA(kFile);
    return 0;
}

}  // namespace
}  // namespace norvale

int main(int argc, char** argv) { return norvale::Flood(argc > 1 ? std::atoi(argv[1]) : 14000); }
