// Lines per second onto the monochrome screen: (a) the screen writer
// (MonoWriteLine through the 128-byte device into the 4000 cells, scrolling
// below the banner) against (b) a plain copy of the same characters with the
// attribute into the same cells, row after row, the floor of any writer.
// Prints the ratio a/b at the end.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "output/mono_screen.h"

namespace {

using namespace norvale;

constexpr int kLinesPerIteration = 100000;

// Trace lines as the dispatch hands them over, of the usual lengths.
const std::vector<std::string>& SameLines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> all;
        for (int i = 0; i < kLinesPerIteration; ++i) {
            all.push_back("14:03:27.512 Billing Core TInvoice 0000000a 000001a4 Posting done for invoice " +
                          std::to_string(i));
        }
        return all;
    }();
    return lines;
}

void ScreenWriter(benchmark::State& state) {
    std::array<uint8_t, kMonoScreenBytes> cells{};
    TMonoScreen screen(cells);
    TMonoDevice device(screen);
    for (auto _ : state) {
        for (const auto& line : SameLines()) MonoWriteLine(device, line);
        benchmark::DoNotOptimize(cells.data());
    }
    state.SetItemsProcessed(state.iterations() * kLinesPerIteration);
}

void PlainCopy(benchmark::State& state) {
    std::array<uint8_t, kMonoScreenBytes> cells{};
    constexpr size_t kRowBytes = 160;
    size_t row = 3;
    for (auto _ : state) {
        for (const auto& line : SameLines()) {
            uint8_t* cell = cells.data() + row * kRowBytes;
            const size_t count = line.size() < 80 ? line.size() : 80;
            for (size_t i = 0; i < count; ++i) {
                cell[i * 2] = static_cast<uint8_t>(line[i]);
                cell[i * 2 + 1] = 0x02;
            }
            row = row == 24 ? 3 : row + 1;
        }
        benchmark::DoNotOptimize(cells.data());
    }
    state.SetItemsProcessed(state.iterations() * kLinesPerIteration);
}

BENCHMARK(PlainCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ScreenWriter)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double a = reporter.rates["ScreenWriter/min_time:2.000"];
    const double b = reporter.rates["PlainCopy/min_time:2.000"];
    if (a > 0 && b > 0) {
        std::printf("\nlines/s: screen writer %.0f, plain copy %.0f\na/b = %.2f (screen writer against the copy)\n",
                    a, b, a / b);
    }
    benchmark::Shutdown();
    return 0;
}
