// Throughput, scaling and memory of the automation server under load, each
// measured in one run and printed with its ratios:
//  - AddMessage calls per second with all outputs off, with the file (in the
//    code page, in UTF-8, rotating, and forwarded over TCP to rsyslog besides), with
//    file and console, and against the bare server (the transport floor);
//    AddStrings with 100-line blocks in lines per second, AddEntries with
//    batches of 1,000 messages in entries per second; seven interleaved
//    rounds, each case taking turns call by call with the floor, each
//    figure and ratio as its median with its spread; and where the time of
//    a call goes inside the server, stage by stage, against the difference
//    between the case and the floor;
//  - 1, 2, 4 and 8 client processes of 4 threads each: lines per second;
//  - the server's private bytes after 10,000 and 200,000 messages and after
//    1,000 sessions opened and closed.
//
//   norvale_com_bench                 the whole run
//   norvale_com_bench calls           the call cases alone
//   norvale_com_bench scaling         the scaling part alone
//   norvale_com_bench memory          the memory part alone
//   norvale_com_bench worker T N P    one client process of the run with process id P:
//                                     T threads, N calls each

#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support_win32.h"
#include "common/call_profile_win32.h"
#include "common/com_ptr.h"
#include "common/file_io.h"
#include "common/win32_resources.h"
#include "config/options_settings.h"
#include "config/registry_values.h"
#include "app/class_factory.h"
#include "norvale/Norvale_h.h"
#include "norvale/tracer.h"
#include "server/server_instance.h"
#include "output/output_settings.h"
#include "tests_support/rsyslog.h"

namespace norvale {
namespace {

// The bare server's class (see bare_server.cpp).
constexpr CLSID kBareClass = {0x00000001, 0x6E4F, 0x4B3A, {0x8C, 0x24, 0x4E, 0x6F, 0x72, 0x76, 0x61, 0x6C}};

using namespace bench;

// `syslogServer`: forwarding there; none when empty. `rotating`: the file
// starts anew past 1 MiB and each day, three older files kept.
void UseSettings(bool toFile, bool toConsole, bool toWindow = false, bool utf8 = false,
                 const std::string& syslogServer = {}, bool rotating = false) {
    const std::string key = SettingsLocation::kOutputSettingsKey;
    RegApiDeleteTree(RegCurrentUser(), key);
    WriteRegBool(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "ToWindow", toWindow);
    WriteRegBool(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "ToSyslog", !syslogServer.empty());
    if (!syslogServer.empty()) {
        WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, kSyslogServerValue, syslogServer);
    }
    WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, kFileEncodingValue,
                   FileEncodingText(utf8 ? FileEncoding::Utf8 : FileEncoding::Ansi));
    WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, kFileMaxMBValue, rotating ? "1" : "0");
    WriteRegBool(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "FileDaily", rotating);
    WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, kFileKeepValue, "3");
    WriteRegBool(RegCurrentUser(), key, "ToFile", toFile);
    WriteRegBool(RegCurrentUser(), key, "ToConsole", toConsole);
    WriteRegBool(RegCurrentUser(), key, "IncludeDateTime", true);
    WriteRegBool(RegCurrentUser(), key, "IncludeProject", true);
    WriteRegBool(RegCurrentUser(), key, "IncludeThread", true);
    WriteRegString(RegCurrentUser(), key, "Filename", "C:\\norvale-bench.txt");
    DeleteFileA("C:\\norvale-bench.txt");
    if (rotating) {
        // A file all but full, so that each round's calls start a new one.
        const std::string filler((1 << 20) - 1024, 'x');
        UniqueFile file;
        if (FileCreate("C:\\norvale-bench.txt", file) == 0) {
            FileWrite(file.get(), filler.data(), static_cast<uint32_t>(filler.size()));
        }
    }
}

ComPtr<INorvale> Activate(REFCLSID clsid) {
    ComPtr<INorvale> server;
    CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_INorvale, server.put_void());
    return server;
}

constexpr size_t kStages = static_cast<size_t>(CallStage::Count);
using StageTimes = std::array<double, kStages>;

// The block the server profiles its calls into. It exists before the server
// process starts, which is when the server looks for it; the server records
// only while it is told to, so that the figures come from calls without the
// profile's own clock reads.
class TServerProfile {
public:
    void Record(bool on) {
        if (view_.Block() != nullptr) view_.Block()->recording = on ? 1 : 0;
    }

