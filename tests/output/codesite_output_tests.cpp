// The viewer output against the test viewer, a real process with a real
// window: what arrives, which window is chosen, starting the viewer from its
// registered path, and a viewer that stops answering.

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <thread>

#include "output/codesite_output.h"
#include "output/codesite_record.h"
#include "tests_support/child_process.h"
#include "tests_support/paths.h"
#include "tests_support/process_windows.h"
#include "tests_support/scratch.h"
#include "tests_support/test_viewer_client.h"
#include "tests_support/viewer_settings.h"

namespace norvale {
namespace {

using namespace test;

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class CodeSiteOutputTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(FindWindowA(kMainViewer.className, nullptr), nullptr) << "a viewer window is left from before";
        ASSERT_EQ(FindWindowA(kSatellite.className, nullptr), nullptr) << "a satellite window is left from before";
    }

    // The record as this process sends it, with the tick it was sent with.
    static std::vector<uint8_t> Expected(const CopyData& arrived, MessageKind kind, std::string_view message,
                                         std::string_view data = {}, std::string_view className = {}) {
        return BuildCodeSiteMessage(kind, TickOf(arrived), message, data, "norvale_tests", className);
    }

    test::ScratchDirectory dir_;
    ViewerSettings viewerSettings_;
    ViewerRegistryValue& exePath_ = viewerSettings_.exePath;
    ViewerRegistryValue& byPass_ = viewerSettings_.byPass;
};

TEST_F(CodeSiteOutputTest, LinesEnterExitAndBlocksArriveAsRecordsUnderEitherTitle) {
    for (const ViewerWindow& window : {kMainViewer, kSatellite}) {
        SCOPED_TRACE(window.title);
        TestViewer viewer(dir_, window);
        ASSERT_NE(viewer.Window(), nullptr) << "no test viewer window within 20 s";
        TRzCodeSite codeSite;
        const DWORD before = GetTickCount();
        const struct {
            std::string_view text;
            std::string_view viewerText;
            MessageKind kind;
        } lines[] = {
            {"plain\r\n", "plain\r\n", MessageKind::Plain},    {"one", "one", MessageKind::Code1},
            {"two", "two", MessageKind::Code2},                {"notice", "notice", MessageKind::Notice},
            {"P -> Run", "P Run", MessageKind::EnterMethod},   {"P <- Run", "P Run", MessageKind::ExitMethod},
        };
        for (const auto& line : lines) codeSite.WriteLine(TraceLine{line.text, line.viewerText, line.kind});
        const std::vector<std::string> entries{"a", "b"};
        codeSite.WriteBlock(TraceBlock{"P heading", "    ", entries});
        const DWORD after = GetTickCount();

        const ViewerLog log = viewer.Log();
        EXPECT_EQ(log.starts, 1);
        EXPECT_EQ(log.other, std::vector<std::string>{});
        ASSERT_EQ(log.records.size(), std::size(lines) + 1);
        for (size_t i = 0; i < log.records.size(); ++i) {
            const CopyData& record = log.records[i];
            const bool block = i == std::size(lines);
            const MessageKind kind = block ? MessageKind::Block : lines[i].kind;
            SCOPED_TRACE(i);
            EXPECT_EQ(record.sender, 0u);
            EXPECT_EQ(record.data, static_cast<uint32_t>(kind));
            EXPECT_EQ(record.size, record.bytes.size());
            const auto expected = block ? Expected(record, kind, "P heading", "a\r\nb\r\n", "TStringList")
                                        : Expected(record, kind, lines[i].viewerText);
            EXPECT_EQ(record.bytes, expected);
            EXPECT_LE(TickOf(record) - before, after - before) << "tick not taken while sending";
        }
        EXPECT_EQ(log.records[0].size, 5u + 227u);
        EXPECT_EQ(log.records.back().size, 9u + 6u + 227u);
    }
}

