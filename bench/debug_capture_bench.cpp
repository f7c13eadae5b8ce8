// Debug output capture under a flood: a writer process
// (`norvale_debug_peer write`) sends 20,000 strings through
// OutputDebugStringA as fast as it can, (a) while a server started by hand
// captures them into its output file, against (b) a bare reader of the same
// protocol that only copies and releases (`norvale_debug_peer read ...
// quiet`), the floor. Both rates come from the writer's own clock: the time
// of its loop, without its start and end. During (a) a thread sends the
// server's frame WM_NULL every 10 ms and times the answer (during (b) an
// idle window of this process, the floor of an answer), and afterwards the
// file must hold every string once, in order. (c) is the same capture by
// the headless agent, started in a console of its own by the test helper and
// ended by Ctrl+C there, its file named by /Out. Five rounds of (a), (b),
// (c), (b): each capture is set against the mean of the floors on either
// side of it. Prints each round, then the median and the spread of every
// figure and of the ratios a/b and c/b. Last, the agent's private bytes after
// 100,000 strings and after 1,000,000, and every string in its file.

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support_win32.h"
#include "config/options_settings.h"
#include "app/agent_settings.h"
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
constexpr const char* kAgentGo = "norvale capture bench: Ctrl+C to the agent";
constexpr const char* kAgentConsole = "C:\\norvale-agent-console.txt";
constexpr int kMemoryFirst = 100000;
constexpr int kMemoryRest = 900000;
constexpr DWORD kLongWriterLimitMs = 900000;
constexpr int kProbeEveryMs = 10;
constexpr DWORD kAnswerLimitMs = 1000;
constexpr DWORD kWriterLimitMs = 120000;
constexpr auto kWaitLimit = std::chrono::seconds(30);

// The server process of the round, when one runs: what a hung phase ends.
std::atomic<HANDLE> runningServer{nullptr};

// The settings that make a server started by hand capture the session's
// debug output into the scratch file, no fields in front of a line.
// The agent takes the file from /Out and no fields either, from its own key.
void UseCaptureSettings() {
    UseFileOutputSettings(kFile);
    WriteRegBool(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "CaptureDebugOutput", true);
    for (const char* field : {"IncludeDateTime", "IncludeModule", "IncludeProcess"})
        WriteRegBool(RegLocalMachine(), kAgentOutputKey, field, false);
}