    // Nanoseconds spent in each stage so far.
    StageTimes Totals() const {
        StageTimes totals{};
        if (view_.Block() == nullptr) return totals;
        for (size_t stage = 0; stage < kStages; ++stage) {
            totals[stage] = static_cast<double>(view_.Block()->stages[stage].nanoseconds.load());
        }
        return totals;
    }

private:
    const TCallProfileView view_ = TCallProfileView::Create();
};

// What a run of calls took: as the client saw it, and in each stage of the
// server (zero for a server that does not profile).
struct ChunkTimes {
    int calls = 0;
    double seconds = 0;
    StageTimes serverNanoseconds{};

    double Rate() const { return calls / seconds; }
    double MicrosecondsPerCall() const { return seconds * 1e6 / calls; }
    double StageMicrosecondsPerCall(CallStage stage) const {
        return serverNanoseconds[static_cast<size_t>(stage)] / 1000.0 / calls;
    }
};

void PrintBreakdownHeading() {
    std::printf("Where the time of a call goes, from a quarter as many calls again with the server's profile\n"
                "recording, microseconds per call (per block for blocks, per entry for batches), median of the\n"
                "rounds:\n"
                "  client: the call as the client sees it; floor: the same call to the bare server; extra: their\n"
                "  difference; method: the server's method, of it: lock (the output lock's system calls), window\n"
                "  (the trace window's store), conv. (text conversion), prefix, dispatch (the enabled outputs), of\n"
                "  that file and its write calls; other: the method's remainder; outside: the extra not spent in\n"
                "  the method\n"
                "  %-20s %7s %7s %6s | %6s %6s %6s %6s %6s %8s %6s %6s %6s | %7s\n",
                "case", "client", "floor", "extra", "method", "lock", "window", "conv.", "prefix", "dispatch", "file",
                "writes", "other", "outside");
}

// One case's breakdown: each column is the median over the rounds, the
// differences taken round by round.
void PrintBreakdown(const char* name, const std::vector<ChunkTimes>& floors, const std::vector<ChunkTimes>& rounds) {
    enum Column {
        Client, Floor, Extra, Method, Lock, Window, Conversion, Prefix, Dispatch, File, Writes, Other, Outside, Count
    };
    std::vector<double> columns[Count];
    for (size_t round = 0; round < rounds.size(); ++round) {
        const ChunkTimes& times = rounds[round];
        const auto stage = [&](CallStage s) { return times.StageMicrosecondsPerCall(s); };
        const double extra = times.MicrosecondsPerCall() - floors[round].MicrosecondsPerCall();
        const double values[Count] = {
            times.MicrosecondsPerCall(),
            floors[round].MicrosecondsPerCall(),
            extra,
            stage(CallStage::Call),
            stage(CallStage::Lock),
            stage(CallStage::Window),
            stage(CallStage::Conversion),
            stage(CallStage::Prefix),
            stage(CallStage::Dispatch),
            stage(CallStage::File),
            stage(CallStage::FileWrites),
            stage(CallStage::Call) - stage(CallStage::Lock) - stage(CallStage::Window) -
                stage(CallStage::Conversion) - stage(CallStage::Prefix) - stage(CallStage::Dispatch),
            extra - stage(CallStage::Call),
        };
        for (int column = 0; column < Count; ++column) columns[column].push_back(values[column]);
    }
    double m[Count];
    for (int column = 0; column < Count; ++column) m[column] = SpreadOf(columns[column]).median;
    std::printf("  %-20s %7.1f %7.1f %6.1f | %6.1f %6.1f %6.2f %6.1f %6.1f %8.1f %6.1f %6.1f %6.1f | %7.1f\n", name,
                m[Client], m[Floor], m[Extra], m[Method], m[Lock], m[Window], m[Conversion], m[Prefix], m[Dispatch],
                m[File], m[Writes], m[Other], m[Outside]);
}

enum class CallKind { Message, Block, Batch };

// A batch's figures are per entry.
constexpr int kBatchEntries = 1000;
int EntriesPerCall(CallKind kind) { return kind == CallKind::Batch ? kBatchEntries : 1; }

// What every call of the benchmark passes: a message of the length traces
// usually have, a block of 100 lines with it, or a batch of 1,000 of it.
class TCallArguments {
public:
    TCallArguments() : project_(SysAllocString(L"Bench")), message_(SysAllocString(kMessage)) {
        std::wstring data;
        for (int line = 0; line < 100; ++line) data += L"line " + std::to_wstring(line) + L" of the block\r\n";
        block_.reset(SysAllocString(data.c_str()));
        TBatchWriter writer;
        for (int i = 0; i < kBatchEntries; ++i) writer.Message(1, 0, FileTimeNow(), kMessage);
        ByteArrayInto(writer.Bytes(), batch_);
    }
    ~TCallArguments() { VariantClear(&batch_); }

