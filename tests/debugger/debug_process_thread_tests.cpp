// A real debugging run's thread, without a window: what it tells beyond the
// window of a crashing program.

#include "debugger/debug_process_thread.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "common/text.h"

namespace norvale {
namespace {

class RecordedCrashes final : public ICrashReports {
public:
    void Report(const CrashReport& report) noexcept override {
        const std::lock_guard guard(lock_);
        reports_.push_back(report);
    }
    std::vector<CrashReport> Reports() const {
        const std::lock_guard guard(lock_);
        return reports_;
    }

private:
    mutable std::mutex lock_;
    std::vector<CrashReport> reports_;
};

std::string OwnFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return PathPartOfPath(path);
}

TEST(DebugProcessThreadTest, ACrashAndTheProgramsFailingExitAreToldWithTheFaultsPlaceAndFrames) {
    RecordedCrashes crashes;
    auto handOver = std::make_shared<TDebugEventHandOver>([] { return true; });
    handOver->SetRunSettings({false, &crashes});
    bool terminated = false;
    {
        const auto thread =
            TDebugProcessThread::CreateForSpawn(handOver, OwnFolder() + "norvale_crash_debuggee.exe");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!terminated && std::chrono::steady_clock::now() < deadline) {
            terminated = handOver->Take(false).terminated;
            if (!terminated) Sleep(20);
        }
    }
    ASSERT_TRUE(terminated) << "the run did not end within 30 s";
    const std::vector<CrashReport> reports = crashes.Reports();
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
