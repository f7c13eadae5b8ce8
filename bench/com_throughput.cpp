// Throughput, scaling and memory of the automation server under load, each
// measured in one run and printed with its ratios:
//  - AddMessage calls per second with all outputs off, with the file, with
//    file and console, and against the bare server (the transport floor);
//    AddStrings with 100-line blocks in lines per second; seven interleaved
//    rounds, each case in chunks paired with chunks of the floor, each
//    figure and ratio as its median with its spread;
//  - 1, 2, 4 and 8 client processes of 4 threads each: lines per second;
//  - the server's private bytes after 10,000 and 200,000 messages and after
//    1,000 sessions opened and closed.
//
//   norvale_com_bench                 the whole run
//   norvale_com_bench memory          the memory part alone
//   norvale_com_bench worker T N      one client process: T threads, N calls each

#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <iterator>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "common/com_ptr.h"
#include "common/win32_resources.h"
#include "config/registry_values.h"
#include "app/class_factory.h"
#include "norvale/Norvale_h.h"
#include "server/server_instance.h"
#include "output/output_settings.h"

namespace norvale {
namespace {

// The bare server's class (see bare_server.cpp).
constexpr CLSID kBareClass = {0x00000001, 0x6E4F, 0x4B3A, {0x8C, 0x24, 0x4E, 0x6F, 0x72, 0x76, 0x61, 0x6C}};

using Clock = std::chrono::steady_clock;

std::string BinDirectory() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

int RunAndWait(const std::string& commandLine, DWORD milliseconds = 600000) {
    std::string line = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return -1;
    CloseHandle(info.hThread);
    UniqueHandle process(info.hProcess);
    if (WaitForSingleObject(process.get(), milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}

void UseSettings(bool toFile, bool toConsole) {
    const std::string key = SettingsLocation::kOutputSettingsKey;
    RegApiDeleteTree(RegCurrentUser(), key);
    WriteRegBool(RegCurrentUser(), key, "ToFile", toFile);
    WriteRegBool(RegCurrentUser(), key, "ToConsole", toConsole);
    WriteRegBool(RegCurrentUser(), key, "IncludeDateTime", true);
    WriteRegBool(RegCurrentUser(), key, "IncludeProject", true);
    WriteRegBool(RegCurrentUser(), key, "IncludeThread", true);
    WriteRegString(RegCurrentUser(), key, "Filename", "C:\\norvale-bench.txt");
    DeleteFileA("C:\\norvale-bench.txt");
}

ComPtr<INorvale> Activate(REFCLSID clsid) {
    ComPtr<INorvale> server;
    CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_INorvale, server.put_void());
    return server;
}

// Bounds a phase of the run: a phase that hangs (Wine's marshaling can, in
// rare session churn) ends the run with its name instead of stalling it.
class TPhaseWatch {
public:
    TPhaseWatch(const char* phase, int seconds) : phase_(phase), done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
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
    }
    TPhaseWatch(const TPhaseWatch&) = delete;
    TPhaseWatch& operator=(const TPhaseWatch&) = delete;

private:
    const char* phase_;
    UniqueHandle done_;
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

Spread SpreadOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return Spread{values[values.size() / 2], values.front(), values.back()};
}

void PrintFigure(const char* name, const Spread& rate, const Spread& ratio) {
    std::printf("  %-20s %8.0f (%6.0f to %6.0f)   %.2f (%.2f to %.2f)%s\n", name, rate.median, rate.lowest,
                rate.highest, ratio.median, ratio.lowest, ratio.highest,
                ratio.TooWide() ? "   spread too wide to compare runs" : "");
}

// The server process ends a moment after its last client; the next case must
// start a fresh one.
void LetTheServerEnd() { std::this_thread::sleep_for(std::chrono::milliseconds(1500)); }

// Calls per second of `calls` calls from `threads` threads, each through a
// session of its own.
double CallsPerSecond(INorvale* server, int threads, int calls, bool blocks) {
    BSTR project = SysAllocString(L"Bench");
    BSTR message = SysAllocString(L"A message of the length traces usually have, with a number 1234567");
    std::wstring data;
    for (int line = 0; line < 100; ++line) data += L"line " + std::to_wstring(line) + L" of the block\r\n";
    BSTR block = SysAllocString(data.c_str());
    std::vector<ComPtr<IDebugSession>> sessions(static_cast<size_t>(threads));
    for (auto& session : sessions) server->OpenSession(project, session.put());
    for (auto& session : sessions) session->AddMessage(1, 0, message);  // warm the path
    const auto start = Clock::now();
    std::vector<std::thread> workers;
    for (auto& session : sessions) {
        workers.emplace_back([&, raw = session.get()] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            for (int i = 0; i < calls / threads; ++i) {
                if (blocks) {
                    raw->AddStrings(1, 0, message, block);
                } else {
                    raw->AddMessage(1, 0, message);
                }
            }
            CoUninitialize();
        });
    }
    for (auto& worker : workers) worker.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (auto& session : sessions) session->CloseSession();
    SysFreeString(block);
    SysFreeString(message);
    SysFreeString(project);
    return (calls / threads) * threads / seconds;
}

DWORD NorvaleProcessId() {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (_stricmp(entry.szExeFile, "norvale.exe") == 0) return entry.th32ProcessID;
    }
    return 0;
}