    ComPtr<IDebugSession2> OpenSession(INorvale* server) const {
        ComPtr<IDebugSession> session;
        server->OpenSession(project_.get(), session.put());
        ComPtr<IDebugSession2> session2;
        if (session) session->QueryInterface(IID_IDebugSession2, session2.put_void());
        return session2;
    }
    void Call(IDebugSession2* session, CallKind kind) const {
        switch (kind) {
        case CallKind::Message: session->AddMessage(1, 0, message_.get()); break;
        case CallKind::Block: session->AddStrings(1, 0, message_.get(), block_.get()); break;
        case CallKind::Batch: session->AddEntries(batch_); break;
        }
    }

private:
    static constexpr const wchar_t* kMessage = L"A message of the length traces usually have, with a number 1234567";
    UniqueBstr project_;
    UniqueBstr message_;
    UniqueBstr block_;
    VARIANT batch_;
};

// `calls` calls from `threads` threads, each through a session of its own;
// calls per second. `ready` runs once the sessions are open, `done` once the
// calls are made.
double CallsPerSecond(INorvale* server, int threads, int calls, const std::function<void()>& ready = [] {},
                      const std::function<void()>& done = [] {}) {
    const TCallArguments arguments;
    std::vector<ComPtr<IDebugSession2>> sessions;
    for (int i = 0; i < threads; ++i) sessions.push_back(arguments.OpenSession(server));
    ready();
    const auto start = Clock::now();
    std::vector<std::thread> workers;
    for (auto& session : sessions) {
        workers.emplace_back([&, raw = session.get()] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            for (int i = 0; i < calls / threads; ++i) arguments.Call(raw, CallKind::Message);
            CoUninitialize();
        });
    }
    for (auto& worker : workers) worker.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    done();
    for (auto& session : sessions) session->CloseSession();
    return (calls / threads) * threads / seconds;
}

// The same calls to the bare server and to Norvale, taking turns call by
// call from one thread, so that both meet the machine in the same state:
// under Wine the cost of a cross-process call drifts by a fifth within
// seconds. Each side's time is the sum of its own calls; Norvale's stages are
// read from its profile.
struct PairedTimes {
    ChunkTimes floor;
    ChunkTimes norvale;
};

PairedTimes TimePairedCalls(INorvale* bare, INorvale* norvale, int calls, CallKind kind,
                            const TServerProfile& profile) {
    const TCallArguments arguments;
    const ComPtr<IDebugSession2> floorSession = arguments.OpenSession(bare);
    const ComPtr<IDebugSession2> norvaleSession = arguments.OpenSession(norvale);
    // Warm both paths.
    arguments.Call(floorSession.get(), kind);
    arguments.Call(norvaleSession.get(), kind);
    PairedTimes times;
    const StageTimes stagesBefore = profile.Totals();
    for (int i = 0; i < calls; ++i) {
        const auto start = Clock::now();
        arguments.Call(floorSession.get(), kind);
        const auto between = Clock::now();
        arguments.Call(norvaleSession.get(), kind);
        times.floor.seconds += std::chrono::duration<double>(between - start).count();
        times.norvale.seconds += std::chrono::duration<double>(Clock::now() - between).count();
    }
    const StageTimes stagesAfter = profile.Totals();
    for (size_t stage = 0; stage < kStages; ++stage) {
        times.norvale.serverNanoseconds[stage] = stagesAfter[stage] - stagesBefore[stage];
    }
    times.floor.calls = times.norvale.calls = calls * EntriesPerCall(kind);
    floorSession->CloseSession();
    norvaleSession->CloseSession();
    return times;
}

// What the scaling phase and its workers meet on: each worker says it is
// ready (its sessions open), waits for the start, and says when its calls are
// done, so that no process start or end falls into the timed part.
struct TScalingSignals {
    explicit TScalingSignals(DWORD parentId)
        : ready(CreateSemaphoreA(nullptr, 0, 64, Name(parentId, "ready").c_str())),
          start(CreateEventA(nullptr, TRUE, FALSE, Name(parentId, "start").c_str())),
          done(CreateSemaphoreA(nullptr, 0, 64, Name(parentId, "done").c_str())) {}
    static std::string Name(DWORD parentId, const char* what) {
        return "Local\\NorvaleBench." + std::to_string(parentId) + "." + what;
    }
    UniqueHandle ready;
    UniqueHandle start;
    UniqueHandle done;
};