// Whatever the run ends by, no later server of this prefix captures, and
// none of this run's is left holding the names.
void Undo() {
    if (const HANDLE server = runningServer.load()) TerminateProcess(server, 3);
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    RegApiDeleteTree(RegLocalMachine(), kAgentKey);
    DeleteFileA(kFile);
    DeleteFileA(kAgentConsole);
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
std::optional<double> Write(const std::string& tag, int strings = kStrings, DWORD limitMs = kWriterLimitMs) {
    const ProcessRun writer = RunAndRead(Peer() + "write " + tag + " " + std::to_string(strings), limitMs);
    const double seconds = std::atof(writer.output.c_str());
    if (writer.exitCode != 0 || seconds <= 0) {
        std::printf("  the writer %s failed (exit %d, -1: did not end within %lu s; printed \"%s\")\n", tag.c_str(),
                    writer.exitCode, limitMs / 1000, writer.output.c_str());
        return std::nullopt;
    }
    return strings / seconds;
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

// A writer's run: its tag and how many strings it sent.
struct Written {
    std::string tag;
    int strings = kStrings;
};

// The scratch file's size once it holds every string of the runs but the
// fewer than 128 bytes a capturer keeps until the file closes.
ULONGLONG ExpectedBytes(const std::vector<Written>& runs) {
    ULONGLONG bytes = 0;
    for (const Written& run : runs)
        for (int i = 0; i < run.strings; ++i) bytes += run.tag.size() + 2 + std::to_string(i).size() + 2;
    return bytes - 127;
}

ULONGLONG FileBytes() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(kFile, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Milliseconds until the file held the strings the writer sent, or nothing
// when it did not within the limit.
std::optional<double> AwaitFileFilled(const std::vector<Written>& runs) {
    const auto start = Clock::now();
    const ULONGLONG expected = ExpectedBytes(runs);
    while (FileBytes() < expected) {
        if (Clock::now() - start > kWaitLimit) {
            std::printf("  the file held %llu of %llu bytes 30 s after the writer ended\n", FileBytes(), expected);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Every line of the file is the writers' next string, run after run.
bool FileHoldsEveryString(const std::vector<Written>& runs) {
    std::ifstream file(kFile, std::ios::binary);
    int lineNumber = 0;
    std::string line;
    for (const Written& run : runs) {
        for (int next = 0; next < run.strings; ++next, ++lineNumber) {
            const std::string expected = run.tag + " s" + std::to_string(next) + "\r";
            if (!std::getline(file, line)) {
                std::printf("  FAILED: the file ends after %d lines, before \"%s s%d\"\n", lineNumber, run.tag.c_str(),
                            next);
                return false;
            }
            if (line != expected) {
                std::printf("  FAILED: line %d of the file is \"%s\", not \"%s\"\n", lineNumber + 1, line.c_str(),
                            expected.substr(0, expected.size() - 1).c_str());
                return false;
            }
        }
    }
    if (std::getline(file, line)) std::printf("  FAILED: the file holds more than its %d strings\n", lineNumber);
    return file.eof();
}

struct CaptureFigures {
    double rate = 0;
    double fileLagMs = 0;
    double answer99Ms = 0;
    double longestAnswerMs = 0;
    size_t probes = 0;
    int unanswered = 0;
};

// What captures in a round, and how it ends: a process that, once it runs,
// holds the debug-output names. One still running when the round leaves it
// is ended by force, so that it holds the names no longer.
class TCapturer {
public:
    virtual ~TCapturer() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 3);
            WaitForSingleObject(process_.get(), 10000);
        }
        runningServer = nullptr;
    }
    TCapturer(const TCapturer&) = delete;
    TCapturer& operator=(const TCapturer&) = delete;

    HANDLE Handle() const { return process_.get(); }
    // The window whose answers are timed while it captures.
    virtual HWND Probed() const = 0;
    // As its user ends it, every string written: false when it did not.
    virtual bool End() = 0;

protected:
    explicit TCapturer(UniqueHandle process) : process_(std::move(process)) { runningServer = process_.get(); }
    bool EndsWithin30s(const char* what) const {
        const int code = ExitCodeWithin(process_.get(), 30000);
        if (code != 0) std::printf("  the %s ended with %d (-1: still ran 30 s after it was told)\n", what, code);
        return code == 0;
    }

private:
    UniqueHandle process_;
};

// The desktop server, started by hand and ended as the tray's Close does:
// with no client and the frame hidden it ends without asking.
class TServerCapturer final : public TCapturer {
public:
    TServerCapturer() : TCapturer(StartProcess("\"" + BinDirectory() + "norvale.exe\"")) {
        if (Handle() != nullptr) frame_ = AwaitServerFrame();
    }
    HWND Probed() const override { return frame_; }
    bool End() override {
        PostMessageW(frame_, WM_COMMAND, ID_AC_CLOSE, 0);
        return EndsWithin30s("server");
    }

private:
    HWND frame_ = nullptr;
};

// The agent in a console of its own, which the test helper makes and
// presses Ctrl+C in when told: the helper ends with the agent's exit code.
// It has no window: an idle one of this process is probed, as for the floor.
class TAgentCapturer final : public TCapturer {
public:
    explicit TAgentCapturer(HWND idle)
        : TCapturer(StartProcess("\"" + BinDirectory() + "norvale_test_helper.exe\" ctrl-c " + kAgentConsole + " \"" +
                                 kAgentGo + "\" \"" + BinDirectory() + "norvale-agent.exe /Out " + kFile + "\" " +
                                 std::to_string(kLongWriterLimitMs / 1000 * 2))),
          idle_(idle),
          go_(CreateEventA(nullptr, TRUE, FALSE, kAgentGo)) {}
    HWND Probed() const override { return idle_; }
    bool End() override {
        SetEvent(go_.get());
        return EndsWithin30s("agent (through the helper that pressed Ctrl+C)");
    }

private:
    HWND idle_;
    UniqueHandle go_;
};

std::unique_ptr<TCapturer> StartCapturer(bool agent, HWND idle) {
    if (agent) return std::make_unique<TAgentCapturer>(idle);
    return std::make_unique<TServerCapturer>();
}

std::optional<CaptureFigures> CaptureRun(int round, bool agent, HWND idle) {
    const std::vector<Written> runs = {{(agent ? "agent" : "capture") + std::to_string(round)}};
    DeleteFileA(kFile);
    if (NamesHeld()) {
        std::printf("  another reader holds the debug-output names: the %s would not capture\n",
                    agent ? "agent" : "server");
        return std::nullopt;
    }
    const std::unique_ptr<TCapturer> capturer = StartCapturer(agent, idle);
    if (capturer->Probed() == nullptr || !AwaitNamesHeld(capturer->Handle())) {
        std::printf("  the %s did not start capturing within 30 s\n", agent ? "agent" : "server");
        return std::nullopt;
    }
    ProbeAnswers answers;
    std::optional<double> lag;
    const std::optional<double> rate = WhileProbing(capturer->Probed(), answers, [&] {
        const std::optional<double> written = Write(runs[0].tag);
        if (written) lag = AwaitFileFilled(runs);
        return written;
    });
    // The file is whole once the capturer has closed it.
    const bool ended = capturer->End();
    if (!rate || !lag || !ended || !FileHoldsEveryString(runs)) return std::nullopt;
    return CaptureFigures{*rate, *lag, Percentile(answers.ms, 0.99), Percentile(answers.ms, 1.0), answers.ms.size(),
                          answers.unanswered};
}

// The agent's private memory after 100,000 captured strings and after
// 1,000,000: what a long run leaves behind. Nothing when a step failed.
std::optional<std::pair<double, double>> AgentMemoryRun(HWND idle) {
    DeleteFileA(kFile);
    const std::unique_ptr<TCapturer> capturer = StartCapturer(true, idle);
    if (!AwaitNamesHeld(capturer->Handle())) {
        std::printf("  the agent did not start capturing within 30 s\n");
        return std::nullopt;
    }
    const DWORD agent = ProcessIdOf("norvale-agent.exe");
    std::vector<Written> runs;
    std::vector<double> megabytes;
    for (const Written& run : {Written{"first", kMemoryFirst}, Written{"rest", kMemoryRest}}) {
        runs.push_back(run);
        if (!Write(run.tag, run.strings, kLongWriterLimitMs) || !AwaitFileFilled(runs)) return std::nullopt;
        megabytes.push_back(PrivateMegabytes(agent));
    }
    if (!capturer->End() || !FileHoldsEveryString(runs)) return std::nullopt;
    return std::pair{megabytes[0], megabytes[1]};
}

// Rates and their ratio are what runs are compared by; the times only say
// how long a window kept from its messages.
void PrintSpread(const char* name, const std::vector<double>& values, const char* unit, bool compared) {
    const Spread spread = SpreadOf(values);
    std::printf("  %-42s %8.2f (%.2f to %.2f) %s%s\n", name, spread.median, spread.lowest, spread.highest, unit,
                compared && spread.TooWide() ? "  spread too wide to compare runs" : "");
}

// One capturer's figures over the rounds, each set against its floors.
struct CapturerFigures {
    std::vector<double> rates, ratios, lags, answers99, longest;
    int unanswered = 0;

    void Add(const CaptureFigures& capture, double floorRate) {
        rates.push_back(capture.rate);
        ratios.push_back(capture.rate / floorRate);
        lags.push_back(capture.fileLagMs);
        answers99.push_back(capture.answer99Ms);
        longest.push_back(capture.longestAnswerMs);
        unanswered += capture.unanswered;
    }
    void Print(const char* name, const char* ratio, const char* probed) const {
        PrintSpread(name, rates, "strings/s", true);
        PrintSpread(ratio, ratios, "", true);
        PrintSpread("  the file whole after the writer ended", lags, "ms", false);
        PrintSpread((std::string("  ") + probed + " WM_NULL answer, 99th percentile").c_str(), answers99, "ms", false);
        PrintSpread((std::string("  ") + probed + " WM_NULL answer, longest").c_str(), longest, "ms", false);
        if (unanswered > 0) std::printf("  %d probes went unanswered within %lu ms\n", unanswered, kAnswerLimitMs);
    }
};

int Run() {
    if (NorvaleProcessId() != 0 || ProcessIdOf("norvale-agent.exe") != 0) {
        std::printf("a norvale.exe or norvale-agent.exe runs already; end it first\n");
        return 1;
    }
    UseCaptureSettings();
    const TIdleWindow idle;
    std::vector<double> floorRates, idleAnswers;
    CapturerFigures server, agent;
    // Floors and captures take turns, a floor first and last: each capture
    // is set against the mean of the floors on either side of it, which
    // cancels a drift of the machine's speed across the round.
    std::optional<double> before;
    {
        TPhaseWatch watch("the first floor", 120, Undo);
        before = FloorRate(0, idle.Handle(), idleAnswers);
    }
    int round = 0;
    for (; before && round < kRounds; ++round) {
        TPhaseWatch watch("a round", 600, Undo);
        const std::optional<CaptureFigures> byServer = CaptureRun(round, false, idle.Handle());
        const std::optional<double> middle = byServer ? FloorRate(2 * round + 1, idle.Handle(), idleAnswers) : std::nullopt;
        const std::optional<CaptureFigures> byAgent = middle ? CaptureRun(round, true, idle.Handle()) : std::nullopt;
        const std::optional<double> after = byAgent ? FloorRate(2 * round + 2, idle.Handle(), idleAnswers) : std::nullopt;
        if (!after) break;
        floorRates.insert(floorRates.end(), {*before, *middle, *after});
        server.Add(*byServer, (*before + *middle) / 2);
        agent.Add(*byAgent, (*middle + *after) / 2);
        std::printf("round %d: bare reader %.0f, Norvale %.0f (ratio %.2f), bare reader %.0f, agent %.0f (ratio %.2f), "
                    "bare reader %.0f strings/s; every string in order in each file\n",
                    round + 1, *before, byServer->rate, server.ratios.back(), *middle, byAgent->rate,
                    agent.ratios.back(), *after);
        std::fflush(stdout);
        before = after;
    }
    std::optional<std::pair<double, double>> memory;
    if (round == kRounds) {
        TPhaseWatch watch("the agent's memory", 1800, Undo);
        memory = AgentMemoryRun(idle.Handle());
    }
    Undo();
    if (round != kRounds || !memory) {
        std::printf("FAILED: the benchmark stopped in %s (the reason is above)\n",
                    round != kRounds ? ("round " + std::to_string(round + 1)).c_str() : "the agent's memory run");
        return 1;
    }

    std::printf("Debug output capture: %d strings from one writer process, %d rounds; median (lowest to highest)\n",
                kStrings, kRounds);
    PrintSpread("(b) bare reader, the floor", floorRates, "strings/s", true);
    server.Print("(a) Norvale capturing into its file", "a/b", "frame's");
    agent.Print("(c) the agent capturing into its file", "c/b", "an idle window's");
    std::printf("  an idle window's WM_NULL answer during the floor runs (%zu probes): 99th percentile %.2f ms, "
                "longest %.2f ms\n", idleAnswers.size(), Percentile(idleAnswers, 0.99), Percentile(idleAnswers, 1.0));
    std::printf("The agent's private memory: %.1f MB after %d strings, %.1f MB after %d; ratio %.3f; every string in "
                "order in its file\n",
                memory->first, kMemoryFirst, memory->second, kMemoryFirst + kMemoryRest, memory->second / memory->first);
    return 0;
}

}  // namespace
}  // namespace norvale

int main() { return norvale::Run(); }
