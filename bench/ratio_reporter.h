#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace norvale::bench {

// The console report, keeping each benchmark's items per second so that a
// benchmark program can print its ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            const auto found = run.counters.find("items_per_second");
            if (found != run.counters.end()) rates[run.benchmark_name()] = found->second.value;
        }
    }
    std::map<std::string, double> rates;
};

}  // namespace norvale::bench
