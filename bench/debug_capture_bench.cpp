// Debug output capture under a flood: a writer process
// (`norvale_debug_peer write`) sends 20,000 strings through
// OutputDebugStringA as fast as it can, (a) while a server started by hand
// captures them into its output file, against (b) a bare reader of the same
// protocol that only copies and releases (`norvale_debug_peer read ...
// quiet`), the floor. Both rates come from the writer's own clock: the time
// of its loop, without its start and end. During (a) a thread sends the
// server's frame WM_NULL every 10 ms and times the answer (during (b) an
// idle window of this process, the floor of an answer), and afterwards the
// file must hold every string once, in order. Five rounds; (a) runs
// between two runs of (b) and is set against their mean. Prints each round,
// then the median and the spread of every figure and of the ratio a/b.

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <optional>
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

constexpr int kStrings = 20000;
constexpr int kRounds = 5;
constexpr const char* kFile = "C:\\norvale-capture.txt";
constexpr const char* kReaderReady = "norvale capture bench: reader ready";
constexpr int kProbeEveryMs = 10;
constexpr DWORD kAnswerLimitMs = 1000;
constexpr DWORD kWriterLimitMs = 120000;
constexpr auto kWaitLimit = std::chrono::seconds(30);

// The server process of the round, when one runs: what a hung phase ends.
std::atomic<HANDLE> runningServer{nullptr};

// The settings that make a server started by hand capture the session's
// debug output into the scratch file, no fields in front of a line.
void UseCaptureSettings() {
    UseFileOutputSettings(kFile);
    WriteRegBool(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "CaptureDebugOutput", true);
}

// Whatever the run ends by, no later server of this prefix captures, and
// none of this run's is left holding the names.
void Undo() {
    if (const HANDLE server = runningServer.load()) TerminateProcess(server, 3);
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    DeleteFileA(kFile);
}

// Whether some reader holds the session's debug-output names.
bool NamesHeld() { return static_cast<bool>(UniqueHandle(OpenFileMappingA(FILE_MAP_READ, FALSE, "DBWIN_BUFFER"))); }