TEST_F(CodeSiteOutputTest, SatelliteIsChosenUnlessByPassIsOn) {
    TestViewer main(dir_, kMainViewer);
    TestViewer satellite(dir_, kSatellite);
    ASSERT_NE(main.Window(), nullptr) << "no main viewer window within 20 s";
    ASSERT_NE(satellite.Window(), nullptr) << "no satellite window within 20 s";
    const struct {
        std::optional<std::string> byPass;
        const char* message;
        bool toMain;
    } rows[] = {
        {std::nullopt, "absent", false}, {"0", "zero", false}, {"on", "not a number", false},
        {"1", "one", true},              {"-7", "minus seven", true},
    };
    std::vector<std::string> expectedMain, expectedSatellite;
    for (const auto& row : rows) {
        if (row.byPass) byPass_.Set(*row.byPass);
        TRzCodeSite codeSite;
        codeSite.WriteLine(TraceLine{row.message, row.message, MessageKind::Plain});
        (row.toMain ? expectedMain : expectedSatellite).push_back(row.message);
    }
    // Read once at creation: a later change does not reach an existing output.
    byPass_.Set("1");
    TRzCodeSite createdWithByPass;
    byPass_.Set("0");
    createdWithByPass.WriteLine(TraceLine{"kept", "kept", MessageKind::Plain});
    expectedMain.push_back("kept");

    const auto texts = [](const ViewerLog& log) {
        std::vector<std::string> result;
        for (const auto& record : log.records) result.push_back(TextOf(record));
        return result;
    };
    EXPECT_EQ(texts(main.Log()), expectedMain);
    EXPECT_EQ(texts(satellite.Log()), expectedSatellite);
}

TEST_F(CodeSiteOutputTest, WithoutViewerOrExePathMessagesAreDroppedWithoutError) {
    TRzCodeSite codeSite;
    const std::vector<std::string> entries{"a"};
    EXPECT_NO_THROW(codeSite.WriteLine(TraceLine{"x", "x", MessageKind::Plain}));
    EXPECT_NO_THROW(codeSite.WriteBlock(TraceBlock{"h", "  ", entries}));
    EXPECT_TRUE(codeSite.Enabled());
    // An empty path counts as none.
    exePath_.Set("");
    EXPECT_NO_THROW(codeSite.WriteLine(TraceLine{"y", "y", MessageKind::Plain}));
    EXPECT_TRUE(codeSite.Enabled());
    EXPECT_EQ(codeSite.Undelivered(), 3u);
}

TEST_F(CodeSiteOutputTest, ExePathThatCannotStartFailsOnceThenEverythingIsDropped) {
    exePath_.Set("C:\\no such folder\\CodeSite.exe");
    TRzCodeSite codeSite;
    try {
        codeSite.WriteLine(TraceLine{"first", "first", MessageKind::Plain});
        FAIL() << "no failure for a viewer that cannot start";
    } catch (const ECodeSiteException& error) {
        EXPECT_EQ(std::string(error.what()), "The CodeSite (32-bit) Viewer could not be started");
    }
    EXPECT_FALSE(codeSite.Enabled());
    const std::vector<std::string> entries{"a"};
    EXPECT_NO_THROW(codeSite.WriteLine(TraceLine{"second", "second", MessageKind::Plain}));
    EXPECT_NO_THROW(codeSite.WriteBlock(TraceBlock{"h", "  ", entries}));
    // Off for good: even a viewer that is running now gets nothing.
    TestViewer viewer(dir_, kMainViewer);
    ASSERT_NE(viewer.Window(), nullptr) << "no test viewer window within 20 s";
    codeSite.WriteLine(TraceLine{"third", "third", MessageKind::Plain});
    EXPECT_EQ(viewer.Log().records.size(), 0u);
    EXPECT_EQ(codeSite.Undelivered(), 4u);
}

