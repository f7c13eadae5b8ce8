// Any bytes: a box of terms parses or says why, a pattern runs over any text
// (a slow one is caught by the fuzzer's time-out, a deep one by the address
// sanitizer) and finds the same in parts, each within its steps, and a saved
// trace cut anywhere reads whole, its unparsed lines among its rows.

#include "store/trace_file.h"
#include "store/trace_pattern.h"
#include "store/trace_terms.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    norvale::fuzz::Input input(data, size);
    const std::string box = input.Text();
    const std::string rest = input.Text();
    const std::wstring wideBox(box.begin(), box.end()), text(rest.begin(), rest.end());
    try {
        (void)norvale::ParseTraceTerms(wideBox);
    } catch (const norvale::ETraceTermError&) {
    }
    try {
        const norvale::TTracePattern pattern(wideBox);
        norvale::TPatternRun run;
        const bool whole = pattern.Search(text, run);
        const size_t limit = 1 + text.size() % 64;
        auto inParts = norvale::TPatternFound::OutOfSteps;
        while (inParts == norvale::TPatternFound::OutOfSteps) {
            size_t spent = 0;
            inParts = pattern.Search(text, run, spent, limit);
            norvale::fuzz::Require(spent <= limit + 4 * pattern.Size() + 1);
        }
        norvale::fuzz::Require((inParts == norvale::TPatternFound::Yes) == whole);
    } catch (const norvale::ETraceTermError&) {
    }
    norvale::TTraceFileReader reader([](const norvale::TraceEntry&, const std::vector<std::wstring>&, bool) {});
    const std::string file = box + "\n" + rest;
    const size_t cut = file.size() / 2;
    reader.Feed(std::string_view(file).substr(0, cut));
    reader.Feed(std::string_view(file).substr(cut));
    reader.Finish();
    norvale::fuzz::Require(reader.Unparsed() <= reader.Rows());
    return 0;
}
