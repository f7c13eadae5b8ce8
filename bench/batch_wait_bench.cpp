// Another client's wait for the output lock while a big batch is written:
// Norvale's server objects hosted in this process (the real sessions, output
// stage, file and kernel mutex, without the marshaling, which comes before
// the lock and only blurs the figure). One thread sends a batch of 1,000,000
// messages through AddEntries while another, through a session of its own,
// makes AddMessage calls one after another and times each: the longest of
// them is the longest the batch kept that client waiting. The floor is the
// same calls for as long again with no batch running. File output on; five
// rounds; median, lowest and highest round.
//
//   norvale_batch_wait_bench

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/class_factory.h"
#include "bench/bench_support_win32.h"
#include "common/com_ptr.h"
#include "norvale/Norvale_h.h"
#include "norvale/tracer.h"
#include "server/server_instance.h"

namespace norvale {
namespace {

using namespace bench;

constexpr const char* kFile = "C:\\norvale-batch-wait.txt";
constexpr int kEntries = 1000000;
constexpr int kRounds = 5;

class TBatchArray {
public:
    TBatchArray() {
        TBatchWriter writer;
        const uint64_t now = FileTimeNow();
        for (int i = 0; i < kEntries; ++i) writer.Message(1, 0, now, L"entry " + std::to_wstring(i + 1));
        ByteArrayInto(writer.Bytes(), array_);
        megabytes_ = static_cast<double>(writer.Bytes().size()) / 1e6;
    }
    ~TBatchArray() { VariantClear(&array_); }
    TBatchArray(const TBatchArray&) = delete;
    TBatchArray& operator=(const TBatchArray&) = delete;

    const VARIANT& Array() const { return array_; }
    double Megabytes() const { return megabytes_; }

private:
    VARIANT array_;
    double megabytes_ = 0;
};

// What an activation of the server makes, in this process.
class THostedServer {
public:
    THostedServer() { context_.EnterInRunningObjectTable = false; }

    ComPtr<INorvale> Activate() {
        ComPtr<INorvale> server;
        factory_.CreateInstance(nullptr, IID_INorvale, server.put_void());
        return server;
    }

private:
    TMutex lock_{"brantwick Norvale Mutex batch bench"};
    std::unique_ptr<TProcessOutputs> outputs_ = TProcessOutputs::MakeForProcess();
    TSessionRegistry registry_{lock_};
    TServerInstance instance_{[](const std::string& text) { std::printf("failure: %s\n", text.c_str()); }};
    ComPtr<ITypeLib> library_ = LoadTypeLibraryFrom(BinDirectory() + "norvale.exe");
    TComClass norvaleClass_ = ReadComClass(library_.get(), CLSID_Norvale);
    TComClass sessionClass_ = ReadComClass(library_.get(), CLSID_DebugSession);
    TOutputStage stage_{lock_, *outputs_, SettingsLocation{}};
    TServerContext context_{lock_, stage_, registry_, instance_, norvaleClass_, sessionClass_};
    TSingleAutoObjectFactory factory_{context_, [] {}};
};

ComPtr<IDebugSession2> OpenSession(INorvale* server, const wchar_t* project) {
    ComPtr<IDebugSession> session;
    server->OpenSession(UniqueBstr(SysAllocString(project)).get(), session.put());
    ComPtr<IDebugSession2> session2;
    if (session) session->QueryInterface(IID_IDebugSession2, session2.put_void());
    return session2;
}

struct Waits {
    double longestMs = 0;
    double seconds = 0;
    int calls = 0;
};

// `waiter`'s calls, one after another, until `done`.
template <typename Done>
Waits TimeCalls(IDebugSession2* waiter, Done done) {
    Waits waits;
    const UniqueBstr message(SysAllocString(L"another client's message"));
    const auto start = Clock::now();
    while (!done()) {
        const auto callStart = Clock::now();
        waiter->AddMessage(2, 0, message.get());
        waits.longestMs =
            std::max(waits.longestMs, std::chrono::duration<double, std::milli>(Clock::now() - callStart).count());
        ++waits.calls;
    }
    waits.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return waits;
}

int Run() {
    if (RunAndWait("\"" + BinDirectory() + "norvale.exe\" /RegServer") != 0) {
        std::printf("cannot register the server\n");
        return 1;
    }
    UseFileOutputSettings(kFile);
    DeleteFileA(kFile);
    const TBatchArray batch;
    std::printf("Another client's longest call while a batch of %d messages (%.0f MB) is written, file on, server\n"
                "objects hosted in the benchmark, %d rounds (ms, and the ratio to the floor: the same calls for as\n"
                "long with no batch running; median, lowest to highest round):\n",
                kEntries, batch.Megabytes(), kRounds);
    std::vector<double> floors, longest, ratios, batchSeconds, calls;
    {
        TPhaseWatch watch("the batch rounds", 300);
        THostedServer hosted;
        const ComPtr<INorvale> server = hosted.Activate();
        if (!server) {
            std::printf("cannot make the server object\n");
            return 1;
        }
        for (int round = 0; round < kRounds; ++round) {
            const ComPtr<IDebugSession2> waiter = OpenSession(server.get(), L"Waiter");
            const ComPtr<IDebugSession2> sender = OpenSession(server.get(), L"Batch");
            if (!waiter || !sender) {
                std::printf("cannot open the sessions\n");
                return 1;
            }
            std::atomic<bool> sending{true};
            HRESULT taken = E_FAIL;
            std::thread batchThread([&] {
                CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                taken = sender->AddEntries(batch.Array());
                sending = false;
                CoUninitialize();
            });
            const Waits beside = TimeCalls(waiter.get(), [&] { return !sending; });
            batchThread.join();
            const auto floorEnd = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(beside.seconds));
            const Waits floor = TimeCalls(waiter.get(), [&] { return Clock::now() >= floorEnd; });
            if (taken != S_OK) {
                std::printf("the batch was refused: 0x%08lx\n", static_cast<unsigned long>(taken));
                return 1;
            }
            floors.push_back(floor.longestMs);
            longest.push_back(beside.longestMs);
            ratios.push_back(beside.longestMs / floor.longestMs);
            batchSeconds.push_back(beside.seconds);
            calls.push_back(beside.calls);
            // Closing a session closes the file, which then goes: each round
            // starts with none.
            waiter->CloseSession();
            sender->CloseSession();
            DeleteFileA(kFile);
        }
    }
    const Spread floor = SpreadOf(floors), wait = SpreadOf(longest), ratio = SpreadOf(ratios);
    std::printf("  floor, no batch running   %8.2f (%.2f to %.2f)\n", floor.median, floor.lowest, floor.highest);
    std::printf("  beside the batch          %8.2f (%.2f to %.2f)   %.1f (%.1f to %.1f)\n", wait.median, wait.lowest,
                wait.highest, ratio.median, ratio.lowest, ratio.highest);
    const Spread took = SpreadOf(batchSeconds), made = SpreadOf(calls);
    std::printf("  the batch's call took %.2f s (%.2f to %.2f), beside %.0f (%.0f to %.0f) calls of the other client\n",
                took.median, took.lowest, took.highest, made.median, made.lowest, made.highest);
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    return 0;
}

}  // namespace
}  // namespace norvale

int main() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int result = norvale::Run();
    CoUninitialize();
    return result;
}
