// The console agent as a user runs it: beside real writers, ended by Ctrl+C
// pressed in its console, and refusing to start for each of its causes.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/agent_console.h"
#include "app/agent_service.h"
#include "app/agent_service_win32.h"
#include "app/agent_settings.h"
#include "common/system_error.h"
#include "common/utf8_text.h"
#include "common/win32_resources.h"
#include "config/registry_api.h"
#include "config/registry_values.h"
#include "forward/syslog_address.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/rsyslog.h"

namespace norvale {
namespace {

constexpr std::chrono::seconds kBound(30);

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
std::string Bin(const std::string& program) { return Quoted(test::BinDirectory() + program); }
std::string Peer(const std::string& arguments) { return Bin("norvale_debug_peer.exe") + " " + arguments; }

// A reader's last object of a channel is there: a writer from now on is read.
bool ChannelOpen(const std::string& prefix) {
    return bool(UniqueHandle(OpenEventA(SYNCHRONIZE, FALSE, (prefix + "DBWIN_DATA_READY").c_str())));
}

// The program's one line on standard output or error, and its exit code.
test::ProcessEnd RunAgentProgram(const std::string& arguments, const test::ScratchDirectory& dir,
                                 const std::string& line) {
    test::ChildProcess agent(Bin("norvale-agent.exe") + " " + arguments, dir.PathOf("agent.txt"));
    const test::ProcessEnd end = agent.WaitForExit(60000);
    EXPECT_EQ(test::ReadWholeFile(dir.PathOf("agent.txt")), line + "\r\n") << arguments;
    return end;
}

// The agent's key while the test runs (lines without the time), and the
// user's for a desktop server beside it.
struct AgentKeys {
    AgentKeys() { WriteRegString(RegLocalMachine(), kAgentOutputKey, "IncludeDateTime", "0"); }
    ~AgentKeys() {
        RegApiDeleteTree(RegLocalMachine(), kAgentKey);
        RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    }
};

// An agent in a console of its own, ended by Ctrl+C pressed there.
class ConsoleAgent {
public:
    explicit ConsoleAgent(const std::string& arguments)
        : helper_(Bin("norvale_test_helper.exe") + " ctrl-c " + Quoted(dir_.PathOf("agent.txt")) + " " + Quoted(go_) +
                      " \"\\\"" + test::BinDirectory() + "norvale-agent.exe\\\" " + arguments + "\"",
                  dir_.PathOf("helper.txt")) {}
    // The agent's exit code; the helper must have said nothing, the agent
    // `output` on its standard output and error.
    test::ProcessEnd PressCtrlC(const std::string& output = {}) {
        const UniqueHandle go(OpenEventA(EVENT_MODIFY_STATE, FALSE, go_.c_str()));
        EXPECT_TRUE(go && SetEvent(go.get())) << "the helper's go event";
        const test::ProcessEnd end = helper_.WaitForExit(60000);
        EXPECT_EQ(test::ReadWholeFile(dir_.PathOf("helper.txt")), "");
        EXPECT_EQ(test::ReadWholeFile(dir_.PathOf("agent.txt")), output);
        return end;
    }

private:
    test::ScratchDirectory dir_;
    const std::string go_ = test::UniqueTestName("agent go");
    test::ChildProcess helper_;
};

TEST(AgentTest, CtrlCEndsItWithEveryLocalAndGlobalStringInItsFileAndOnItsConsoleInOrderTheLastOnesToo) {
    const AgentKeys keys;
    WriteRegString(RegLocalMachine(), kAgentOutputKey, "ToConsole", "1");
    test::ScratchDirectory dir;
    // In a folder that is not there yet: the agent makes it.
    const std::string file = dir.PathOf("logs\\debug-output.txt");
    ConsoleAgent agent("/Out " + file + " /Global");
    ASSERT_TRUE(test::WaitUntil([] { return ChannelOpen("") && ChannelOpen("Global\\"); }, kBound))
        << "the agent's channels, local and global";
    test::ChildProcess local(Peer("write L 2000"), dir.PathOf("local.txt"));
    ASSERT_EQ(local.WaitForExit(60000), 0);
    test::ChildProcess global(Peer("write-names Global\\ G 20"), dir.PathOf("global.txt"));
    ASSERT_EQ(global.WaitForExit(60000), 0);
    std::string expected;
    char prefix[40];
    for (const auto& [writer, tag, count] : {std::tuple(&local, "L", 2000), std::tuple(&global, "G", 20)}) {
        std::snprintf(prefix, sizeof prefix, "norvale_debug_peer.exe %08lx %s s", writer->Id(), tag);
        for (int i = 0; i < count; ++i) expected += prefix + std::to_string(i) + "\r\n";
    }
    EXPECT_EQ(agent.PressCtrlC(expected), 0);
    EXPECT_EQ(test::ReadWholeFile(file), expected);
}

TEST(AgentTest, WhatKeepsItFromWorkingEndsItAtOnceWithItsCodeAndOneLine) {
    const AgentKeys keys;
    test::ScratchDirectory dir;
    const std::string held = "Debug output is being captured by another program";
    // Started first, ended after the row.
    const auto agentFirst = [&]() -> std::shared_ptr<void> {
        auto first = std::make_shared<ConsoleAgent>("/Out " + dir.PathOf("first.txt"));
        EXPECT_TRUE(test::WaitUntil([] { return ChannelOpen(""); }, kBound)) << "the first agent's channel";
        return std::shared_ptr<void>(first.get(), [first](void*) { EXPECT_EQ(first->PressCtrlC(), 0); });
    };
    const auto serverFirst = []() -> std::shared_ptr<void> {
        WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "CaptureDebugOutput", "1");
        auto server = std::make_shared<test::ServerProcess>();
        EXPECT_TRUE(test::WaitUntil([] { return ChannelOpen(""); }, kBound)) << "the server's channel";
        return server;
    };
    const std::tuple<std::string, int, std::string, std::function<std::shared_ptr<void>()>> rows[] = {
        {"/Out x.txt /Verbose", 2,
         "unknown switch /Verbose (switches: /Out FILE, /Forward ADDRESS, /Global; /InstallAgent [/Account NAME], "
         "/UninstallAgent)",
         {}},
        {"/Global", 2,
         "nothing to do: no output is on (name one with /Out FILE or /Forward ADDRESS, or in "
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\brantwick\\Norvale\\Agent\\Output)",
         {}},
        {"/Forward ftp://logs", 2, ParseSyslogServer("ftp://logs").problem, {}},
        {"/Out x.txt", 3, held, agentFirst},
        {"/Out x.txt", 3, held, serverFirst},
    };
    for (const auto& [arguments, code, line, first] : rows) {
        const std::shared_ptr<void> running = first ? first() : nullptr;
        test::ChildProcess agent(Bin("norvale-agent.exe") + " " + arguments, dir.PathOf("agent.txt"));
        EXPECT_EQ(agent.WaitForExit(60000), code);
        EXPECT_EQ(test::ReadWholeFile(dir.PathOf("agent.txt")), "norvale-agent: " + line + "\r\n");
        EXPECT_FALSE(test::FileExists(test::BinDirectory() + "x.txt"));
    }
}

