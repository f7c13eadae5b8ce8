// Lines per second into a real file: (a) the whole pipeline (prefix, dispatch
// under the output lock, the 128-byte buffered file writer), (b) the same
// bytes written straight in 128-byte chunks, the floor that buffer size sets,
// and (c) the same lines through fwrite with its default buffer. Prints the
// ratios a/b and a/c at the end.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "common/ansi_text.h"
#include "common/file_io.h"
#include "common/clock.h"
#include "config/registry_values.h"
#include "output/output_stage.h"

namespace {

using namespace norvale;

constexpr int kLinesPerIteration = 100000;
const SessionNaming kSession{"Billing", "Core", "TInvoice", "WS12", 0x4D2};

std::string BenchFile(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

SettingsLocation BenchSettings(const std::string& fileName) {
    SettingsLocation location;
    location.subkey = "Software\\brantwick\\NorvaleBench";
    for (const char* name : {"ToFile", "IncludeDateTime", "IncludeProject", "IncludeModule", "IncludeClass",
                             "IncludeMachine", "IncludeProcess", "IncludeThread", "IncludeCode"}) {
        WriteRegBool(location.root, location.subkey, name, true);
    }
    WriteRegString(location.root, location.subkey, "Filename", fileName);
    return location;
}

std::string Message(int i) { return "Posting done for invoice " + std::to_string(i); }

// The bytes the pipeline writes for one iteration, for the two floors.
const std::vector<std::string>& SameLines() {
    static const std::vector<std::string> lines = [] {
        OutputSettings settings;
        settings.IncludeDateTime = settings.IncludeProject = settings.IncludeModule = settings.IncludeClass =
            settings.IncludeMachine = settings.IncludeProcess = settings.IncludeThread = settings.IncludeCode = true;
        std::vector<std::string> all;
        for (int i = 0; i < kLinesPerIteration; ++i) {
            all.push_back(FormatPrefix(settings, kSession, 0x1A4, 10, kSession.Class, LocalTimeOfDay()) +
                          Message(i) + "\r\n");
        }
        return all;
    }();
    return lines;
}

void PipelineIntoFile(benchmark::State& state) {
    const std::string fileName = BenchFile("norvale_bench_pipeline.txt");
    std::filesystem::remove(fileName);
    TMutex lock("brantwick Norvale Mutex");
    auto outputs = TProcessOutputs::MakeForProcess();
    TOutputStage stage(lock, *outputs, BenchSettings(fileName));
    stage.RefreshProperties();
    std::vector<std::wstring> messages;
    for (int i = 0; i < kLinesPerIteration; ++i) messages.push_back(AnsiToWide(Message(i)));
    for (auto _ : state) {
        for (const auto& message : messages) {
            // As a session call does: the lock for the whole call, taken
            // again (re-entrantly) by the dispatch, the time read for each.
            TMutexLock held(lock);
            TraceEntry entry;
            entry.session = &kSession;
            entry.ansiClassName = kSession.Class;
            entry.threadId = 0x1A4;
            entry.code = 10;
            entry.time = LocalNow();
            entry.text = message;
            stage.Dispatch(entry);
        }
        stage.CloseOutputFile();
    }
    state.SetItemsProcessed(state.iterations() * kLinesPerIteration);
    std::filesystem::remove(fileName);
}

void PlainWritesIn128ByteChunks(benchmark::State& state) {
    std::string bytes;
    for (const auto& line : SameLines()) bytes += line;
    const std::string fileName = BenchFile("norvale_bench_chunks.txt");
    UniqueFile file;
    if (FileCreate(fileName, file) != 0) state.SkipWithError("cannot create the file");
    for (auto _ : state) {
        for (size_t offset = 0; offset < bytes.size(); offset += TFileOutput::kBufferSize) {
            const size_t count = std::min(TFileOutput::kBufferSize, bytes.size() - offset);
            FileWrite(file.get(), bytes.data() + offset, static_cast<uint32_t>(count));
        }
    }
    state.SetItemsProcessed(state.iterations() * kLinesPerIteration);
    file.reset();
    std::filesystem::remove(fileName);
}

void FwriteWithDefaultBuffer(benchmark::State& state) {
    const auto& lines = SameLines();
    const std::string fileName = BenchFile("norvale_bench_fwrite.txt");
    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    for (auto _ : state) {
        for (const auto& line : lines) std::fwrite(line.data(), 1, line.size(), file);
        std::fflush(file);
    }
    state.SetItemsProcessed(state.iterations() * kLinesPerIteration);
    std::fclose(file);
    std::filesystem::remove(fileName);
}

BENCHMARK(PlainWritesIn128ByteChunks)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(PipelineIntoFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(FwriteWithDefaultBuffer)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double a = reporter.rates["PipelineIntoFile/min_time:2.000"];
    const double b = reporter.rates["PlainWritesIn128ByteChunks/min_time:2.000"];
    const double c = reporter.rates["FwriteWithDefaultBuffer/min_time:2.000"];
    if (a > 0 && b > 0 && c > 0) {
        std::printf("\nlines/s: pipeline %.0f, 128-byte writes %.0f, fwrite %.0f\n", a, b, c);
        std::printf("a/b = %.2f (pipeline against the 128-byte floor)\na/c = %.2f (pipeline against fwrite)\n",
                    a / b, a / c);
    }
    benchmark::Shutdown();
    return 0;
}
