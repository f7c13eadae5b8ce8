// The console agent as a user runs it: started with its switches and key
// beside real writers, ended by Ctrl+C pressed in its console, and refusing
// to start for each of its causes with its exit code and one line.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <thread>

#include "app/agent_console.h"
#include "app/agent_settings.h"
#include "config/registry_api.h"
#include "config/registry_values.h"
#include "forward/syslog_address.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"

namespace norvale {
namespace {

constexpr std::chrono::seconds kBound(30);
constexpr const char* kUsage = " (switches: /Out FILE, /Forward ADDRESS, /Global)";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
std::string AgentCommand(const std::string& arguments) {
    return Quoted(test::BinDirectory() + "norvale-agent.exe") + " " + arguments;
}
std::string Peer(const std::string& arguments) { return test::BinDirectory() + "norvale_debug_peer.exe " + arguments; }

std::string Hex(DWORD value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", value);
    return text;
}

// The agent's own key while the test runs, and the user's capture for a
// desktop server beside it.
class AgentKeys {
public:
    AgentKeys() { WriteRegString(RegLocalMachine(), kAgentOutputKey, "IncludeDateTime", "0"); }
    ~AgentKeys() {
        RegApiDeleteTree(RegLocalMachine(), kAgentKey);
        RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    }
};

// A reader's last object of a channel is there: a writer from now on is read.
bool ChannelOpen(const char* prefix) {
    return bool(UniqueHandle(OpenEventA(SYNCHRONIZE, FALSE, (std::string(prefix) + "DBWIN_DATA_READY").c_str())));
}

// An agent in a console of its own, ended by Ctrl+C pressed there.
class ConsoleAgent {
public:
    explicit ConsoleAgent(const std::string& arguments)
        : go_(test::UniqueTestName("agent go")),
          helper_(Quoted(test::BinDirectory() + "norvale_test_helper.exe") + " ctrl-c " +
                      Quoted(dir_.PathOf("agent.txt")) + " " + Quoted(go_) + " " +
                      Quoted(EscapedQuotes(AgentCommand(arguments))),
                  dir_.PathOf("helper.txt")) {}
    // The agent's exit code; what it and the helper wrote must be nothing.
    test::ProcessEnd PressCtrlC() {
        const UniqueHandle go(OpenEventA(EVENT_MODIFY_STATE, FALSE, go_.c_str()));
        EXPECT_TRUE(go) << "the helper's go event";
        if (go) SetEvent(go.get());
        const test::ProcessEnd end = helper_.WaitForExit(60000);
        EXPECT_EQ(test::ReadWholeFile(dir_.PathOf("helper.txt")), "");
        EXPECT_EQ(test::ReadWholeFile(dir_.PathOf("agent.txt")), "");
        return end;
    }

private:
    static std::string EscapedQuotes(const std::string& text) {
        std::string escaped;
        for (const char c : text) escaped += c == '"' ? std::string("\\\"") : std::string(1, c);
        return escaped;
    }

