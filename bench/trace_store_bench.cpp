// The trace window's store: (a) appending rows as the dispatch does, against
// (b) the floor of copying the same texts into a preallocated buffer; the
// bytes a kept row costs; (c) re-filtering a million rows in the slices the
// window runs them in; (d) the longest wait of the window for the store's lock
// while a 4 MB hex dump is appended, against the same reader's longest wait
// with no writer. Every figure comes from 5 repetitions, printed as median
// [min, max] at the end.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "store/trace_shown_rows.h"
#include "store/trace_store.h"

namespace {

using namespace norvale;

constexpr uint32_t kWindowRows = 1'000'000;
constexpr int kRowsPerIteration = 100'000;
constexpr int kDistinctEntries = 1000;

const auto kSource = std::make_shared<const TraceSource>(TraceSource{L"Billing", L"Core", L"TInvoice", L"WS12", 0x4D2});

// Every tenth entry a block of four lines, every seventh from a class of its
// own, as a busy client sends them.
struct Workload {
    std::vector<std::wstring> messages;
    TBlockLines block = TBlockLines::FromText(L"Amount 1200.00\r\nTax 228.00\r\nTotal 1428.00\r\nDue 2024-07-01");
    std::vector<TraceEntry> entries;
    // The rows' texts in the order the entries give them, for the floor.
    std::vector<std::wstring_view> rowTexts;

    Workload() {
        for (int i = 0; i < kDistinctEntries; ++i) {
            messages.push_back(i % 3 == 0 ? L"Ledger entry " + std::to_wstring(i) + L" failed"
                                          : L"Posting done for invoice " + std::to_wstring(40000 + i));
        }
        for (int i = 0; i < kDistinctEntries; ++i) {
            TraceEntry& entry = entries.emplace_back();
            entry.source = kSource;
            entry.className = i % 7 == 0 ? L"TLedger" : kSource->Class;
            entry.threadId = 0x1A4;
            entry.code = i % 3;
            entry.kind = i % 10 == 0 ? MessageKind::Block : MessageKindFromCode(entry.code);
            entry.time = LocalNow();
            entry.text = messages[i];
            entry.block = i % 10 == 0 ? &block : nullptr;
            rowTexts.push_back(entry.text);
            if (entry.block) rowTexts.insert(rowTexts.end(), block.Wide().begin(), block.Wide().end());
        }
    }