constexpr DWORD kWorkerWaitMilliseconds = 60000;

int Worker(int threads, int calls, DWORD parentId) {
    const TScalingSignals signals(parentId);
    ComPtr<INorvale> server = Activate(CLSID_Norvale);
    if (!server) return 1;
    CallsPerSecond(
        server.get(), threads, calls * threads,
        [&] {
            ReleaseSemaphore(signals.ready.get(), 1, nullptr);
            WaitForSingleObject(signals.start.get(), kWorkerWaitMilliseconds);
        },
        [&] { ReleaseSemaphore(signals.done.get(), 1, nullptr); });
    return 0;
}

// Waits for `count` releases of `semaphore`, each bounded; false when one
// does not come.
bool AwaitReleases(HANDLE semaphore, int count) {
    for (int i = 0; i < count; ++i) {
        if (WaitForSingleObject(semaphore, kWorkerWaitMilliseconds) != WAIT_OBJECT_0) return false;
    }
    return true;
}

// Private memory of process `pid` at steps of a load on `server`: growth
// that levels off is the platform's pools filling; growth at every step would
// be a leak.
void ReportMemoryUnderLoad(INorvale* server, DWORD pid) {
    CallsPerSecond(server, 8, 10000);
    const double after10k = PrivateMegabytes(pid);
    std::printf("  after 10,000 messages   %7.2f\n", after10k);
    for (int total = 50000; total <= 200000; total += 50000) {
        CallsPerSecond(server, 8, total == 50000 ? 40000 : 50000);
        std::printf("  after %3d,000 messages  %7.2f   (%+.2f MiB since 10,000)\n", total / 1000,
                    PrivateMegabytes(pid), PrivateMegabytes(pid) - after10k);
    }
    BSTR project = SysAllocString(L"Sessions");
    for (int round = 1; round <= 3; ++round) {
        const double before = PrivateMegabytes(pid);
        for (int i = 0; i < 1000; ++i) {
            ComPtr<IDebugSession> session;
            server->OpenSession(project, session.put());
            if (session) session->CloseSession();
        }
        std::printf("  after %d x 1,000 sessions opened and closed %7.2f   (%+.2f MiB this round)\n", round,
                    PrivateMegabytes(pid), PrivateMegabytes(pid) - before);
    }
    SysFreeString(project);
}

void MemoryRun() {
    std::printf("Memory of the server process (private MiB), file on, 8 client threads:\n");
    UseSettings(true, false);
    {
        TPhaseWatch watch("memory of the server process", 300);
        ComPtr<INorvale> server = Activate(CLSID_Norvale);
        const DWORD pid = NorvaleProcessId();
        std::printf("  after start             %7.2f\n", PrivateMegabytes(pid));
        ReportMemoryUnderLoad(server.get(), pid);
    }
    LetTheServerEnd();
}

// The same load on server objects hosted in this process, without the
// platform's marshaling: growth here would be the server's own.
void InProcessMemoryRun() {
    std::printf("Memory of server objects hosted in the benchmark process (private MiB):\n");
    UseSettings(true, false);
    TMutex lock("brantwick Norvale Mutex");
    auto outputs = TProcessOutputs::MakeForProcess();
    TSessionRegistry registry(lock);
    TServerInstance instance([](const std::string& text) { std::printf("failure: %s\n", text.c_str()); });
    const ComPtr<ITypeLib> library = LoadTypeLibraryFrom(BinDirectory() + "norvale.exe");
    const TComClass norvaleClass = ReadComClass(library.get(), CLSID_Norvale);
    const TComClass sessionClass = ReadComClass(library.get(), CLSID_DebugSession);
    TOutputStage stage(lock, *outputs, SettingsLocation{});
    TServerContext context{lock, stage, registry, instance, norvaleClass, sessionClass};
    context.EnterInRunningObjectTable = false;
    TSingleAutoObjectFactory factory(context, [] {});
    {
        TPhaseWatch watch("memory of hosted server objects", 240);
        ComPtr<INorvale> server;
        factory.CreateInstance(nullptr, IID_INorvale, server.put_void());
        ReportMemoryUnderLoad(server.get(), GetCurrentProcessId());
    }
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
}