// The console's close and the other events through the handler's seam, in
// this process: Ctrl+C is pressed for real above, the others cannot be.
TEST(AgentConsoleTest, EveryEventStopsTheRunAndEndsTheProcessWithItsCodeOnceItEnded) {
    for (const DWORD event :
         {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
        int ended = -1;
        TAgentConsole console([&](int code) { ended = code; });
        BOOL answer = FALSE;
        std::thread system([&] { answer = TConsoleControl::HandleEvent(event); });
        EXPECT_EQ(WaitForSingleObject(console.Stop(), 30000), WAIT_OBJECT_0) << "the run's stop at " << event;
        EXPECT_EQ(ended, -1) << "the process ended before the run, at " << event;
        console.Ended(static_cast<int>(event) + 7);
        system.join();
        EXPECT_EQ(answer, TRUE);
        EXPECT_EQ(ended, static_cast<int>(event) + 7);
    }
    // A run that does not end in time is left to the system's end.
    int ended = -1;
    TAgentConsole console([&](int code) { ended = code; });
    EXPECT_EQ(TConsoleControl::HandleEvent(CTRL_CLOSE_EVENT), FALSE);
    EXPECT_EQ(ended, -1);
}

// The service as an administrator installs and runs it, in the test prefix's
// service control manager. Uninstalled at the start and the end, so that no
// service that starts with the prefix is left to hold the channel.
class AgentServiceTest : public testing::Test {
protected:
    AgentServiceTest() { Uninstall(); }
    ~AgentServiceTest() override { Uninstall(); }
    static void Uninstall() { test::RunProgram(Bin("norvale-agent.exe") + " /UninstallAgent"); }

    // The service's state, 0 when it cannot be queried.
    static DWORD StateOf(SC_HANDLE service) {
        SERVICE_STATUS status{};
        return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
    }
};

TEST_F(AgentServiceTest, InstalledItStartsCapturesAndForwardsStopsWithEveryStringWrittenAndGoesWithItsKeys) {
    if (!test::TRsyslog::Available()) GTEST_SKIP() << "no rsyslogd here: ./norvale setup installs it";
    test::TRsyslog rsyslog;
    ASSERT_TRUE(rsyslog.Start());
    const AgentKeys keys;
    WriteRegString(RegLocalMachine(), kAgentOptionsKey, "SyslogServer",
                   "udp://127.0.0.1:" + std::to_string(rsyslog.UdpPort()));
    WriteRegString(RegLocalMachine(), kAgentOptionsKey, "ToSyslog", "1");
    test::ScratchDirectory dir;
    const std::string file = dir.PathOf("service.txt"), program = test::BinDirectory() + "norvale-agent.exe";
    for (const auto& [name, value] : {std::pair{"ToFile", "1"}, {"Filename", file.c_str()}, {"IncludeModule", "0"},
                                      {"IncludeProcess", "0"}})
        WriteRegString(RegLocalMachine(), kAgentOutputKey, name, value);
    EXPECT_EQ(RunAgentProgram("/InstallAgent", dir,
                              "norvale-agent: the service \"Norvale Agent\" is installed; it starts with Windows, or "
                              "now with \"sc start NorvaleAgent\""),
              0);
    EXPECT_EQ(ReadRegString(RegLocalMachine(), kAgentEventSourceKey, "EventMessageFile", ""), program);

    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueServiceHandle service(OpenServiceW(manager.get(), kAgentServiceName, SERVICE_ALL_ACCESS));
    ASSERT_TRUE(service) << "no service NorvaleAgent after /InstallAgent";
    std::vector<uint8_t> buffer(8192);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &needed));
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(WideToUtf8(config->lpBinaryPathName), "\"" + program + "\" /Service");
    EXPECT_EQ(WideToUtf8(config->lpDisplayName), "Norvale Agent");
    EXPECT_EQ(WideToUtf8(config->lpServiceStartName), "NT AUTHORITY\\LocalService");

    ASSERT_TRUE(StartServiceW(service.get(), 0, nullptr)) << SystemErrorText(GetLastError());
    ASSERT_TRUE(test::WaitUntil([&] { return StateOf(service.get()) == SERVICE_RUNNING; }, kBound))
        << "the service was not running within 30 s: state " << StateOf(service.get());
    // A second agent finds the channel held.
    EXPECT_EQ(RunAgentProgram("/Out " + dir.PathOf("second.txt"), dir,
                              "norvale-agent: Debug output is being captured by another program"),
              3);
    EXPECT_EQ(test::RunProgram(Peer("write service 200")), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return test::ReadWholeFile(file).find("service s199") != std::string::npos; },
                                kBound))
        << "the writer's last string was not in the service's file within 30 s";
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(test::WaitUntil([&] { return StateOf(service.get()) == SERVICE_STOPPED; }, std::chrono::seconds(2)))
        << "the service had not stopped 2 s after its stop";
    std::string expected = "Norvale Agent Starting Up\r\n";
    for (int i = 0; i < 200; ++i) expected += "service s" + std::to_string(i) + "\r\n";
    EXPECT_EQ(test::ReadWholeFile(file), expected + "Norvale Agent Shutting Down\r\n");
    EXPECT_TRUE(test::WaitUntil([&] { return rsyslog.Received().find("service s199") != std::string::npos; }, kBound))
        << "rsyslog did not have the last string within 30 s; it has:\n" << rsyslog.Received();

    EXPECT_EQ(RunAgentProgram("/UninstallAgent", dir, "norvale-agent: the service \"Norvale Agent\" is removed"), 0);
    // A removed service goes with its last handle.
    service.reset();
    EXPECT_FALSE(UniqueServiceHandle(OpenServiceW(manager.get(), kAgentServiceName, SERVICE_QUERY_STATUS)));
    for (const char* key : {kAgentKey, kAgentEventSourceKey}) {
        RegKey opened = nullptr;
        EXPECT_NE(RegApiOpenKey(RegLocalMachine(), key, &opened), ERROR_SUCCESS) << key;
        if (opened != nullptr) RegApiCloseKey(opened);
    }
}

TEST(AgentServiceRefusalTest, WithoutAnAdministratorNeitherInstallNorUninstallChangesAnything) {
    std::vector<std::string> told;
    const AgentTell tell = [&](const std::string& line) { told.push_back(line); };
    EXPECT_EQ(InstallAgentService("C:\\norvale-agent.exe", {}, false, tell), 5);
    EXPECT_EQ(UninstallAgentService(false, tell), 5);
    EXPECT_EQ(told, (std::vector<std::string>{"norvale-agent: installing the service needs an administrator",
                                               "norvale-agent: uninstalling the service needs an administrator"}));
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    EXPECT_FALSE(UniqueServiceHandle(OpenServiceW(manager.get(), kAgentServiceName, SERVICE_QUERY_STATUS)));
}

}  // namespace
}  // namespace norvale
