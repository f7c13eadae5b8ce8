// The server's profile of its calls, which the automation benchmark reads to
// say where the time of a call goes.

#include <gtest/gtest.h>

#include "common/call_profile_win32.h"
#include "tests/com/com_support.h"

namespace norvale {
namespace {

// A server started while the block exists counts, while the block's
// recording is on, every stage of a call that writes to the file, and a call
// takes the output lock's wait and release once; with recording off it counts
// nothing.
TEST(CallProfileTest, AServerStartedWithTheBlockCountsEveryStageOfAFileCall) {
    const TCallProfileView view = TCallProfileView::Create();
    CallProfileBlock* block = view.Block();
    ASSERT_NE(block, nullptr);
    block->recording = 1;
    const auto& stages = block->stages;
    const auto count = [&](CallStage stage) { return stages[static_cast<int>(stage)].count.load(); };
    test::OutputSetup output({});
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ComPtr<IDebugSession> session;
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
        const int64_t callsBefore = count(CallStage::Call);
        const int64_t locksBefore = count(CallStage::Lock);
        // Longer than the buffer, so that the call writes to the file.
        EXPECT_EQ(session->AddMessage(0, 0, test::Bstr(std::wstring(200, L'x'))), S_OK);
        EXPECT_EQ(count(CallStage::Call), callsBefore + 1);
        EXPECT_EQ(count(CallStage::Lock), locksBefore + 2);
        block->recording = 0;
        EXPECT_EQ(session->AddMessage(0, 0, test::Bstr(L"not counted")), S_OK);
        EXPECT_EQ(count(CallStage::Call), callsBefore + 1);
        EXPECT_EQ(session->CloseSession(), S_OK);
    }
    const std::pair<CallStage, const char*> timed[] = {
        {CallStage::Conversion, "conversion"}, {CallStage::Prefix, "prefix"},   {CallStage::Dispatch, "dispatch"},
        {CallStage::File, "file"},             {CallStage::FileWrites, "writes"},
    };
    for (const auto& [stage, name] : timed) {
        EXPECT_GT(count(stage), 0) << name;
        EXPECT_GT(stages[static_cast<int>(stage)].nanoseconds.load(), 0) << name;
    }
}

}  // namespace
}  // namespace norvale