    test::ScratchDirectory dir_;
    const std::string go_;
    test::ChildProcess helper_;
};

TEST(AgentTest, CtrlCEndsItWithEveryLocalAndGlobalStringInItsFileInOrderTheLastOnesToo) {
    const AgentKeys keys;
    test::ScratchDirectory dir;
    const std::string file = dir.PathOf("debug output.txt");
    ConsoleAgent agent("/Out " + Quoted(file) + " /Global");
    ASSERT_TRUE(test::WaitUntil([] { return ChannelOpen("") && ChannelOpen("Global\\"); }, kBound))
        << "the agent's channels, local and global";

    constexpr int kLocal = 2000, kGlobal = 20;
    test::ChildProcess local(Peer("write L " + std::to_string(kLocal)), dir.PathOf("local.txt"));
    ASSERT_EQ(local.WaitForExit(60000), 0);
    test::ChildProcess global(Peer("write-names Global\\ G " + std::to_string(kGlobal)), dir.PathOf("global.txt"));
    ASSERT_EQ(global.WaitForExit(60000), 0);
    EXPECT_EQ(agent.PressCtrlC(), 0);

    std::string expected;
    for (int i = 0; i < kLocal; ++i) expected += "norvale_debug_peer.exe " + Hex(local.Id()) + " L s" + std::to_string(i) + "\r\n";
    for (int i = 0; i < kGlobal; ++i) expected += "norvale_debug_peer.exe " + Hex(global.Id()) + " G s" + std::to_string(i) + "\r\n";
    EXPECT_EQ(test::ReadWholeFile(file), expected);
}

TEST(AgentTest, WhatKeepsItFromWorkingEndsItAtOnceWithItsCodeAndOneLine) {
    const AgentKeys keys;
    test::ScratchDirectory dir;
    const std::string file = Quoted(dir.PathOf("second.txt"));
    const std::string held = "norvale-agent: Debug output is being captured by another program\r\n";
    const struct {
        const char* name;
        std::string arguments;
        int code;
        std::string line;
        std::function<std::shared_ptr<void>()> first;
    } rows[] = {
        {"unknown switch", "/Out " + file + " /Verbose", 2, "norvale-agent: unknown switch /Verbose" + std::string(kUsage) + "\r\n", {}},
        {"incomplete switch", "/Global /Out", 2, "norvale-agent: /Out needs a file name\r\n", {}},
        {"nothing to do", "/Global", 2,
         "norvale-agent: nothing to do: no output is on (name one with /Out FILE or /Forward ADDRESS, or in "
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\brantwick\\Norvale\\Agent\\Output)\r\n", {}},
        {"forwarding nowhere", "/Forward ftp://logs", 2, "norvale-agent: " + ParseSyslogServer("ftp://logs").problem + "\r\n", {}},
        {"another agent first", "/Out " + file, 3, held,
         [&] {
             auto first = std::make_shared<ConsoleAgent>("/Out " + Quoted(dir.PathOf("first.txt")));
             EXPECT_TRUE(test::WaitUntil([] { return ChannelOpen(""); }, kBound)) << "the first agent's channel";
             return std::shared_ptr<void>(first.get(), [first](void*) { EXPECT_EQ(first->PressCtrlC(), 0); });
         }},
        {"a desktop server first", "/Out " + file, 3, held,
         [] {
             WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "CaptureDebugOutput", "1");
             auto server = std::make_shared<test::ServerProcess>();
             EXPECT_TRUE(test::WaitUntil([] { return ChannelOpen(""); }, kBound)) << "the server's channel";
             return std::static_pointer_cast<void>(server);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::shared_ptr<void> first = row.first ? row.first() : nullptr;
        test::ChildProcess agent(AgentCommand(row.arguments), dir.PathOf("agent.txt"));
        EXPECT_EQ(agent.WaitForExit(60000), row.code);
        EXPECT_EQ(test::ReadWholeFile(dir.PathOf("agent.txt")), row.line);
        EXPECT_FALSE(test::FileExists(dir.PathOf("second.txt")));
    }
}

// The console's close and the other events through the handler's seam, in
// this process: Ctrl+C is pressed for real above, the others cannot be.
TEST(AgentConsoleTest, EveryEventStopsTheRunAndEndsTheProcessWithItsCodeOnceItEnded) {
    for (const DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
        SCOPED_TRACE(event);
        int ended = -1;
        TAgentConsole console([&](int code) { ended = code; });
        BOOL answer = FALSE;
        std::thread system([&] { answer = TConsoleControl::HandleEvent(event); });
        EXPECT_EQ(WaitForSingleObject(console.Stop(), 30000), WAIT_OBJECT_0) << "the run's stop";
        EXPECT_EQ(ended, -1) << "the process ended before the run";
        console.Ended(static_cast<int>(event) + 7);
        system.join();
        EXPECT_EQ(answer, TRUE);
        EXPECT_EQ(ended, static_cast<int>(event) + 7);
    }
}

TEST(AgentConsoleTest, ARunThatDoesNotEndInTimeIsLeftToTheSystemsEnd) {
    int ended = -1;
    TAgentConsole console([&](int code) { ended = code; });
    EXPECT_EQ(TConsoleControl::HandleEvent(CTRL_CLOSE_EVENT), FALSE);
    EXPECT_EQ(WaitForSingleObject(console.Stop(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(ended, -1);
}

}  // namespace
}  // namespace norvale
