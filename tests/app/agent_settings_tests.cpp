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
const std::string kUsage =
    " (switches: /Out FILE, /Forward ADDRESS, /Global; /InstallAgent [/Account NAME], /UninstallAgent)";

std::string Parsed(const Arguments& arguments) {
    try {
        const AgentSwitches s = ParseAgentSwitches(arguments);
        static const char* const kActions[] = {"", " service", " install", " uninstall"};
        return s.out.value_or("-") + " " + s.forward.value_or("-") + (s.global ? " global" : "") +
               kActions[static_cast<int>(s.action)] + (s.account ? " as " + *s.account : "");
    } catch (const EAgentSettings& failure) {
        return failure.what();
    }
}

TEST(AgentSettingsTest, SwitchesInAnyCaseAndEveryMistakeNamed) {
    const std::pair<Arguments, std::string> rows[] = {
        {{}, "- -"},
        {{"/Out", "C:\\ci\\d.txt"}, "C:\\ci\\d.txt -"},
        {{"-out", "d.txt", "/GLOBAL"}, "d.txt - global"},
        {{"/Global", "/Forward", "udp://h", "/Out", "-x.txt"}, "-x.txt udp://h global"},
        {{"/Outfile", "d.txt"}, "unknown switch /Outfile" + kUsage},
        {{"d.txt"}, "unexpected argument d.txt" + kUsage},
        {{"/"}, "unexpected argument /" + kUsage},
        {{"/Out"}, "/Out needs a file name"},
        {{"/Out", ""}, "/Out needs a file name"},
        {{"/Out", "/Global"}, "/Out needs a file name"},
        {{"-forward"}, "-forward needs a syslog address"},
        {{"/Out", "a", "/out", "b"}, "/out is given twice"},
        {{"/Forward", "a", "/Forward", "b"}, "/Forward is given twice"},
        {{"/Global", "-Global"}, "-Global is given twice"},
        {{"/Service"}, "- - service"},
        {{"/installagent", "/Account", "NT AUTHORITY\\NetworkService"}, "- - install as NT AUTHORITY\\NetworkService"},
        {{"-UninstallAgent"}, "- - uninstall"},
        {{"/InstallAgent", "/Account"}, "/Account needs an account name"},
        {{"/Account", "x"}, "/Account goes only with /InstallAgent"},
        {{"/InstallAgent", "/UninstallAgent"}, "/UninstallAgent cannot go with /InstallAgent"},
        {{"/Service", "-service"}, "-service is given twice"},
    };
    for (const auto& [arguments, expected] : rows) {
        EXPECT_EQ(Parsed(arguments), expected) << testing::PrintToString(arguments);
    }
}

TEST(AgentSettingsTest, SwitchOverKeyOverDefaultsAndTheDefaultFileBelowProgramData) {
    EXPECT_EQ(AgentDefaultFile("C:\\ProgramData"), "C:\\ProgramData\\Norvale\\Agent\\agent.txt");
    EXPECT_EQ(AgentDefaultFile("D:\\"), "D:\\Norvale\\Agent\\agent.txt");
    using Values = std::vector<std::pair<std::string, std::string>>;
    // What is read: file, forwarding, global capture.
    const std::string kFrom = "udp://127.0.0.1:514";
    const Values kKeyOutput{{"ToFile", "0"}, {"Filename", "k.txt"}};
    const Values kKeyOptions{{"ToSyslog", "1"}, {"SyslogServer", "tcp://k"}, {"CaptureGlobal", "1"}};
    const Arguments kSwitches{"/Out", "s.txt", "/Forward", "udp://s", "/Global"};
    const std::tuple<Values, Values, Arguments, std::string> rows[] = {
        {{}, {}, {}, "0 C:\\a.txt, 0 " + kFrom + ", 0"},
        {{{"ToFile", "1"}}, {}, {}, "1 C:\\a.txt, 0 " + kFrom + ", 0"},
        {kKeyOutput, kKeyOptions, {}, "0 k.txt, 1 tcp://k, 1"},
        {kKeyOutput, {{"ToSyslog", "0"}, {"CaptureGlobal", "0"}}, kSwitches, "1 s.txt, 1 udp://s, 1"},
        // The agent's defaults give way to its key; capture and the outputs
        // that need a desktop do not.
        {{{"IncludeDateTime", "0"}, {"ToMono", "1"}, {"ToCodeSite", "1"}, {"ToClients", "1"}},
         {{"CaptureDebugOutput", "0"}, {"ToWindow", "1"}}, {}, "0 C:\\a.txt, 0 " + kFrom + ", 0 no time"},
    };
    for (const auto& [output, options, arguments, expected] : rows) {
        for (const auto& [name, value] : output) WriteRegString(RegLocalMachine(), kAgentOutputKey, name, value);
        for (const auto& [name, value] : options) WriteRegString(RegLocalMachine(), kAgentOptionsKey, name, value);
        // The user's own keys reach no agent.
        WriteRegString(RegCurrentUser(), SettingsLocation::kOutputSettingsKey, "Filename", "user.txt");
        const AgentPlace place = AgentPlaceOf(ParseAgentSwitches(arguments), "C:\\a.txt");
        const OutputSettings o = ReadOutputSettings(place.output);
        const OptionsSettings p = ReadOptionsSettings(place.options);
        RegApiDeleteTree(RegLocalMachine(), kAgentKey);
        RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
        EXPECT_EQ(std::to_string(o.ToFile) + " " + o.Filename + ", " + std::to_string(p.ToSyslog) + " " +
                      p.SyslogServer + ", " + std::to_string(p.CaptureGlobal) + (o.IncludeDateTime ? "" : " no time"),
                  expected);
        EXPECT_TRUE(o.IncludeModule && o.IncludeProcess && !o.IncludeThread && p.CaptureDebugOutput) << expected;
        EXPECT_FALSE(o.ToMono || o.ToCodeSite || o.ToClients || p.ToWindow) << expected;
    }
}

