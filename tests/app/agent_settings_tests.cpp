// The agent's switches, its settings' precedence (on the in-memory store
// natively, the real registry under Wine) and its refusals.

#include <gtest/gtest.h>

#include "app/agent_settings.h"
#include "config/registry_values.h"
#include "forward/syslog_address.h"
#include "receive/listen_address.h"
#include "receive/sender_allow.h"

namespace norvale {
namespace {

using Arguments = std::vector<std::string>;

TEST(AgentSettingsTest, SwitchesInAnyCaseAndEveryMistakeNamed) {
    struct Row {
        Arguments arguments;
        std::optional<std::string> out, forward;
        bool global;
        std::string error;
    };
    const Row rows[] = {
        {{}, {}, {}, false, ""},
        {{"/Out", "C:\\ci\\debug.txt"}, "C:\\ci\\debug.txt", {}, false, ""},
        {{"-out", "d.txt", "/GLOBAL"}, "d.txt", {}, true, ""},
        {{"/Forward", "tcp://logs:514", "-global"}, {}, "tcp://logs:514", true, ""},
        {{"/Global", "/Forward", "udp://h", "/Out", "-x.txt"}, "-x.txt", "udp://h", true, ""},
        {{"/Outfile", "d.txt"}, {}, {}, false,
         "unknown switch /Outfile (switches: /Out FILE, /Forward ADDRESS, /Global)"},
        {{"d.txt"}, {}, {}, false, "unexpected argument d.txt (switches: /Out FILE, /Forward ADDRESS, /Global)"},
        {{"/"}, {}, {}, false, "unexpected argument / (switches: /Out FILE, /Forward ADDRESS, /Global)"},
        {{"/Out"}, {}, {}, false, "/Out needs a file name"},
        {{"/Out", ""}, {}, {}, false, "/Out needs a file name"},
        {{"/Out", "/Global"}, {}, {}, false, "/Out needs a file name"},
        {{"-forward"}, {}, {}, false, "-forward needs a syslog address"},
        {{"/Out", "a", "/out", "b"}, {}, {}, false, "/out is given twice"},
        {{"/Forward", "a", "/Forward", "b"}, {}, {}, false, "/Forward is given twice"},
        {{"/Global", "-Global"}, {}, {}, false, "-Global is given twice"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments));
        try {
            const AgentSwitches switches = ParseAgentSwitches(row.arguments);
            EXPECT_EQ(row.error, "");
            EXPECT_EQ(switches.out, row.out);
            EXPECT_EQ(switches.forward, row.forward);
            EXPECT_EQ(switches.global, row.global);
        } catch (const EAgentSettings& failure) {
            EXPECT_EQ(failure.what(), row.error);
        }
    }
}

TEST(AgentSettingsTest, SwitchOverKeyOverDefaultsAndTheDefaultFileBelowProgramData) {
    EXPECT_EQ(AgentDefaultFile("C:\\ProgramData"), "C:\\ProgramData\\Norvale\\Agent\\agent.txt");
    EXPECT_EQ(AgentDefaultFile("D:\\"), "D:\\Norvale\\Agent\\agent.txt");
    using Values = std::vector<std::pair<std::string, std::string>>;
    struct Row {
        const char* name;
        Values output, options;
        Arguments arguments;
        bool toFile;
        std::string filename;
        bool toSyslog;
        std::string syslogServer;
        bool global;
    };
    const std::string kDefault = "C:\\ProgramData\\Norvale\\Agent\\agent.txt";
    const Row rows[] = {
        {"nothing stored", {}, {}, {}, false, kDefault, false, kDefaultSyslogServer, false},
        {"the key's file", {{"ToFile", "1"}, {"Filename", "k.txt"}}, {}, {}, true, "k.txt", false,
         kDefaultSyslogServer, false},
        {"file on, none named", {{"ToFile", "1"}}, {}, {}, true, kDefault, false, kDefaultSyslogServer, false},
        {"/Out over the key", {{"ToFile", "0"}, {"Filename", "k.txt"}}, {}, {"/Out", "s.txt"}, true, "s.txt", false,
         kDefaultSyslogServer, false},
        {"the key's forwarding and global", {}, {{"ToSyslog", "1"}, {"SyslogServer", "tcp://k"}, {"CaptureGlobal", "1"}},
         {}, false, kDefault, true, "tcp://k", true},
        {"/Forward over the key", {}, {{"ToSyslog", "0"}, {"SyslogServer", "tcp://k"}}, {"/Forward", "udp://s"}, false,
         kDefault, true, "udp://s", false},
        {"/Global over the key", {}, {{"CaptureGlobal", "0"}}, {"/Global"}, false, kDefault, false,
         kDefaultSyslogServer, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto& [name, value] : row.output) WriteRegString(RegLocalMachine(), kAgentOutputKey, name, value);
        for (const auto& [name, value] : row.options) WriteRegString(RegLocalMachine(), kAgentOptionsKey, name, value);
        // What the user's own keys say reaches no agent.
        WriteRegString(RegCurrentUser(), SettingsLocation::kOutputSettingsKey, "Filename", "user.txt");
        const AgentPlace place = AgentPlaceOf(ParseAgentSwitches(row.arguments), kDefault);
        const OutputSettings output = ReadOutputSettings(place.output);
        const OptionsSettings options = ReadOptionsSettings(place.options);
        RegApiDeleteTree(RegLocalMachine(), kAgentKey);
        RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
        EXPECT_EQ(output.ToFile, row.toFile);
        EXPECT_EQ(output.Filename, row.filename);
        EXPECT_EQ(options.ToSyslog, row.toSyslog);
        EXPECT_EQ(options.SyslogServer, row.syslogServer);
        EXPECT_EQ(options.CaptureGlobal, row.global);
        // Always: the agent's own defaults, capture, and no output that needs a desktop.
        EXPECT_TRUE(output.IncludeDateTime && output.IncludeModule && output.IncludeProcess);
        EXPECT_FALSE(output.IncludeThread);
        EXPECT_TRUE(options.CaptureDebugOutput);
        EXPECT_FALSE(options.ToWindow || output.ToMono || output.ToCodeSite || output.ToClients);
    }
}

TEST(AgentSettingsTest, KeyValuesReachTheAgentAndDesktopOutputsStayOff) {
    for (const char* name : {"ToConsole", "ToMono", "ToCodeSite", "ToClients", "IncludeDateTime", "IncludeThread"}) {
        WriteRegString(RegLocalMachine(), kAgentOutputKey, name, name[0] == 'T' ? "1" : "0");
    }
    WriteRegString(RegLocalMachine(), kAgentOptionsKey, "ToWindow", "1");
    WriteRegString(RegLocalMachine(), kAgentOptionsKey, "CaptureDebugOutput", "0");
    const AgentPlace place = AgentPlaceOf({}, "a.txt");
    const OutputSettings output = ReadOutputSettings(place.output);
    const OptionsSettings options = ReadOptionsSettings(place.options);
    RegApiDeleteTree(RegLocalMachine(), kAgentKey);
    EXPECT_TRUE(output.ToConsole);
    EXPECT_FALSE(output.IncludeDateTime);
    EXPECT_FALSE(output.ToMono || output.ToCodeSite || output.ToClients || options.ToWindow);
    EXPECT_TRUE(options.CaptureDebugOutput);
}

TEST(AgentSettingsTest, RefusalsCarryTheirCodeAndOneLine) {
    struct Row {
        const char* name;
        bool toFile, toConsole, toSyslog;
        std::string syslogServer;
        bool listen;
        std::string listenAddress, listenAllow;
        std::optional<AgentRefusal> refusal;
    };
    const std::string kNothing =
        "norvale-agent: nothing to do: no output is on (name one with /Out FILE or /Forward ADDRESS, or in "
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\brantwick\\Norvale\\Agent\\Output)";
    const Row rows[] = {
        {"no output", false, false, false, "udp://h", false, "", "", AgentRefusal{2, kNothing}},
        {"receiving alone", false, false, false, "udp://h", true, "udp://127.0.0.1:5514", "", AgentRefusal{2, kNothing}},
        {"file", true, false, false, "bad", false, "", "", std::nullopt},
        {"console", false, true, false, "", false, "", "", std::nullopt},
        {"forwarding", false, false, true, "tcp://h:1514", false, "", "", std::nullopt},
        {"forwarding nowhere", true, false, true, "ftp://h", false, "", "",
         AgentRefusal{2, "norvale-agent: " + ParseSyslogServer("ftp://h").problem}},
        {"receiving", true, false, false, "", true, "udp://127.0.0.1:5514", "127.0.0.1", std::nullopt},
        {"receiving nowhere", true, false, false, "", true, "udp://:x", "",
         AgentRefusal{2, "norvale-agent: " + ParseListenAddress("udp://:x").problem}},
        {"receiving from no sender", true, false, false, "", true, "udp://127.0.0.1:5514", "10.0.0.0/99",
         AgentRefusal{2, "norvale-agent: " + ParseSenderAllow("10.0.0.0/99").problem}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OutputSettings output;
        output.ToFile = row.toFile;
        output.ToConsole = row.toConsole;
        OptionsSettings options;
        options.ToSyslog = row.toSyslog;
        options.SyslogServer = row.syslogServer;
        options.ListenSyslog = row.listen;
        options.ListenAddress = row.listenAddress;
        options.ListenAllow = row.listenAllow;
        EXPECT_EQ(AgentSettingsRefusal(output, options), row.refusal);
        if (row.refusal) {
            EXPECT_NE(row.refusal->line, "norvale-agent: ");
        }
    }
}

TEST(AgentSettingsTest, CaptureIsAnsweredOnceEveryAskedChannelIsAndRefusedWhenHeld) {
    using State = ChannelState;
    struct Row {
        State session, global;
        bool askedGlobal, answered;
        std::optional<AgentRefusal> refusal;
    };
    const AgentRefusal held{3, "norvale-agent: Debug output is being captured by another program"};
    const AgentRefusal globalHeld{3, "norvale-agent: Global debug output is being captured by another program"};
    const AgentRefusal notPermitted{1, "norvale-agent: Global debug output needs the privilege to create global objects"};
    const Row rows[] = {
        {State::Off, State::Off, false, false, std::nullopt},
        {State::Capturing, State::Off, false, true, std::nullopt},
        {State::Capturing, State::Off, true, false, std::nullopt},
        {State::Off, State::Capturing, true, false, std::nullopt},
        {State::Capturing, State::Capturing, true, true, std::nullopt},
        {State::TakenByOther, State::Off, false, true, held},
        {State::TakenByOther, State::Capturing, true, true, held},
        {State::Capturing, State::TakenByOther, true, true, globalHeld},
        {State::Capturing, State::NotPermitted, true, true, notPermitted},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(row.session) << " " << static_cast<int>(row.global));
        CaptureStatus status;
        status.session.state = row.session;
        status.global.state = row.global;
        EXPECT_EQ(AgentChannelsAnswered(status, row.askedGlobal), row.answered);
        EXPECT_EQ(AgentCaptureRefusal(status), row.refusal);
    }
    CaptureStatus failed;
    failed.session = {State::Failed, 5};
    ASSERT_TRUE(AgentCaptureRefusal(failed));
    EXPECT_EQ(AgentCaptureRefusal(failed)->code, 1);
    EXPECT_EQ(AgentCaptureRefusal(failed)->line.rfind("norvale-agent: Debug output cannot be captured: ", 0), 0u);
}

}  // namespace
}  // namespace norvale
