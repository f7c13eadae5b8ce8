// The viewer output from real clients through the real server: what each call
// sends to the viewer, which viewer window is chosen, starting the viewer, and
// a viewer that stops answering.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "output/codesite_output.h"
#include "common/ansi_text.h"
#include "server/co_debug_session.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/paths.h"
#include "tests_support/test_viewer_client.h"
#include "tests_support/trace_window_reader.h"
#include "tests_support/viewer_settings.h"

namespace norvale {
namespace {

using Lines = std::vector<std::string>;
using test::milliseconds;
using test::steady_clock;

// Each record as "<kind> <text>".
Lines KindsAndTexts(const test::ViewerLog& log) {
    Lines seen;
    for (const auto& record : log.records) seen.push_back(std::to_string(record.data) + " " + test::TextOf(record));
    return seen;
}

// A client's whole run: the server object, a session "P" that gets `calls`,
// closed again, and the server object let go.
void RunClient(const std::function<void(IDebugSession&)>& calls) {
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    calls(*session.get());
    EXPECT_EQ(session->CloseSession(), S_OK);
}

void SendHello(IDebugSession& session) { EXPECT_EQ(session.AddMessage(0, 0, test::Bstr(L"hello")), S_OK); }

const Lines kHelloRecords{"8 Norvale Starting Up", "8 Session opened.", "0 hello", "8 Session closed.",
                          "8 Norvale Shutting Down"};

class CodeSiteServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(FindWindowA(test::kMainViewer.className, nullptr), nullptr) << "a viewer window is left from before";
        ASSERT_EQ(FindWindowA(test::kSatellite.className, nullptr), nullptr) << "a satellite is left from before";
    }

    // Waits (bounded) for a viewer to hold `count` records; gives its log.
    static test::ViewerLog LogOnceHolding(const std::function<test::ViewerLog()>& read, size_t count) {
        test::ViewerLog log;
        EXPECT_TRUE(test::WaitUntil([&] { return (log = read()).records.size() >= count; }, milliseconds(20000)))
            << count << " records did not arrive within 20 s";
        return log;
    }

    test::ScratchDirectory dir_;
    test::ViewerSettings viewerSettings_;
};

TEST_F(CodeSiteServerTest, ClientCallsArriveAsRecordsUnderEitherTitle) {
    for (const test::ViewerWindow& window : {test::kMainViewer, test::kSatellite}) {
        SCOPED_TRACE(window.title);
        test::OutputSetup output({"ToCodeSite"});
        test::TestViewer viewer(dir_, window);
        ASSERT_NE(viewer.Window(), nullptr) << "no test viewer window within 20 s";
        RunClient([](IDebugSession& session) {
            EXPECT_EQ(session.AddMessage(0, 1, test::Bstr(L"one")), S_OK);
            EXPECT_EQ(session.EnterMethod(0, test::Bstr(L"Run")), S_OK);
            EXPECT_EQ(session.ExitMethod(0, test::Bstr(L"Run")), S_OK);
            EXPECT_EQ(session.AddStrings(0, 0, test::Bstr(L"lines"), test::Bstr(L"a\r\nb")), S_OK);
        });
        EXPECT_EQ(KindsAndTexts(LogOnceHolding([&] { return viewer.Log(); }, 8)),
                  (Lines{"8 Norvale Starting Up", "8 Session opened.", "1 one", "9 Run", "10 Run", "6 linesa\r\nb\r\n",
                         "8 Session closed.", "8 Norvale Shutting Down"}));
    }
}

TEST_F(CodeSiteServerTest, ByPassSendsToTheMainViewerWhileASatelliteRuns) {
    viewerSettings_.byPass.Set("1");
    test::OutputSetup output({"ToCodeSite"});
    test::TestViewer main(dir_, test::kMainViewer);
    test::TestViewer satellite(dir_, test::kSatellite);
    ASSERT_NE(main.Window(), nullptr) << "no main viewer window within 20 s";
    ASSERT_NE(satellite.Window(), nullptr) << "no satellite window within 20 s";
    RunClient(SendHello);
    EXPECT_EQ(KindsAndTexts(LogOnceHolding([&] { return main.Log(); }, 5)), kHelloRecords);
    EXPECT_EQ(satellite.Log().records.size(), 0u);
}

