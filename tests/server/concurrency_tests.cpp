// Several threads writing through their own sessions at once: every line
// arrives once and no block is broken up.

#include <gtest/gtest.h>

#include <thread>

#include "common/ansi_text.h"
#include "server/trace_server.h"
#include "tests_support/block_check.h"
#include "tests_support/paths.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

TEST(ConcurrencyTest, ThreadsNeverInterleaveLines) {
    constexpr int kThreads = 4;
    constexpr int kBlocks = 200;
    test::ScratchDirectory dir;
    test::ScratchSettings key;
    key.SetFlag("ToFile", true);
    key.Set("Filename", dir.PathOf("out.txt"));
    TMutex lock(test::UniqueTestName("concurrency lock"));
    auto outputs = TProcessOutputs::MakeForProcess();
    TSessionRegistry registry(lock);
    std::vector<std::string> tags;
    {
        TOutputStage stage(lock, *outputs, key.Location());
        TTraceServer server(lock, stage, registry);
        server.Start();
        server.RefreshProperties();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            tags.push_back("t" + std::to_string(t));
            threads.emplace_back([&server, tag = tags.back()] {
                auto session = server.OpenSession(TraceSource{L"C", L"", L"", L"", 0});
                for (int b = 0; b < kBlocks; ++b) {
                    session->AddStrings(0, 0, AnsiToWide(test::BlockHeading(tag, b)), AnsiToWide(test::BlockData(tag, b)));
                }
            });
        }
        for (auto& thread : threads) thread.join();
        // Announcements are the only other lines; the check knows only blocks.
        key.SetFlag("ToFile", false);
        server.RefreshProperties();
        server.CloseOutputFile();
    }
    std::string text = test::ReadWholeFile(dir.PathOf("out.txt"));
    std::string blocksOnly;
    for (const auto& line : SplitLines(text)) {
        if (line != "Norvale Starting Up" && line != "Session opened.") blocksOnly += line + "\r\n";
    }
    EXPECT_EQ(test::CheckBlocks(blocksOnly, tags, kBlocks), "");
}

}  // namespace
}  // namespace norvale
