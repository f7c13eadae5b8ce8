// The trace window's store: (a) appending rows as the dispatch does, against
// (b) the floor of copying the same texts into a preallocated buffer; the
// bytes a kept row costs; (c) re-filtering a million rows in the slices the
// window runs them in; (d) the longest wait of the window for the store's lock
// while a 4 MB hex dump is appended, against the same reader's longest wait
// with no writer; (e) find over a million shown rows that none matches, in
// the slices the window runs it in; (f) re-filtering a million rows by
// patterns against the same pass by plain terms; (g) a saved trace of a
// million lines read on its thread against the floor of reading its bytes,
// while a main thread takes the rows in slices; (h) the main thread's
// re-filter slices by an ordinary pattern and by pathological ones while a
// writer appends beside them (trace_slices_beside_writer.cpp). Every figure
// of (a)-(g) comes from 5 repetitions, printed as median [min, max] at the
// end; (h) prints the spread of each slice and of each append.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>

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

#include "common/file_io.h"
#include "common/utf8_text.h"
#include "store/trace_file.h"
#include "store/trace_file_load.h"
#include "store/trace_find.h"
#include "store/trace_shown_rows.h"
#include "store/trace_store.h"
#include "trace_slices_beside_writer.h"
#include "trace_store_workload.h"

