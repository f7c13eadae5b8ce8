// A real debugging run's thread, without a window: what it tells beyond the
// window of a crashing program.

#include "debugger/debug_process_thread.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/text.h"

namespace norvale {
namespace {

// Read only after the run's thread has ended.
struct RecordedCrashes final : ICrashReports {
    void Report(const CrashReport& report) noexcept override { reports.push_back(report); }
    std::vector<CrashReport> reports;
};

TEST(DebugProcessThreadTest, ACrashAndTheProgramsFailingExitAreToldWithTheFaultsPlaceAndFrames) {
    RecordedCrashes crashes;
    auto handOver = std::make_shared<TDebugEventHandOver>([] { return true; });
    handOver->SetRunSettings({false, &crashes});
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    bool terminated = false;
    {
        const std::string program = PathPartOfPath(exe) + "norvale_crash_debuggee.exe";
        const auto thread = TDebugProcessThread::CreateForSpawn(handOver, program);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!terminated && std::chrono::steady_clock::now() < deadline) {
            terminated = handOver->Take(false).terminated;
            if (!terminated) Sleep(20);
        }
    }
    ASSERT_TRUE(terminated) << "the run did not end within 30 s";
    const std::vector<CrashReport>& reports = crashes.reports;
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].imageFile, "norvale_crash_debuggee.exe");
    EXPECT_EQ(reports[0].text, "Access violation at post_invoice (crash.c:16)");
    ASSERT_GE(reports[0].frames.size(), 3u);
    EXPECT_EQ(reports[0].frames[0].rfind("norvale_crash_debuggee!post_invoice+0x", 0), 0u) << reports[0].frames[0];
    EXPECT_EQ(reports[1].text, "Process exited with exit code $c0000005");
    EXPECT_EQ(reports[1].processId, reports[0].processId);
    EXPECT_TRUE(reports[1].frames.empty());
}

}  // namespace
}  // namespace norvale
