// Records per second to the trace viewer, under Wine: (a) the viewer output
// (a window search, the record, a bounded send for every line) against (b)
// bare WM_COPYDATA sends of the same record to the same window, the floor
// any viewer output has. The receiver is the test viewer, which writes every
// record it gets to a file. Five interleaved rounds; prints the medians, the
// spread and the ratio a/b.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/text.h"
#include "output/codesite_output.h"
#include "output/codesite_record.h"

namespace norvale {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRecordsPerRound = 1000;
constexpr int kRounds = 5;
constexpr const char* kLine = "14:03:27.512 Billing Core TInvoice 0000000a 000001a4 Posting done for invoice 42";

std::string OwnFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return PathPartOfPath(path);
}

double PerSecond(Clock::duration elapsed) {
    return kRecordsPerRound / std::chrono::duration<double>(elapsed).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Run() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string records = std::string(temp) + "norvale_viewer_bench.log";
    std::string command = "\"" + OwnFolder() + "norvale_test_viewer.exe\" \"" + records +
                          "\" TRzFrmCodeSite \"CodeSite (32-bit)\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION viewer{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &viewer)) {
        std::fprintf(stderr, "cannot start the test viewer\n");
        return 1;
    }
    HWND window = nullptr;
    for (int tries = 0; tries < 400 && window == nullptr; ++tries) {
        window = FindWindowA("TRzFrmCodeSite", "CodeSite (32-bit)");
        if (window == nullptr) Sleep(50);
    }
    if (window == nullptr) {
        std::fprintf(stderr, "the test viewer showed no window within 20 s\n");
        TerminateProcess(viewer.hProcess, 1);
        return 1;
    }

    const auto output = MakeCodeSiteViewer();
    const TraceLine line{kLine, kLine, MessageKind::Plain, nullptr};
    const std::vector<uint8_t> record =
        BuildCodeSiteMessage(MessageKind::Plain, GetTickCount(), kLine, "", "norvale", "");
    std::vector<double> outputRates;
    std::vector<double> bareRates;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        for (int i = 0; i < kRecordsPerRound; ++i) output->WriteLine(line);
        outputRates.push_back(PerSecond(Clock::now() - start));

        start = Clock::now();
        for (int i = 0; i < kRecordsPerRound; ++i) {
            COPYDATASTRUCT data{static_cast<ULONG_PTR>(MessageKind::Plain), static_cast<DWORD>(record.size()),
                                const_cast<uint8_t*>(record.data())};
            DWORD_PTR answer = 0;
            SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 3000,
                                &answer);
        }
        bareRates.push_back(PerSecond(Clock::now() - start));
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(viewer.hProcess, 20000);
    CloseHandle(viewer.hThread);
    CloseHandle(viewer.hProcess);
    DeleteFileA(records.c_str());

    const double a = Median(outputRates);
    const double b = Median(bareRates);
    std::printf("records/s over %d rounds of %d: viewer output %.0f (%.0f to %.0f), bare sends %.0f (%.0f to %.0f)\n",
                kRounds, kRecordsPerRound, a, *std::min_element(outputRates.begin(), outputRates.end()),
                *std::max_element(outputRates.begin(), outputRates.end()), b,
                *std::min_element(bareRates.begin(), bareRates.end()),
                *std::max_element(bareRates.begin(), bareRates.end()));
    std::printf("a/b = %.2f (viewer output against bare sends)\n", a / b);
    return 0;
}

}  // namespace
}  // namespace norvale

int main() { return norvale::Run(); }