    size_t RowsOf(const TraceEntry& entry) const { return entry.block ? 1 + block.Wide().size() : 1; }
};

const Workload& TheWorkload() {
    static const Workload workload;
    return workload;
}

void AppendEntries(TTraceStore& store, int rows) {
    const Workload& workload = TheWorkload();
    for (size_t appended = 0, i = 0; appended < static_cast<size_t>(rows); ++i) {
        const TraceEntry& entry = workload.entries[i % workload.entries.size()];
        store.Append(entry);
        appended += workload.RowsOf(entry);
    }
}

// Full after ten iterations, so most of the run drops an entry for each one
// it appends, as a window that has been open a while does.
void AppendToTheStore(benchmark::State& state) {
    TTraceStore store(kWindowRows);
    for (auto _ : state) AppendEntries(store, kRowsPerIteration);
    state.SetItemsProcessed(state.iterations() * kRowsPerIteration);
}

void CopyTextsIntoPreallocatedBuffer(benchmark::State& state) {
    constexpr size_t kCharsPerRow = 64;
    std::vector<wchar_t> buffer(kRowsPerIteration * kCharsPerRow);
    std::vector<uint32_t> lengths(kRowsPerIteration);
    const auto& texts = TheWorkload().rowTexts;
    for (auto _ : state) {
        for (size_t row = 0; row < kRowsPerIteration; ++row) {
            const std::wstring_view text = texts[row % texts.size()];
            std::copy(text.begin(), text.end(), buffer.begin() + static_cast<ptrdiff_t>(row * kCharsPerRow));
            lengths[row] = static_cast<uint32_t>(text.size());
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::DoNotOptimize(lengths.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kRowsPerIteration);
}

const TTraceStore& MillionRowStore() {
    static const std::unique_ptr<TTraceStore> store = [] {
        auto made = std::make_unique<TTraceStore>(kWindowRows);
        AppendEntries(*made, kWindowRows + kRowsPerIteration);
        return made;
    }();
    return *store;
}

// One full re-filter per iteration, each slice timed on its own.
void RefilterAMillionRows(benchmark::State& state) {
    const TTraceStore& store = MillionRowStore();
    const TTraceFilter filters[] = {TTraceFilter({L"invoice; ledger", L"failed", L"TLedger"}),
                                    TTraceFilter({L"", L"tax", L"4001"})};
    TShownRows shown;
    double slowestSlice = 0;
    int64_t slices = 0;
    for (auto _ : state) {
        shown.SetFilter(filters[slices % 2]);
        for (bool more = true; more;) {
            const auto start = std::chrono::steady_clock::now();
            more = shown.Step(store).more;
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            slowestSlice = std::max(slowestSlice, took.count());
            ++slices;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(store.KeptRows()));
    state.counters["slices"] = static_cast<double>(slices) / static_cast<double>(state.iterations());
    state.counters["slowest_slice_ms"] = slowestSlice;
    state.counters["kept_rows"] = static_cast<double>(store.KeptRows());
    state.counters["shown_rows"] = static_cast<double>(shown.Count());
}

double Minimum(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }
double Maximum(const std::vector<double>& values) { return *std::max_element(values.begin(), values.end()); }

BENCHMARK(CopyTextsIntoPreallocatedBuffer)->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true)
    ->ComputeStatistics("min", Minimum)->ComputeStatistics("max", Maximum);
BENCHMARK(AppendToTheStore)->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true)
    ->ComputeStatistics("min", Minimum)->ComputeStatistics("max", Maximum);
BENCHMARK(RefilterAMillionRows)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true)->ComputeStatistics("min", Minimum)->ComputeStatistics("max", Maximum);

// The aggregate runs, by name ("AppendToTheStore/..._median").
class AggregateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Aggregate) runs_[run.run_name.function_name + "_" + run.aggregate_name] = run;
        }
    }
    double Counter(const std::string& name, const std::string& statistic, const std::string& counter) const {
        const auto found = runs_.find(name + "_" + statistic);
        if (found == runs_.end()) return 0;
        const auto value = found->second.counters.find(counter);
        return value == found->second.counters.end() ? 0 : value->second.value;
    }
    double Milliseconds(const std::string& name, const std::string& statistic) const {
        const auto found = runs_.find(name + "_" + statistic);
        return found == runs_.end() ? 0 : found->second.GetAdjustedRealTime();
    }

private:
    std::map<std::string, Run> runs_;
};

// The heap in use, as glibc counts it: small blocks and mapped ones.
size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void PrintMemory() {
    const size_t empty = HeapInUse();
    auto store = std::make_unique<TTraceStore>(kWindowRows);
    const size_t slots = HeapInUse();
    AppendEntries(*store, kWindowRows);
    const size_t full = HeapInUse();
    TShownRows shown;
    shown.Step(*store, kWindowRows);
    const size_t listed = HeapInUse();
    const double rows = static_cast<double>(store->KeptRows());
    double chars = 0;
    store->Read([&chars](const TTraceRows& kept) {
        for (uint64_t row = kept.First(); row < kept.End(); ++row) {
            const TraceRowFields fields = kept.Fields(row);
            chars += static_cast<double>(fields.message.size());
            if (fields.source && fields.className.data() != fields.source->Class.data()) {
                chars += static_cast<double>(fields.className.size());
            }
        }
    });
    const double textBytes = (static_cast<double>(full - slots)) / rows;
    const double charBytes = chars * sizeof(wchar_t) / rows;
    std::printf("\nmemory per kept row (%.0f rows, heap in use from mallinfo2):\n", rows);
    const double slotBytes = static_cast<double>(slots - empty) / rows;
    std::printf("  slot (the ring, allocated up front): %.1f bytes (sizeof %zu)\n", slotBytes, sizeof(TTraceRowSlot));
    std::printf("  its text block: %.1f bytes, of which %.1f characters and %.1f the allocator's header and rounding\n",
                textBytes, charBytes, textBytes - charBytes);
    std::printf("  besides its characters: %.1f bytes\n", slotBytes + textBytes - charBytes);
    std::printf("  the session's names: shared by every row (one TraceSource)\n");
    std::printf("  the shown list: %.1f bytes per shown row\n", static_cast<double>(listed - full) / rows);
}

struct Spread {
    double median, min, max;
};

Spread SpreadOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

// The window's look into the store: how long it waited for the lock, at most,
// over the reads it made until `stop` says so.
template <typename Stop>
double LongestReadWait(const TTraceStore& store, Stop stop) {
    double longest = 0;
    while (!stop()) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(store.Read([](const TTraceRows& rows) { return rows.End(); }));
        const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        longest = std::max(longest, took.count());
    }
    return longest;
}