TEST_F(CodeSiteServerTest, WithoutViewerOrExePathCallsSucceedAndNoViewerIsStarted) {
    test::OutputSetup output({"ToCodeSite"});
    RunClient(SendHello);
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"),
              (Lines{"Norvale Starting Up", "Session opened.", "hello", "Session closed.",
                     "Norvale Shutting Down"}));
    EXPECT_EQ(FindWindowA(test::kMainViewer.className, nullptr), nullptr);
}

TEST_F(CodeSiteServerTest, ExePathThatCannotStartFailsTheFirstCallAndLaterOnesSucceedSilently) {
    viewerSettings_.exePath.Set("C:\\no such folder\\CodeSite.exe");
    test::OutputSetup output({"ToCodeSite"});
    // Started by hand, so that it lives on after the failed activation and
    // its failure report can be read.
    test::ServerProcess server;
    server.ExpectOutput("DAX Error: The CodeSite (32-bit) Viewer could not be started.\r\n");
    HRESULT result = S_OK;
    EXPECT_FALSE(test::ActivateNorvale(&result));
    EXPECT_EQ(result, E_UNEXPECTED);
    RunClient(SendHello);
    // The failed start's first line stopped at the viewer, which is written
    // before the file, so the file has only the failed object's last line.
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"),
              (Lines{"Norvale Shutting Down", "Norvale Starting Up", "Session opened.", "hello", "Session closed.",
                     "Norvale Shutting Down"}));
    // Every one of those lines was meant for the viewer too.
    std::wstring losses;
    EXPECT_TRUE(test::WaitUntil([&] {
        losses = test::ReadTraceWindow(test::FindTraceWindow(server.Process().Id())).status[5];
        return losses == L"7 viewer records not delivered";
    }, milliseconds(20000))) << "the status bar still says \"" << WideToAnsi(losses) << "\" after 20 s";
}

TEST_F(CodeSiteServerTest, ExePathNamingTheViewerStartsItOnceForTheFirstRecord) {
    const std::string records = dir_.PathOf("started.log");
    viewerSettings_.exePath.Set(test::TestViewerCommand(records, test::kMainViewer));
    {
        test::OutputSetup output({"ToCodeSite"});
        RunClient(SendHello);
        const test::ViewerLog log = LogOnceHolding([&] { return test::ReadViewerLog(records); }, 5);
        EXPECT_EQ(log.starts, 1);
        EXPECT_EQ(log.other, Lines{});
        EXPECT_EQ(KindsAndTexts(log), kHelloRecords);
    }
    EXPECT_EQ(test::CloseStartedViewer(test::kMainViewer), 0);
}

TEST_F(CodeSiteServerTest, ViewerThatStopsAnsweringDelaysACallByTheBoundAndOtherClientsAreServed) {
    const std::string resumeName = test::UniqueTestName("codesite resume");
    const UniqueHandle resume(CreateEventA(nullptr, TRUE, FALSE, resumeName.c_str()));
    ASSERT_TRUE(resume);
    test::OutputSetup output({"ToCodeSite"});
    test::TestViewer viewer(dir_, test::kMainViewer, resumeName);
    ASSERT_NE(viewer.Window(), nullptr) << "no test viewer window within 20 s";
    RunClient([](IDebugSession& session) {
        // Three times the bound: generous, since this is about a hang, not speed.
        const auto hangLimit = 3 * milliseconds(TRzCodeSite::kSendTimeout);
        for (const wchar_t* text : {L"stop answering", L"while stopped"}) {
            const auto start = steady_clock::now();
            EXPECT_EQ(session.AddMessage(0, 0, test::Bstr(text)), S_OK);
            EXPECT_LT(steady_clock::now() - start, hangLimit) << "sending \"" << WideToAnsi(TextOf(test::Bstr(text))) << "\"";
        }
        EXPECT_EQ(test::RunScript("one_session.vbs"), 0) << "another client while the viewer does not answer";
    });
    ASSERT_TRUE(SetEvent(resume.get()));
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"),
              (Lines{"Norvale Starting Up", "Session opened.", "stop answering", "while stopped",
                     "Session opened.", "hello from the second client",
                     "Session closed.", "Session closed.", "Norvale Shutting Down"}));
    const Lines arrived = KindsAndTexts(viewer.Log());
    EXPECT_EQ(Lines(arrived.begin(), arrived.begin() + std::min<size_t>(arrived.size(), 3)),
              (Lines{"8 Norvale Starting Up", "8 Session opened.", "0 stop answering"}));
}

}  // namespace
}  // namespace norvale
