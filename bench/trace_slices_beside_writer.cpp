// A pattern in Show re-filters the store a slice at a time on the window's
// main thread while the dispatch keeps appending under the output lock: how
// long one slice keeps the window from its messages, and how long one
// `Append` (and so every client behind the output lock) waits, against the
// same writer with no reader beside it. The bars are the window's frame
// (16 ms) and a client's patience (2 ms), both on the 99th percentile; the
// figures are printed, never judged by the exit code.

#include "trace_slices_beside_writer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/utf8_text.h"
#include "store/trace_filter.h"
#include "store/trace_shown_rows.h"
#include "store/trace_store.h"
#include "trace_store_workload.h"

namespace norvale::bench {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// Each phase ends at its first slice boundary past this; a pass that ends
// sooner starts again.
constexpr auto kPhaseTime = std::chrono::seconds(10);
constexpr auto kFloorTime = std::chrono::seconds(5);
// A busy client: ten thousand entries a second.
constexpr auto kWriterPeriod = std::chrono::microseconds(100);
constexpr double kSliceBarMs = 16;
constexpr double kWaitBarUs = 2000;
// Rows of a few thousand characters, where one row costs a backtracking-prone
// pattern the most; 80 MB of texts in all.
constexpr uint32_t kLongRows = 10'000;
constexpr size_t kLongMessageChars = 4000;

struct Figures {
    double median = 0, p99 = 0, longest = 0;
};

Figures FiguresOf(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const size_t p99 = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(values.size()))) - 1;
    return {values[values.size() / 2], values[p99], values.back()};
}

const char* Bar(double value, double bar) { return value <= bar ? "within" : "OVER"; }

// Appends `entries` in turn at a steady pace until `Stop` or `until`, each
// `Append` timed. It never catches up in a burst: a late tick only delays
// the next.
class TPacedWriter {
public:
    TPacedWriter(TTraceStore& store, const std::vector<TraceEntry>& entries, Clock::time_point until)
        : thread_([this, &store, &entries, until] { Run(store, entries, until); }) {}
    ~TPacedWriter() { Stop(); }

    void Stop() {
        stop_ = true;
        Join();
    }
    // Bounded by `until`.
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    // After either: each append's time, in microseconds.
    const std::vector<double>& WaitsUs() const { return waits_; }

private:
    void Run(TTraceStore& store, const std::vector<TraceEntry>& entries, Clock::time_point until) {
        waits_.reserve(static_cast<size_t>(Seconds(kPhaseTime) / kWriterPeriod) * 2);
        auto tick = Clock::now();
        for (size_t i = 0; !stop_ && Clock::now() < until; ++i) {
            const auto start = Clock::now();
            store.Append(entries[i % entries.size()]);
            waits_.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            tick = std::max(tick + kWriterPeriod, Clock::now());
            std::this_thread::sleep_until(tick);
        }
    }

    std::atomic<bool> stop_{false};
    std::vector<double> waits_;
    std::thread thread_;
};

struct Phase {
    std::vector<double> slicesMs;
    std::vector<double> waitsUs;
    int passes = 0;
    double seconds = 0;
};

Phase FilterBesideAWriter(TTraceStore& store, const TTraceFilter& filter, const std::vector<TraceEntry>& entries) {
    Phase phase;
    TShownRows shown;
    shown.SetFilter(filter);
    const auto start = Clock::now();
    const auto bound = start + kPhaseTime;
    // A slice cannot be cut from outside: the writer goes on beside however
    // long the last one takes, and the phase reports that it outlived its
    // bound.
    TPacedWriter writer(store, entries, Clock::time_point::max());
    while (Clock::now() < bound) {
        const auto sliceStart = Clock::now();
        const TShownChange change = shown.StepWithin(store, TShownRows::kSliceTime);
        phase.slicesMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sliceStart).count());
        if (change.replaced) {
            ++phase.passes;
            shown.SetFilter(filter);
        }
    }
    phase.seconds = Seconds(Clock::now() - start).count();
    writer.Stop();
    phase.waitsUs = writer.WaitsUs();
    return phase;
}

std::vector<double> WriterAlone(TTraceStore& store, const std::vector<TraceEntry>& entries) {
    TPacedWriter writer(store, entries, Clock::now() + kFloorTime);
    writer.Join();
    return writer.WaitsUs();
}