TEST(AgentSettingsTest, NothingToDoAndAddressesThatDoNotParseAreRefusedWithTwo) {
    const std::string nothing = "nothing to do: no output is on (name one with /Out FILE or /Forward ADDRESS, or in "
                                "HKEY_LOCAL_MACHINE\\SOFTWARE\\brantwick\\Norvale\\Agent\\Output)";
    // File, console, forwarding to, listening on and from; the reason.
    const std::tuple<bool, bool, const char*, const char*, const char*, std::string> rows[] = {
        {false, false, nullptr, nullptr, nullptr, nothing},
        {false, false, nullptr, "udp://127.0.0.1:5514", "", nothing},
        {true, false, nullptr, nullptr, nullptr, ""},
        {false, true, nullptr, nullptr, nullptr, ""},
        {false, false, "tcp://h:1514", nullptr, nullptr, ""},
        {true, false, "ftp://h", nullptr, nullptr, ParseSyslogServer("ftp://h").problem},
        {true, false, nullptr, "udp://127.0.0.1:5514", "127.0.0.1", ""},
        {true, false, nullptr, "udp://:x", "", ParseListenAddress("udp://:x").problem},
        {true, false, nullptr, "udp://127.0.0.1:5514", "10.0.0.0/99", ParseSenderAllow("10.0.0.0/99").problem},
    };
    for (const auto& [file, console, forward, listen, allow, reason] : rows) {
        OutputSettings output;
        output.ToFile = file;
        output.ToConsole = console;
        OptionsSettings options;
        options.ToSyslog = forward != nullptr;
        options.SyslogServer = forward ? forward : "bad";
        options.ListenSyslog = listen != nullptr;
        options.ListenAddress = listen ? listen : "";
        options.ListenAllow = allow ? allow : "";
        const auto refusal = AgentSettingsRefusal(output, options);
        EXPECT_EQ(refusal, reason.empty() ? std::nullopt : std::optional(AgentRefusal{2, "norvale-agent: " + reason}))
            << file << console << (forward ? forward : "") << (listen ? listen : "") << (allow ? allow : "");
    }
}

TEST(AgentSettingsTest, CaptureIsAnsweredOnceEveryAskedChannelIsAndRefusedWhenHeld) {
    using S = ChannelState;
    // Session, global, global asked; answered; the refusal's code and line.
    const std::tuple<S, S, bool, bool, int, std::string> rows[] = {
        {S::Off, S::Off, false, false, 0, ""},
        {S::Capturing, S::Off, false, true, 0, ""},
        {S::Capturing, S::Off, true, false, 0, ""},
        {S::Off, S::Capturing, true, false, 0, ""},
        {S::Capturing, S::Capturing, true, true, 0, ""},
        {S::TakenByOther, S::Off, false, true, 3, "Debug output is being captured by another program"},
        {S::TakenByOther, S::Capturing, true, true, 3, "Debug output is being captured by another program"},
        {S::Capturing, S::TakenByOther, true, true, 3, "Global debug output is being captured by another program"},
        {S::Capturing, S::NotPermitted, true, true, 1,
         "Global debug output needs the privilege to create global objects"},
    };
    for (const auto& [session, global, asked, answered, code, line] : rows) {
        const CaptureStatus status{{session, 5}, {global, 0}, 0, 0};
        EXPECT_EQ(AgentChannelsAnswered(status, asked), answered) << line;
        const std::optional<AgentRefusal> refusal = AgentRefusal{code, "norvale-agent: " + line};
        EXPECT_EQ(AgentCaptureRefusal(status), line.empty() ? std::nullopt : refusal);
    }
}

}  // namespace
}  // namespace norvale
