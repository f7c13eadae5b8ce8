// What tracing through norvale::Tracer costs the program that traces:
//  - the caller's cost of Tracer::Message from 4 threads at a pace the server
//    keeps (4 x 5,000 lines a second, the drop count printed): median, 99th
//    percentile and longest, against the floor of the two clock reads that
//    time a call, taken in the same threads call by call. Natively the
//    tracer sends to a stand-in that takes each batch as long as a round trip
//    does; under Wine it sends to Norvale with the file on;
//  - under Wine, lines per second through the tracer against single
//    AddMessage calls of the same lines, file on, in interleaved rounds, and
//    whether the file's lines of both are the same.
//
// The server's own part of a batch, per entry, is in the automation
// benchmark's breakdown (norvale_com_bench).

#include <norvale/tracer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fstream>

#include "bench/bench_support_win32.h"
#include "common/com_ptr.h"
#include "common/win32_resources.h"
#endif

namespace norvale {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The same text for the tracer on every platform and for a BSTR.
constexpr const char16_t* kText16 = u"A message of the length traces usually have, with a number 1234567";

struct Percentiles {
    double median, p99, longest;
};

Percentiles PercentilesOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values[values.size() * 99 / 100], values.back()};
}

// 4 threads, each 5,000 lines a second in bursts of 50 every 10 ms, for
// `seconds`; each call timed, and beside it the same clock reads around
// nothing.
void CallerCost(Tracer& tracer, int seconds) {
    constexpr int kThreads = 4;
    constexpr int kBurst = 50;
    std::vector<std::vector<double>> costs(kThreads), floors(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::u16string text = kText16;
            auto next = Clock::now();
            for (int tick = 0; tick < seconds * 100; ++tick) {
                for (int i = 0; i < kBurst; ++i) {
                    const auto before = Clock::now();
                    const auto between = Clock::now();
                    tracer.Message(text);
                    const auto after = Clock::now();
                    floors[t].push_back(std::chrono::duration<double, std::nano>(between - before).count());
                    costs[t].push_back(std::chrono::duration<double, std::nano>(after - between).count());
                }
                next += 10ms;
                std::this_thread::sleep_until(next);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    tracer.Flush();
    std::vector<double> allCosts, allFloors;
    for (int t = 0; t < kThreads; ++t) {
        allCosts.insert(allCosts.end(), costs[t].begin(), costs[t].end());
        allFloors.insert(allFloors.end(), floors[t].begin(), floors[t].end());
    }
    const Percentiles cost = PercentilesOf(allCosts), floor = PercentilesOf(allFloors);
    std::printf("  %zu calls of Tracer::Message, nanoseconds (median, 99th percentile, longest):\n"
                "    the call          %8.0f %8.0f %10.0f\n"
                "    the clock floor   %8.0f %8.0f %10.0f\n"
                "    call over floor   %8.1f\n"
                "  dropped: %llu, delivered: %llu\n",
                allCosts.size(), cost.median, cost.p99, cost.longest, floor.median, floor.p99, floor.longest,
                cost.median / floor.median, static_cast<unsigned long long>(tracer.Dropped()),
                static_cast<unsigned long long>(tracer.Delivered()));
}

#ifdef _WIN32
using namespace bench;

constexpr const char* kFile = "C:\\norvale-tracer-bench.txt";
const std::wstring kText(kText16, kText16 + std::char_traits<char16_t>::length(kText16));

// The same lines through single calls and through the tracer, in turns;
// lines per second of each and their ratio, round by round.
void TracerAgainstSingleCalls() {
    constexpr int kRounds = 5;
    constexpr int kLines = 2000;
    std::vector<double> singleRates, tracerRates, ratios;
    {
        ComPtr<INorvale> norvale;
        CoCreateInstance(CLSID_Norvale, nullptr, CLSCTX_LOCAL_SERVER, IID_INorvale, norvale.put_void());
        ComPtr<IDebugSession> session;
        if (!norvale || FAILED(norvale->OpenSession(UniqueBstr(SysAllocString(L"Bench")).get(), session.put()))) {
            std::printf("  cannot open a session\n");
            return;
        }
        Tracer tracer(L"Bench", L"");
        tracer.Message(L"warm");
        tracer.Flush();
        for (int round = 0; round < kRounds; ++round) {
            auto start = Clock::now();
            for (int i = 0; i < kLines; ++i) {
                const UniqueBstr text(SysAllocString((std::wstring(kText) + std::to_wstring(i)).c_str()));
                session->AddMessage(1, 0, text.get());
            }
            const double single = std::chrono::duration<double>(Clock::now() - start).count();
            start = Clock::now();
            for (int i = 0; i < kLines; ++i) tracer.Message(std::wstring(kText) + std::to_wstring(i));
            tracer.Flush();
            const double traced = std::chrono::duration<double>(Clock::now() - start).count();
            singleRates.push_back(kLines / single);
            tracerRates.push_back(kLines / traced);
            ratios.push_back(single / traced);
        }
        std::printf("  dropped by the tracer: %llu\n", static_cast<unsigned long long>(tracer.Dropped()));
        session->CloseSession();
    }
    std::printf("  %d lines a round, %d interleaved rounds (lines/s and ratio to single calls: median, lowest to "
                "highest):\n",
                kLines, kRounds);
    PrintFigure("single AddMessage", SpreadOf(singleRates), SpreadOf(std::vector<double>(kRounds, 1.0)));
    PrintFigure("Tracer::Message", SpreadOf(tracerRates), SpreadOf(ratios));
    LetTheServerEnd();
    // Without a prefix, a line is its message: each round's single calls
    // and the tracer's lines must be the same lines.
    std::ifstream file(kFile);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("A message", 0) == 0) lines.push_back(line);
    }
    bool same = lines.size() == size_t{2} * kRounds * kLines;
    for (size_t at = 0; same && at < lines.size(); at += 2 * kLines) {
        same = std::equal(lines.begin() + at, lines.begin() + at + kLines, lines.begin() + at + kLines);
    }
    std::printf("  the file's lines of both: %s\n", same ? "the same" : "NOT the same");
}

int Run() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    UseFileOutputSettings(kFile);
    DeleteFileA(kFile);
    std::printf("Tracer::Message against Norvale, file on, 4 threads x 5,000 lines/s for 4 s:\n");
    {
        Tracer tracer(L"Bench", L"");
        CallerCost(tracer, 4);
    }
    LetTheServerEnd();
    DeleteFileA(kFile);
    std::printf("Through the tracer against single calls, file on:\n");
    TracerAgainstSingleCalls();
    return 0;
}
#else
// Takes a batch in about the time a cross-process call takes under Wine.
class TStandInLink : public TTracerLink {
public:
    TResult Send(const TBatchWriter&) override {
        std::this_thread::sleep_for(500us);
        return TResult::Delivered;
    }
};

int Run() {
    std::printf("Tracer::Message against a stand-in sender, 4 threads x 5,000 lines/s for 4 s:\n");
    Tracer tracer(std::make_unique<TStandInLink>());
    CallerCost(tracer, 4);
    return 0;
}
#endif

}  // namespace
}  // namespace norvale

int main() { return norvale::Run(); }
