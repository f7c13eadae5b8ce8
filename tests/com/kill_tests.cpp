// Processes killed in the middle of a load. These tests run last: Wine keeps
// the class of a killed server registered, and every later activation fails
// until its wineserver restarts.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/win32_resources.h"
#include "output/buffer_flusher.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/child_process.h"

namespace norvale {
namespace {

TEST(KillTest, AKilledClientDisturbsNobodyAndAKilledServerFailsItsClients) {
    constexpr int kThreads = 4;
    constexpr int kMessages = 300;
    test::OutputSetup output({});
    test::ChildProcess server("\"" + test::NorvaleExe() + "\"");
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        test::ChildProcess survivor(test::LoadClientCommand("s", kThreads, kMessages));
        {
            test::ChildProcess killed(test::LoadClientCommand("k", kThreads, 100000));
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            ASSERT_EQ(killed.WaitForExit(0), -1) << "the client to kill ended too soon";
        }  // ended by its handle here, in the middle of its calls
        EXPECT_EQ(survivor.WaitForExit(120000), 0);
        ComPtr<IDebugSession> session;
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"after"), session.put()), S_OK);
        ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"still serving")), S_OK);
    }
    const auto lines = output.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "still serving");
    std::vector<std::string> load(lines.begin(), lines.end() - 1);
    test::CheckLoad(load, {{"s", kMessages}, {"k", kMessages}}, kThreads, "k");

    // The server killed under a client's load: the client's calls fail, and
    // it ends instead of waiting for ever.
    test::ChildProcess orphan(test::LoadClientCommand("o", kThreads, 100000));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    server.Kill();
    const int64_t exitCode = orphan.WaitForExit(60000);
    EXPECT_NE(exitCode, -1) << "the client hung after the server was killed";
    EXPECT_NE(exitCode, 0) << "the client saw no error";
}

TEST(KillTest, ATracersProgramEndsNormallyAndCountsItsLossWhenTheServerIsKilled) {
    test::OutputSetup output({});
    test::ChildProcess server("\"" + test::NorvaleExe() + "\"");
    ASSERT_TRUE(test::AwaitServing(std::chrono::seconds(30))) << "the server offered no class within 30 s";
    test::CheckATracerOutlivesItsServer(output, [&] { server.Kill(); });
}

TEST(KillTest, AKilledServersFileHoldsEveryLineWrittenMoreThanASecondBeforeTheKill) {
    test::OutputSetup output({});
    output.Set("FlushOutputFile", "0");
    test::ChildProcess server("\"" + test::NorvaleExe() + "\"");
    // The class is offered a moment after start.
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"short")), S_OK);
    // The flusher's second and a margin, after which the line is due.
    std::this_thread::sleep_for(TBufferFlusher::kDelay + std::chrono::milliseconds(500));
    server.Kill();
    EXPECT_EQ(server.WaitForExit(0), 99) << "the server was not ended by the kill";
    // The proxies of a dead server are left unreleased: the test process ends soon.
    session.detach();
    norvale.detach();
    EXPECT_EQ(output.Lines(), (std::vector<std::string>{"Norvale Starting Up", "Session opened.", "short"}));
}

BOOL WINAPI IgnoreTheEvent(DWORD) { return TRUE; }

TEST(KillTest, CtrlCInTheServersConsoleLeavesEveryBufferedLineOnDisk) {
    test::OutputSetup output({"ToConsole"});
    output.Set("FlushOutputFile", "0");
    {
        // Started by the platform, with no standard output, so that it opens
        // a console of its own.
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ComPtr<IDebugSession> session;
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
        ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"in the buffer")), S_OK);
        DWORD serverId = 0;
        GetWindowThreadProcessId(FindWindowA("TMainForm", nullptr), &serverId);
        const UniqueHandle server(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, serverId));
        ASSERT_TRUE(server) << "no server process to watch: " << GetLastError();
        // As a user presses Ctrl+C in the server's console: the event reaches
        // every process of that console, this test too. (Wine refuses to
        // send Ctrl+Break; the server handles every event alike.)
        FreeConsole();
        ASSERT_TRUE(AttachConsole(serverId)) << "no console of the server to join: " << GetLastError();
        SetConsoleCtrlHandler(IgnoreTheEvent, TRUE);
        EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
        ASSERT_EQ(WaitForSingleObject(server.get(), 20000), WAIT_OBJECT_0) << "the server did not end within 20 s";
        DWORD exitCode = 0;
        GetExitCodeProcess(server.get(), &exitCode);
        // The system's own end for the event: Windows gives it this code, Wine 0.
        EXPECT_TRUE(exitCode == STATUS_CONTROL_C_EXIT || exitCode == 0) << exitCode;
        FreeConsole();
        SetConsoleCtrlHandler(IgnoreTheEvent, FALSE);
    }
    EXPECT_EQ(output.Lines(), (std::vector<std::string>{"Norvale Starting Up", "Session opened.", "in the buffer"}));
}

}  // namespace
}  // namespace norvale