TEST_F(CodeSiteOutputTest, ExePathInEitherViewNamingTheViewerStartsItOnceAndDelivers) {
    // A 32-bit viewer's installer writes the 32-bit view; an empty path in
    // our own view counts as none.
    for (ViewerRegistryValue* exePath : {&exePath_, &viewerSettings_.exePath32}) {
        const bool own = exePath == &exePath_;
        SCOPED_TRACE(own ? "our own view" : "the 32-bit view");
        const std::string records = dir_.PathOf(own ? "started.log" : "started32.log");
        if (!own) exePath_.Set("");
        exePath->Set(TestViewerCommand(records, kMainViewer));
        TRzCodeSite codeSite;
        codeSite.WriteLine(TraceLine{"hello", "hello", MessageKind::Plain});
        // The next message finds the running viewer instead of starting another.
        codeSite.WriteLine(TraceLine{"again", "again", MessageKind::Plain});
        EXPECT_EQ(CloseStartedViewer(kMainViewer), 0);

        const ViewerLog log = ReadViewerLog(records);
        EXPECT_EQ(log.starts, 1);
        EXPECT_EQ(log.other, std::vector<std::string>{});
        ASSERT_EQ(log.records.size(), 2u);
        EXPECT_EQ(log.records[0].bytes, Expected(log.records[0], MessageKind::Plain, "hello"));
        EXPECT_EQ(TextOf(log.records[1]), "again");
        EXPECT_TRUE(codeSite.Enabled());
    }
}

TEST_F(CodeSiteOutputTest, StartedProgramWithoutTheViewerTitleLosesTheMessageWithinTheBounds) {
    // It starts and shows a window of the viewer's class, but not the title
    // the search looks for.
    const ViewerWindow untitled{kMainViewer.className, "Not the viewer"};
    const std::string records = dir_.PathOf("untitled.log");
    exePath_.Set(TestViewerCommand(records, untitled));
    TRzCodeSite codeSite;
    const auto start = steady_clock::now();
    EXPECT_NO_THROW(codeSite.WriteLine(TraceLine{"lost", "lost", MessageKind::Plain}));
    // Three times the two bounds: generous, since this is about a hang.
    EXPECT_LT(steady_clock::now() - start,
              3 * milliseconds(TRzCodeSite::kIdleTimeout + TRzCodeSite::kWindowSearchTime));
    EXPECT_TRUE(codeSite.Enabled());
    EXPECT_EQ(CloseStartedViewer(untitled), 0);

    const ViewerLog log = ReadViewerLog(records);
    EXPECT_EQ(log.starts, 1);
    EXPECT_EQ(log.records.size(), 0u);
    EXPECT_EQ(log.other, std::vector<std::string>{});
}

TEST_F(CodeSiteOutputTest, ViewerThatStopsAnsweringDelaysEachCallByNoMoreThanTheBound) {
    const std::string resumeName = test::UniqueTestName("codesite resume");
    const UniqueHandle resume(CreateEventA(nullptr, TRUE, FALSE, resumeName.c_str()));
    ASSERT_TRUE(resume);
    TestViewer viewer(dir_, kMainViewer, resumeName);
    ASSERT_NE(viewer.Window(), nullptr) << "no test viewer window within 20 s";
    TRzCodeSite codeSite;
    // Three times the bound: generous, since this is about a hang, not speed.
    const auto hangLimit = 3 * milliseconds(TRzCodeSite::kSendTimeout);
    for (const char* text : {"stop answering", "while stopped", "still stopped"}) {
        const auto start = steady_clock::now();
        EXPECT_NO_THROW(codeSite.WriteLine(TraceLine{text, text, MessageKind::Plain}));
        EXPECT_LT(steady_clock::now() - start, hangLimit) << "sending \"" << text << "\"";
    }
    ASSERT_TRUE(SetEvent(resume.get()));
    DWORD_PTR ignored = 0;
    ASSERT_NE(SendMessageTimeoutA(viewer.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 20000, &ignored), 0)
        << "the viewer did not answer again within 20 s of its resume";
    codeSite.WriteLine(TraceLine{"after", "after", MessageKind::Plain});
    EXPECT_EQ(codeSite.Undelivered(), 3u) << "each send that timed out";

    const ViewerLog log = viewer.Log();
    EXPECT_EQ(log.other, std::vector<std::string>{});
    ASSERT_GE(log.records.size(), 2u);
    EXPECT_EQ(TextOf(log.records.front()), "stop answering");
    EXPECT_EQ(TextOf(log.records.back()), "after");
}

}  // namespace
}  // namespace norvale
