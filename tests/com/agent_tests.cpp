// The console agent as a user runs it: beside real writers, ended by Ctrl+C
// pressed in its console, and refusing to start for each of its causes.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <thread>

#include "app/agent_console.h"
#include "app/agent_settings.h"
#include "config/registry_values.h"
#include "forward/syslog_address.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"

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
        {"/Out x.txt /Verbose", 2, "unknown switch /Verbose (switches: /Out FILE, /Forward ADDRESS, /Global)", {}},
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

}  // namespace
}  // namespace norvale