namespace {

using namespace norvale;
using namespace norvale::bench;

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

// One full re-filter per iteration, each slice timed on its own; plain terms
// (0) or patterns (1) that pick the same rows.
void RefilterAMillionRows(benchmark::State& state) {
    const TTraceStore& store = MillionRowStore();
    const TTraceFilter plain[] = {TTraceFilter({L"invoice; ledger", L"failed", L"TLedger"}),
                                  TTraceFilter({L"", L"tax", L"4001"})};
    const TTraceFilter patterns[] = {TTraceFilter({L"/invoice/; /ledger/", L"/failed$/", L"class:/^tledger$/"}),
                                     TTraceFilter({L"", L"/^tax /", L"/400[1]/"})};
    const TTraceFilter* filters = state.range(0) == 0 ? plain : patterns;
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
BENCHMARK(RefilterAMillionRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true)->ComputeStatistics("min", Minimum)->ComputeStatistics("max", Maximum);

// The aggregate runs, by name ("AppendToTheStore/..._median").
class AggregateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Aggregate) continue;
            const std::string args = run.run_name.args.empty() ? "" : "/" + run.run_name.args;
            runs_[run.run_name.function_name + args + "_" + run.aggregate_name] = run;
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

// A main thread's slices, each timed: the longest, and how many.
struct Slices {
    double longestMs = 0;
    int count = 0;
    template <typename Slice>
    bool Run(Slice slice) {
        const auto start = std::chrono::steady_clock::now();
        const bool done = slice();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        longestMs = std::max(longestMs, took.count());
        ++count;
        return done;
    }
};

// Find next from the first shown row over a million shown rows, none of
// which matches (the worst case: every row is looked at).
void PrintFindOverAMillionRows() {
    const TTraceStore& store = MillionRowStore();
    TShownRows shown;
    shown.Step(store, kWindowRows);
    std::vector<double> totals, longest;
    for (int repetition = 0; repetition < 5; ++repetition) {
        TTraceFind find(TTraceTerms(L"nowhere to be found"), TraceFindWay::Next, shown, size_t{0});
        Slices slices;
        const auto start = std::chrono::steady_clock::now();
        while (!slices.Run([&] { return find.Step(shown, store); })) {
        }
        totals.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        longest.push_back(slices.longestMs);
        if (find.Found()) std::fprintf(stderr, "find found a row it should not\n");
    }
    const Spread total = SpreadOf(totals), slice = SpreadOf(longest);
    std::printf("\nfind next over %zu shown rows, none matching: %.0f ms [%.0f, %.0f] in steps of %zu rows at most,"
                " the longest %.2f ms [%.2f, %.2f]\n",
                shown.Count(), total.median, total.min, total.max, TTraceFind::kRowsPerSlice, slice.median, slice.min,
                slice.max);
}

// A saved trace of a million lines, read into a store of its own while a
// main thread takes the rows in the window's slices; the floor reads the
// same bytes on the same thread without parsing them.
void PrintReadingASavedTrace() {
    const std::string path = "/tmp/norvale-bench-saved-trace.txt";
    {
        std::wstring text;
        AppendSavedTraceHeader(text);
        std::vector<uint64_t> rows(kWindowRows);
        const TTraceStore& store = MillionRowStore();
        store.Read([&](const TTraceRows& kept) {
            for (uint64_t i = 0; i < rows.size(); ++i) rows[i] = kept.First() + i;
            AppendSavedTraceRows(text, kept, rows);
        });
        FILE* file = std::fopen(path.c_str(), "wb");
        const std::string bytes = WideToUtf8(text);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    std::vector<double> rates, floors, ratios, longest;
    double megabytes = 0;
    uint64_t lines = 0;
    for (int repetition = 0; repetition < 5; ++repetition) {
        UniqueFile floorFile;
        FileOpenForReading(path, floorFile);
        uint64_t size = 0;
        FileSize(floorFile.get(), size);
        megabytes = static_cast<double>(size) / 1e6;
        std::vector<char> buffer(1 << 20);
        const auto floorStart = std::chrono::steady_clock::now();
        for (uint64_t offset = 0; offset < size;) {
            uint32_t read = 0;
            FileReadAt(floorFile.get(), offset, buffer.data(), static_cast<uint32_t>(buffer.size()), read);
            benchmark::DoNotOptimize(std::count(buffer.begin(), buffer.begin() + read, '\n'));
            offset += read == 0 ? size : read;
        }
        const double floorSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - floorStart).count();

        TTraceStore store(1);
        UniqueFile file;
        FileOpenForReading(path, file);
        std::atomic<bool> finished{false};
        const auto start = std::chrono::steady_clock::now();
        TTraceFileLoad load(std::move(file), store, [&finished] { finished = true; });
        TShownRows shown;
        Slices slices;
        const auto limit = start + std::chrono::seconds(120);
        for (bool more = true; (!finished || more) && std::chrono::steady_clock::now() < limit;) {
            more = slices.Run([&] { return shown.Step(store).more; });
            if (!more) std::this_thread::sleep_for(std::chrono::milliseconds(16));
        }
        if (!finished) {
            std::fprintf(stderr, "the saved trace was not read within two minutes\n");
            std::exit(1);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        lines = load.Progress().rows;
        rates.push_back(static_cast<double>(lines) / seconds);
        floors.push_back(static_cast<double>(lines) / floorSeconds);
        ratios.push_back(floorSeconds / seconds);
        longest.push_back(slices.longestMs);
    }
    std::remove(path.c_str());
    const Spread rate = SpreadOf(rates), floor = SpreadOf(floors), ratio = SpreadOf(ratios), slice = SpreadOf(longest);
    std::printf("reading a saved trace of %llu lines (%.0f MB) until every row is shown: %.2f M lines/s [%.2f, %.2f];"
                " floor (its bytes read and their lines counted): %.0f M lines/s [%.0f, %.0f]; rate / floor %.3f"
                " [%.3f, %.3f]; the main thread's longest slice while rows came %.2f ms [%.2f, %.2f]\n",
                static_cast<unsigned long long>(lines), megabytes, rate.median / 1e6, rate.min / 1e6, rate.max / 1e6,
                floor.median / 1e6, floor.min / 1e6, floor.max / 1e6, ratio.median, ratio.min, ratio.max,
                slice.median, slice.min, slice.max);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    PrintMemory();
    PrintReaderWaitDuringABigBlock();
    PrintFindOverAMillionRows();
    PrintReadingASavedTrace();
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
    const auto printRefilter = [&reporter](const std::string& refilter, const char* terms) {
        const double slices = reporter.Counter(refilter, "median", "slices");
        std::printf("re-filter of %.0f rows by %s: %.0f ms [%.0f, %.0f] in %.0f steps of %zu rows at most: %.2f ms"
                    " per step on average, slowest step %.2f ms [%.2f, %.2f]\n",
                    reporter.Counter(refilter, "median", "kept_rows"), terms, reporter.Milliseconds(refilter, "median"),
                    reporter.Milliseconds(refilter, "min"), reporter.Milliseconds(refilter, "max"), slices,
                    TShownRows::kRowsPerSlice, slices > 0 ? reporter.Milliseconds(refilter, "median") / slices : 0,
                    reporter.Counter(refilter, "median", "slowest_slice_ms"),
                    reporter.Counter(refilter, "min", "slowest_slice_ms"),
                    reporter.Counter(refilter, "max", "slowest_slice_ms"));
    };
    printRefilter("RefilterAMillionRows/0", "plain terms");
    printRefilter("RefilterAMillionRows/1", "patterns");
    const double plainMs = reporter.Milliseconds("RefilterAMillionRows/0", "median");
    if (plainMs > 0) {
        std::printf("patterns / plain terms = %.2f (medians; the fastest of each %.2f)\n",
                    reporter.Milliseconds("RefilterAMillionRows/1", "median") / plainMs,
                    reporter.Milliseconds("RefilterAMillionRows/1", "min") /
                        reporter.Milliseconds("RefilterAMillionRows/0", "min"));
    }
    PrintSlicesBesideAWriter();
    benchmark::Shutdown();
    return 0;
}