bool AwaitNamesHeld(HANDLE server) {
    const auto deadline = Clock::now() + kWaitLimit;
    while (!NamesHeld()) {
        if (Clock::now() > deadline || WaitForSingleObject(server, 0) == WAIT_OBJECT_0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string Peer() { return "\"" + BinDirectory() + "norvale_debug_peer.exe\" "; }

// The writer's strings per second by its own clock, or nothing when it failed.
std::optional<double> Write(const std::string& tag) {
    const ProcessRun writer = RunAndRead(Peer() + "write " + tag + " " + std::to_string(kStrings), kWriterLimitMs);
    const double seconds = std::atof(writer.output.c_str());
    if (writer.exitCode != 0 || seconds <= 0) {
        std::printf("  the writer %s failed (exit %d, -1: did not end within %lu s; printed \"%s\")\n", tag.c_str(),
                    writer.exitCode, kWriterLimitMs / 1000, writer.output.c_str());
        return std::nullopt;
    }
    return kStrings / seconds;
}

// Runs `work` while a thread sends `window` WM_NULL every 10 ms, and keeps
// the answer times in `answers`: the same probing beside the floor and the
// capture, so that the probes' own wake-ups weigh on both alike.
template <typename Work>
auto WhileProbing(HWND window, ProbeAnswers& answers, Work work) {
    std::atomic<bool> stop{false};
    std::thread prober([&] { answers = Probe(window, stop, kProbeEveryMs, kAnswerLimitMs); });
    auto result = work();
    stop = true;
    prober.join();
    return result;
}

// The floor's rate, its idle window's answers added to `idleAnswers`.
std::optional<double> FloorRate(int run, HWND idle, std::vector<double>& idleAnswers) {
    const UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, kReaderReady));
    const UniqueHandle reader = StartProcess(Peer() + "read \"\" " + std::to_string(kStrings) + " \"" + kReaderReady +
                                             "\" " + std::to_string(kWriterLimitMs / 1000) + " quiet");
    if (!reader) {
        std::printf("  the bare reader did not start\n");
        return std::nullopt;
    }
    // The reader sets the event once it holds the names, or ends at once
    // when another reader holds them.
    const HANDLE started[] = {ready.get(), reader.get()};
    const DWORD woken = WaitForMultipleObjects(2, started, FALSE, 30000);
    std::optional<double> rate;
    if (woken == WAIT_OBJECT_0) {
        ProbeAnswers answers;
        rate = WhileProbing(idle, answers, [&] { return Write("floor" + std::to_string(run)); });
        idleAnswers.insert(idleAnswers.end(), answers.ms.begin(), answers.ms.end());
    } else if (woken == WAIT_TIMEOUT) {
        std::printf("  the bare reader did not report holding the names within 30 s\n");
    }
    if (const int code = ExitCodeWithin(reader.get(), 30000); code != 0) {
        std::printf("  the bare reader ended with %d (3: names held by another, 4: strings missing, -1: still ran "
                    "after 30 s)\n", code);
        if (code == -1) TerminateProcess(reader.get(), 1);
        return std::nullopt;
    }
    return rate;
}

// The scratch file's size once it holds every string but the fewer than 128
// bytes the server keeps until the file closes.
ULONGLONG ExpectedBytes(const std::string& tag) {
    ULONGLONG bytes = 0;
    for (int i = 0; i < kStrings; ++i) bytes += tag.size() + 2 + std::to_string(i).size() + 2;
    return bytes - 127;
}

ULONGLONG FileBytes() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(kFile, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Milliseconds until the file held the strings the writer sent, or nothing
// when it did not within the limit.
std::optional<double> AwaitFileFilled(const std::string& tag) {
    const auto start = Clock::now();
    const ULONGLONG expected = ExpectedBytes(tag);
    while (FileBytes() < expected) {
        if (Clock::now() - start > kWaitLimit) {
            std::printf("  the file held %llu of %llu bytes 30 s after the writer ended\n", FileBytes(), expected);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Every line of the file is the writer's next string.
bool FileHoldsEveryString(const std::string& tag) {
    std::ifstream file(kFile, std::ios::binary);
    int next = 0;
    for (std::string line; std::getline(file, line); ++next) {
        const std::string expected = tag + " s" + std::to_string(next) + "\r";
        if (line != expected) {
            std::printf("  FAILED: line %d of the file is \"%s\", not \"%s\"\n", next + 1, line.c_str(),
                        expected.substr(0, expected.size() - 1).c_str());
            return false;
        }
    }
    if (next != kStrings) std::printf("  FAILED: the file holds %d of the %d strings\n", next, kStrings);
    return next == kStrings;
}

struct CaptureFigures {
    double rate = 0;
    double fileLagMs = 0;
    double answer99Ms = 0;
    double longestAnswerMs = 0;
    size_t probes = 0;
    int unanswered = 0;
};

// The round's server, started by hand. One still running when the round
// leaves it (it never captured, or Close did not end it) is ended by force,
// so that it holds the names no longer.
class TServerProcess {
public:
    TServerProcess() : process_(StartProcess("\"" + BinDirectory() + "norvale.exe\"")) {
        runningServer = process_.get();
    }
    ~TServerProcess() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 3);
            WaitForSingleObject(process_.get(), 10000);
        }
        runningServer = nullptr;
    }
    TServerProcess(const TServerProcess&) = delete;
    TServerProcess& operator=(const TServerProcess&) = delete;

    HANDLE Handle() const { return process_.get(); }

    // As the tray's Close does: with no client and the frame hidden the
    // server ends without asking.
    bool End(HWND frame) const {
        PostMessageW(frame, WM_COMMAND, ID_AC_CLOSE, 0);
        const int code = ExitCodeWithin(process_.get(), 30000);
        if (code != 0) std::printf("  the server ended with %d (-1: still ran 30 s after Close)\n", code);
        return code == 0;
    }

private:
    UniqueHandle process_;
};

std::optional<CaptureFigures> CaptureRun(int round) {
    const std::string tag = "capture" + std::to_string(round);
    DeleteFileA(kFile);
    if (NamesHeld()) {
        std::printf("  another reader holds the debug-output names: the server would not capture\n");
        return std::nullopt;
    }
    const TServerProcess server;
    const HWND frame = server.Handle() != nullptr ? AwaitServerFrame() : nullptr;
    if (frame == nullptr || !AwaitNamesHeld(server.Handle())) {
        std::printf("  the server did not start capturing within 30 s\n");
        return std::nullopt;
    }
    ProbeAnswers answers;
    std::optional<double> lag;
    const std::optional<double> rate = WhileProbing(frame, answers, [&] {
        const std::optional<double> written = Write(tag);
        if (written) lag = AwaitFileFilled(tag);
        return written;
    });
    // The file is whole once the server has closed it.
    const bool ended = server.End(frame);
    if (!rate || !lag || !ended || !FileHoldsEveryString(tag)) return std::nullopt;
    return CaptureFigures{*rate, *lag, Percentile(answers.ms, 0.99), Percentile(answers.ms, 1.0), answers.ms.size(),
                          answers.unanswered};
}

// Rates and their ratio are what runs are compared by; the times only say
// how long a window kept from its messages.
void PrintSpread(const char* name, const std::vector<double>& values, const char* unit, bool compared) {
    const Spread spread = SpreadOf(values);
    std::printf("  %-42s %8.2f (%.2f to %.2f) %s%s\n", name, spread.median, spread.lowest, spread.highest, unit,
                compared && spread.TooWide() ? "  spread too wide to compare runs" : "");
}

int Run() {
    if (NorvaleProcessId() != 0) {
        std::printf("a norvale.exe runs already; end it first\n");
        return 1;
    }
    UseCaptureSettings();
    const TIdleWindow idle;
    std::vector<double> floorRates, captureRates, ratios, lags, answers99, longest, idleAnswers;
    int unanswered = 0;
    // Floor and capture runs take turns, a floor first and last: each
    // capture run is set against the mean of the floors on either side of
    // it, which cancels a drift of the machine's speed across the round.
    std::optional<double> before;
    {
        TPhaseWatch watch("the first floor", 120, Undo);
        before = FloorRate(0, idle.Handle(), idleAnswers);
    }
    for (int round = 0; before && round < kRounds; ++round) {
        TPhaseWatch watch("a round", 300, Undo);
        const std::optional<CaptureFigures> capture = CaptureRun(round);
        const std::optional<double> after = capture ? FloorRate(round + 1, idle.Handle(), idleAnswers) : std::nullopt;
        if (!after) break;
        const double floorRate = (*before + *after) / 2;
        floorRates.push_back(floorRate);
        captureRates.push_back(capture->rate);
        ratios.push_back(capture->rate / floorRate);
        lags.push_back(capture->fileLagMs);
        answers99.push_back(capture->answer99Ms);
        longest.push_back(capture->longestAnswerMs);
        unanswered += capture->unanswered;
        std::printf("round %d: bare reader %.0f then %.0f strings/s, Norvale %.0f strings/s between, ratio %.2f; file "
                    "whole %.1f ms after the writer; WM_NULL 99th %% %.1f ms, longest %.1f ms (%zu probes); every "
                    "string in order\n",
                    round + 1, *before, *after, capture->rate, capture->rate / floorRate, capture->fileLagMs,
                    capture->answer99Ms, capture->longestAnswerMs, capture->probes);
        std::fflush(stdout);
        before = after;
    }
    Undo();
    if (ratios.size() != kRounds) {
        std::printf("FAILED: the benchmark stopped in round %zu of %d (the reason is above)\n", ratios.size() + 1,
                    kRounds);
        return 1;
    }

    std::printf("Debug output capture: %d strings from one writer process, %d rounds; median (lowest to highest)\n",
                kStrings, kRounds);
    PrintSpread("(b) bare reader, the floor", floorRates, "strings/s", true);
    PrintSpread("(a) Norvale capturing into its file", captureRates, "strings/s", true);
    PrintSpread("a/b", ratios, "", true);
    PrintSpread("the file whole after the writer ended", lags, "ms", false);
    PrintSpread("frame's WM_NULL answer, 99th percentile", answers99, "ms", false);
    PrintSpread("frame's WM_NULL answer, longest", longest, "ms", false);
    std::printf("  an idle window's WM_NULL answer during the floor runs (%zu probes): 99th percentile %.2f ms, "
                "longest %.2f ms\n", idleAnswers.size(), Percentile(idleAnswers, 0.99), Percentile(idleAnswers, 1.0));
    if (unanswered > 0) std::printf("  %d probes went unanswered within %lu ms\n", unanswered, kAnswerLimitMs);
    return 0;
}

}  // namespace
}  // namespace norvale

int main() { return norvale::Run(); }