double PrivateMegabytes(DWORD processId) {
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

int Worker(int threads, int calls) {
    ComPtr<INorvale> server = Activate(CLSID_Norvale);
    if (!server) return 1;
    CallsPerSecond(server.get(), threads, calls * threads, false);
    return 0;
}

// Private memory of process `pid` at steps of a load on `server`: growth
// that levels off is the platform's pools filling; growth at every step would
// be a leak.
void ReportMemoryUnderLoad(INorvale* server, DWORD pid) {
    CallsPerSecond(server, 8, 10000, false);
    const double after10k = PrivateMegabytes(pid);
    std::printf("  after 10,000 messages   %7.2f\n", after10k);
    for (int total = 50000; total <= 200000; total += 50000) {
        CallsPerSecond(server, 8, total == 50000 ? 40000 : 50000, false);
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
        TPhaseWatch watch("memory of the server process", 600);
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
    TServerContext context{lock, *outputs, registry, instance, norvaleClass, sessionClass, SettingsLocation{}};
    context.EnterInRunningObjectTable = false;
    TSingleAutoObjectFactory factory(context, [] {});
    {
        TPhaseWatch watch("memory of hosted server objects", 600);
        ComPtr<INorvale> server;
        factory.CreateInstance(nullptr, IID_INorvale, server.put_void());
        ReportMemoryUnderLoad(server.get(), GetCurrentProcessId());
    }
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
}

int WholeRun() {
    const std::string bin = BinDirectory();
    if (RunAndWait("\"" + bin + "norvale.exe\" /RegServer") != 0 ||
        RunAndWait("\"" + bin + "norvale_bare_server.exe\" /RegServer") != 0) {
        std::printf("cannot register the servers\n");
        return 1;
    }
    // Each case runs in pairs of chunks with the floor right before it, so
    // that its ratio compares calls made under the same conditions: the
    // cost of a call under Wine drifts with the machine's other work.
    constexpr int kChunk = 1000;
    constexpr int kPairs = 4;
    constexpr int kRounds = 7;
    std::printf("AddMessage from one client thread, %d interleaved rounds, each case %d x %d calls, each chunk\n"
                "right after a chunk of the floor (calls/s and ratio to those floor chunks: median, lowest to "
                "highest):\n",
                kRounds, kPairs, kChunk);
    struct Case {
        const char* name;
        bool toFile;
        bool toConsole;
        bool blocks;
    };
    const Case cases[] = {
        {"(a) outputs off", false, false, false},
        {"(b) file", true, false, false},
        {"(c) file + console", true, true, false},
        {"blocks to the file", true, false, true},
    };
    constexpr size_t kCases = std::size(cases);
    std::vector<double> floors[kCases];
    std::vector<double> rates[kCases];
    std::vector<double> ratios[kCases];
    {
        TPhaseWatch watch("the call cases", 900);
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
                UseSettings(c.toFile, c.toConsole);
                norvale->RefreshProperties();
                // A block is 100 lines: its figures are lines per second.
                const int calls = c.blocks ? kChunk / 10 : kChunk;
                const double lines = c.blocks ? 100 : 1;
                double floorRate = 0;
                double caseRate = 0;
                for (int pair = 0; pair < kPairs; ++pair) {
                    floorRate += CallsPerSecond(bare.get(), 1, calls, c.blocks) * lines / kPairs;
                    caseRate += CallsPerSecond(norvale.get(), 1, calls, c.blocks) * lines / kPairs;
                }
                floors[i].push_back(floorRate);
                rates[i].push_back(caseRate);
                ratios[i].push_back(floorRate > 0 ? caseRate / floorRate : 0);
            }
        }
    }
    LetTheServerEnd();
    for (size_t i = 0; i < kCases; ++i) {
        std::printf("  %s\n", cases[i].name);
        PrintFigure("  floor beside it", SpreadOf(floors[i]), SpreadOf(std::vector<double>(kRounds, 1.0)));
        PrintFigure("  the case", SpreadOf(rates[i]), SpreadOf(ratios[i]));
    }

    std::printf("Scaling, N client processes x 4 threads x 500 messages, file on (lines/s, ratio to one client):\n");
    UseSettings(true, false);
    {
        // The workers go with this process, also when a hung phase ends it.
        const UniqueHandle workerJob(CreateJobObjectA(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(workerJob.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
        TPhaseWatch watch("scaling", 600);
        ComPtr<INorvale> holder = Activate(CLSID_Norvale);
        double one = 0;
        for (int processes : {1, 2, 4, 8}) {
            const auto start = Clock::now();
            std::vector<UniqueHandle> workers;
            for (int p = 0; p < processes; ++p) {
                std::string line = "\"" + bin + "norvale_com_bench.exe\" worker 4 500";
                STARTUPINFOA startup{};
                startup.cb = sizeof startup;
                PROCESS_INFORMATION info{};
                if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
                    CloseHandle(info.hThread);
                    AssignProcessToJobObject(workerJob.get(), info.hProcess);
                    workers.emplace_back(info.hProcess);
                }
            }
            for (auto& worker : workers) WaitForSingleObject(worker.get(), 600000);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            const double rate = processes * 4 * 500 / seconds;
            if (processes == 1) one = rate;
            std::printf("  %d process(es)  %8.0f   %.2f\n", processes, rate, rate / one);
        }
    }
    LetTheServerEnd();

    MemoryRun();
    InProcessMemoryRun();
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    return 0;
}

}  // namespace
}  // namespace norvale

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int result = 0;
    if (argc == 4 && std::string(argv[1]) == "worker") {
        result = norvale::Worker(std::atoi(argv[2]), std::atoi(argv[3]));
    } else if (argc == 2 && std::string(argv[1]) == "memory") {
        norvale::MemoryRun();
        norvale::InProcessMemoryRun();
    } else {
        result = norvale::WholeRun();
    }
    CoUninitialize();
    return result;
}