bool RegisterServers() {
    const std::string bin = BinDirectory();
    if (RunAndWait("\"" + bin + "norvale.exe\" /RegServer") == 0 &&
        RunAndWait("\"" + bin + "norvale_bare_server.exe\" /RegServer") == 0) {
        return true;
    }
    std::printf("cannot register the servers\n");
    return false;
}

int CallCases() {
    constexpr int kCalls = 4000;
    constexpr int kRounds = 7;
    std::printf("AddMessage from one client thread, %d interleaved rounds, each case %d calls a round, taking turns\n"
                "call by call with the same calls to the bare server (calls/s and ratio to those floor calls:\n"
                "median, lowest to highest):\n",
                kRounds, kCalls);
    struct Case {
        const char* name;
        bool toFile;
        bool toConsole;
        bool toWindow;
        CallKind kind;
        bool utf8;
        bool syslog;
        bool rotating;
    };
    const Case cases[] = {
        {"(a) outputs off", false, false, false, CallKind::Message, false, false, false},
        {"(b) file", true, false, false, CallKind::Message, false, false, false},
        {"(b) file, rotating", true, false, false, CallKind::Message, false, false, true},
        {"(b) file in UTF-8", true, false, false, CallKind::Message, true, false, false},
        {"(b) file + window", true, false, true, CallKind::Message, false, false, false},
        {"(b) file + syslog TCP", true, false, false, CallKind::Message, false, true, false},
        {"(c) file + console", true, true, false, CallKind::Message, false, false, false},
        {"blocks to the file", true, false, false, CallKind::Block, false, false, false},
        {"batches to the file", true, false, false, CallKind::Batch, false, false, false},
    };
    // The collector of the syslog case: the tests' rsyslog on 127.0.0.1.
    test::TRsyslog rsyslog;
    if (!rsyslog.Start()) return 1;
    const std::string syslogServer = "tcp://127.0.0.1:" + std::to_string(rsyslog.TcpPort());
    constexpr size_t kCases = std::size(cases);
    std::vector<ChunkTimes> floors[kCases];
    std::vector<ChunkTimes> rounds[kCases];
    std::vector<ChunkTimes> profiledFloors[kCases];
    std::vector<ChunkTimes> profiledRounds[kCases];
    TServerProfile profile;
    {
        TPhaseWatch watch("the call cases", 600);
        // One process of each server for the whole table, switched between
        // cases by their settings: starting and ending a process per case
        // put its start-up and the last one's end into the figures.
        UseSettings(false, false);
        ComPtr<INorvale> bare = Activate(kBareClass);
        ComPtr<INorvale> norvale = Activate(CLSID_Norvale);
        if (!bare || !norvale) {
            std::printf("cannot activate the servers\n");
            return 1;
        }
        for (int round = 0; round < kRounds; ++round) {
            // Each round starts at another case, so that no case always
            // follows the same one.
            for (size_t step = 0; step < kCases; ++step) {
                const size_t i = (step + static_cast<size_t>(round)) % kCases;
                const Case& c = cases[i];
                UseSettings(c.toFile, c.toConsole, c.toWindow, c.utf8, c.syslog ? syslogServer : std::string(),
                            c.rotating);
                norvale->RefreshProperties();
                const int calls = c.kind == CallKind::Message ? kCalls : kCalls / (c.kind == CallKind::Block ? 10 : 100);
                const PairedTimes times = TimePairedCalls(bare.get(), norvale.get(), calls, c.kind, profile);
                floors[i].push_back(times.floor);
                rounds[i].push_back(times.norvale);
                profile.Record(true);
                const PairedTimes profiled =
                    TimePairedCalls(bare.get(), norvale.get(), calls / 4, c.kind, profile);
                profile.Record(false);
                profiledFloors[i].push_back(profiled.floor);
                profiledRounds[i].push_back(profiled.norvale);
            }
        }
    }
    LetTheServerEnd();
    for (size_t i = 0; i < kCases; ++i) {
        // A block is 100 lines: its figures are lines per second.
        const double lines = cases[i].kind == CallKind::Block ? 100 : 1;
        std::vector<double> floorRates, rates, ratios;
        for (int round = 0; round < kRounds; ++round) {
            floorRates.push_back(floors[i][round].Rate() * lines);
            rates.push_back(rounds[i][round].Rate() * lines);
            ratios.push_back(rounds[i][round].Rate() / floors[i][round].Rate());
        }
        std::printf("  %s\n", cases[i].name);
        PrintFigure("  floor beside it", SpreadOf(floorRates), SpreadOf(std::vector<double>(kRounds, 1.0)));
        PrintFigure("  the case", SpreadOf(rates), SpreadOf(ratios));
    }
    PrintBreakdownHeading();
    for (size_t i = 0; i < kCases; ++i) PrintBreakdown(cases[i].name, profiledFloors[i], profiledRounds[i]);
    return 0;
}