void PrintFloor(const std::vector<double>& waitsUs) {
    const Figures floor = FiguresOf(waitsUs);
    std::printf("  floor, the writer alone for %.0f s: %zu appends, one Append median %.2f us, 99th percentile"
                " %.2f us, longest %.0f us\n",
                Seconds(kFloorTime).count(), waitsUs.size(), floor.median, floor.p99, floor.longest);
}

void PrintPhase(const Phase& phase, const std::vector<double>& floorUs) {
    const Figures slice = FiguresOf(phase.slicesMs), wait = FiguresOf(phase.waitsUs), floor = FiguresOf(floorUs);
    const double bound = Seconds(kPhaseTime).count();
    std::printf("    filtered for %.1f s: %zu slices, %d whole passes; the writer %zu appends, %.0f a second of"
                " the %.0f it is paced at\n",
                phase.seconds, phase.slicesMs.size(), phase.passes, phase.waitsUs.size(),
                static_cast<double>(phase.waitsUs.size()) / phase.seconds, 1.0 / Seconds(kWriterPeriod).count());
    if (slice.longest / 1000 >= bound || phase.seconds > bound + 1) {
        std::printf("    NOT BOUNDED: a single slice of %.1f s outlived the phase's %.0f s\n", slice.longest / 1000,
                    bound);
    }
    std::printf("    main-thread slice (one StepWithin of %lld ms): median %.2f ms, 99th percentile %.2f ms,"
                " longest %.2f ms; 99th <= %.0f ms: %s\n",
                static_cast<long long>(TShownRows::kSliceTime.count()), slice.median, slice.p99, slice.longest,
                kSliceBarMs, Bar(slice.p99, kSliceBarMs));
    std::printf("    writer's wait (one Append): median %.2f us, 99th percentile %.2f us, longest %.0f us;"
                " 99th <= %.0f ms: %s; against the floor: median %.2f, 99th %.2f, longest %.1f\n",
                wait.median, wait.p99, wait.longest, kWaitBarUs / 1000, Bar(wait.p99, kWaitBarUs),
                wait.median / floor.median, wait.p99 / floor.p99, wait.longest / floor.longest);
}

// Compiling happens in the filter's constructor, on the main thread.
TTraceFilter Compiled(const wchar_t* show, double& milliseconds) {
    const auto start = Clock::now();
    TTraceFilter filter({show, L"", L""});
    milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return filter;
}

void RunOn(TTraceStore& store, const std::vector<TraceEntry>& entries, std::initializer_list<const wchar_t*> shows) {
    const std::vector<double> floor = WriterAlone(store, entries);
    PrintFloor(floor);
    for (const wchar_t* show : shows) {
        double compileMs = 0;
        const TTraceFilter filter = Compiled(show, compileMs);
        if (filter.Error(0)) {
            std::printf("  Show %s: refused at compile in %.2f ms (%s)\n", WideToUtf8(show).c_str(), compileMs,
                        filter.Error(0)->c_str());
            continue;
        }
        std::printf("  Show %s: compiled in %.2f ms\n", WideToUtf8(show).c_str(), compileMs);
        const Phase phase = FilterBesideAWriter(store, filter, entries);
        PrintPhase(phase, floor);
        std::fflush(stdout);
    }
}

}  // namespace

void PrintSlicesBesideAWriter() {
    std::printf("\nre-filter slices on the main thread while a writer appends an entry every %lld us (each phase"
                " %.0f s, a pass started again when it ends; bars on the 99th percentile):\n",
                static_cast<long long>(kWriterPeriod.count()), Seconds(kPhaseTime).count());
    {
        auto store = std::make_unique<TTraceStore>(kWindowRows);
        AppendEntries(*store, kWindowRows + kRowsPerIteration);
        std::printf(" %llu rows of the workload:\n", static_cast<unsigned long long>(store->KeptRows()));
        RunOn(*store, TheWorkload().entries,
              {L"/(error|warn).{0,100}timeout/", L"/((.?){1000}){6}z/", L"/(((){1000}){1000}){1000}/"});
    }
    std::wstring message;
    while (message.size() < kLongMessageChars) message += L"abracadabra ";
    TraceEntry entry = TheWorkload().entries[1];
    entry.text = message;
    const std::vector<TraceEntry> entries{entry};
    TTraceStore store(kLongRows);
    for (uint32_t row = 0; row < kLongRows; ++row) store.Append(entry);
    std::printf(" %llu rows of %zu characters:\n", static_cast<unsigned long long>(store.KeptRows()), message.size());
    RunOn(store, entries, {L"/(.*a){20}z/"});
}

}  // namespace norvale::bench