// A full window takes an AddBinary of 4 MB (262,144 hex rows) while the
// window reads, in a loop, on another thread; the floor is the same loop for
// as long with no writer.
void PrintReaderWaitDuringABigBlock() {
    constexpr int kRepetitions = 5;
    constexpr auto kLimit = std::chrono::seconds(60);
    const std::vector<uint8_t> bytes(4 << 20, 0x5A);
    const TBlockLines block = TBlockLines::FromBytes(bytes);
    TraceEntry entry = TheWorkload().entries[1];
    entry.kind = MessageKind::Block;
    entry.block = &block;
    const size_t rows = block.Wide().size();
    std::vector<double> waits, floors, ratios;
    for (int repetition = 0; repetition < kRepetitions; ++repetition) {
        TTraceStore store(kWindowRows);
        AppendEntries(store, kWindowRows);
        std::atomic<bool> appended{false};
        const auto start = std::chrono::steady_clock::now();
        std::thread writer([&] {
            store.Append(entry);
            appended = true;
        });
        const double wait = LongestReadWait(store, [&] {
            return appended.load() || std::chrono::steady_clock::now() - start > kLimit;
        });
        if (!appended) {
            std::fprintf(stderr, "the append of the hex dump did not end within a minute\n");
            std::exit(1);
        }
        writer.join();
        const auto span = std::chrono::steady_clock::now() - start;
        const auto floorEnd = std::chrono::steady_clock::now() + span;
        const double floor = LongestReadWait(store, [&] { return std::chrono::steady_clock::now() >= floorEnd; });
        waits.push_back(wait);
        floors.push_back(floor);
        ratios.push_back(wait / floor);
    }
    const Spread wait = SpreadOf(waits), floor = SpreadOf(floors), ratio = SpreadOf(ratios);
    std::printf("\nlongest wait of a reader for the store's lock while a block of %zu rows is appended to a full"
                " window: %.0f us [%.0f, %.0f]; floor (the same reader, no writer): %.1f us [%.1f, %.1f];"
                " ratio %.0f [%.0f, %.0f]\n",
                rows, wait.median, wait.min, wait.max, floor.median, floor.min, floor.max, ratio.median, ratio.min,
                ratio.max);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    PrintMemory();
    PrintReaderWaitDuringABigBlock();
    AggregateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto nanosecondsPerRow = [&reporter](const std::string& name, const std::string& statistic) {
        const double rate = reporter.Counter(name, statistic, "items_per_second");
        return rate > 0 ? 1e9 / rate : 0;
    };
    const double append = nanosecondsPerRow("AppendToTheStore", "median");
    const double floor = nanosecondsPerRow("CopyTextsIntoPreallocatedBuffer", "median");
    // The fastest repetition has the highest rate: "max" rate is "min" time.
    std::printf("\nappend: %.1f ns per row [%.1f, %.1f]; floor (copy into a preallocated buffer): %.1f ns"
                " [%.1f, %.1f]\n",
                append, nanosecondsPerRow("AppendToTheStore", "max"), nanosecondsPerRow("AppendToTheStore", "min"),
                floor, nanosecondsPerRow("CopyTextsIntoPreallocatedBuffer", "max"),
                nanosecondsPerRow("CopyTextsIntoPreallocatedBuffer", "min"));
    if (floor > 0) std::printf("append / floor = %.2f (medians)\n", append / floor);
    const std::string refilter = "RefilterAMillionRows";
    const double slices = reporter.Counter(refilter, "median", "slices");
    std::printf("re-filter of %.0f rows: %.0f ms [%.0f, %.0f] in %.0f slices of %zu rows: %.2f ms per slice on average,"
                " slowest slice %.2f ms [%.2f, %.2f]\n",
                reporter.Counter(refilter, "median", "kept_rows"), reporter.Milliseconds(refilter, "median"),
                reporter.Milliseconds(refilter, "min"), reporter.Milliseconds(refilter, "max"), slices,
                TShownRows::kRowsPerSlice, slices > 0 ? reporter.Milliseconds(refilter, "median") / slices : 0,
                reporter.Counter(refilter, "median", "slowest_slice_ms"),
                reporter.Counter(refilter, "min", "slowest_slice_ms"),
                reporter.Counter(refilter, "max", "slowest_slice_ms"));
    benchmark::Shutdown();
    return 0;
}