// Client processes of 4 threads each, all started and with their sessions
// open before the timed part: lines per second and the ratio to one client
// in the same round, over interleaved rounds.
void Scaling() {
    constexpr int kRounds = 5;
    constexpr int kThreads = 4;
    constexpr int kMessages = 500;
    const int counts[] = {1, 2, 4, 8};
    std::printf("Scaling, N client processes x %d threads x %d messages, file on, %d interleaved rounds (lines/s\n"
                "and ratio to one client in the same round: median, lowest to highest):\n",
                kThreads, kMessages, kRounds);
    UseSettings(true, false);
    std::vector<double> rates[std::size(counts)];
    std::vector<double> ratios[std::size(counts)];
    {
        // The workers go with this process, also when a hung phase ends it.
        const UniqueHandle workerJob(CreateJobObjectA(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(workerJob.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
        const TScalingSignals signals(GetCurrentProcessId());
        TPhaseWatch watch("scaling", 240);
        ComPtr<INorvale> holder = Activate(CLSID_Norvale);
        const std::string line = "\"" + BinDirectory() + "norvale_com_bench.exe\" worker " + std::to_string(kThreads) +
                                 " " + std::to_string(kMessages) + " " + std::to_string(GetCurrentProcessId());
        for (int round = 0; round < kRounds; ++round) {
            double roundRates[std::size(counts)] = {};
            for (size_t step = 0; step < std::size(counts); ++step) {
                const size_t i = (step + static_cast<size_t>(round)) % std::size(counts);
                const int processes = counts[i];
                ResetEvent(signals.start.get());
                std::vector<UniqueHandle> workers;
                for (int p = 0; p < processes; ++p) {
                    UniqueHandle worker = StartProcess(line);
                    if (!worker) continue;
                    AssignProcessToJobObject(workerJob.get(), worker.get());
                    workers.push_back(std::move(worker));
                }
                if (static_cast<int>(workers.size()) != processes ||
                    !AwaitReleases(signals.ready.get(), processes)) {
                    std::printf("  the workers of %d process(es) did not get ready\n", processes);
                    return;
                }
                const auto start = Clock::now();
                SetEvent(signals.start.get());
                const bool allDone = AwaitReleases(signals.done.get(), processes);
                const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
                for (auto& worker : workers) WaitForSingleObject(worker.get(), kWorkerWaitMilliseconds);
                if (!allDone) {
                    std::printf("  the workers of %d process(es) did not finish\n", processes);
                    return;
                }
                roundRates[i] = processes * kThreads * kMessages / seconds;
            }
            for (size_t i = 0; i < std::size(counts); ++i) {
                rates[i].push_back(roundRates[i]);
                ratios[i].push_back(roundRates[i] / roundRates[0]);
            }
        }
    }
    for (size_t i = 0; i < std::size(counts); ++i) {
        const std::string name = std::to_string(counts[i]) + " process(es)";
        PrintFigure(name.c_str(), SpreadOf(rates[i]), SpreadOf(ratios[i]));
    }
    LetTheServerEnd();
}

int WholeRun() {
    if (!RegisterServers() || CallCases() != 0) return 1;
    Scaling();
    MemoryRun();
    InProcessMemoryRun();
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    return 0;
}

}  // namespace
}  // namespace norvale

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int result = 0;
    if (argc == 5 && std::string(argv[1]) == "worker") {
        result = norvale::Worker(std::atoi(argv[2]), std::atoi(argv[3]), std::strtoul(argv[4], nullptr, 10));
    } else if (argc == 2 && std::string(argv[1]) == "calls") {
        result = norvale::RegisterServers() ? norvale::CallCases() : 1;
    } else if (argc == 2 && std::string(argv[1]) == "scaling") {
        if (norvale::RegisterServers()) norvale::Scaling();
    } else if (argc == 2 && std::string(argv[1]) == "memory") {
        norvale::MemoryRun();
        norvale::InProcessMemoryRun();
    } else {
        result = norvale::WholeRun();
    }
    CoUninitialize();
    return result;
}
