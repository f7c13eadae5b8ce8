#include "app/agent_settings.h"

#include <algorithm>
#include <array>

#include "common/ansi_text.h"
#include "common/text.h"
#include "forward/syslog_address.h"
#include "receive/listen_address.h"
#include "receive/sender_allow.h"

namespace norvale {

namespace {

constexpr const char* kUsage = "(switches: /Out FILE, /Forward ADDRESS, /Global)";

// The switch's name in lower case, or nothing for an argument that is none.
std::optional<std::string> SwitchName(const std::string& argument) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return std::nullopt;
    return AsciiLowerCase(argument.substr(1));
}

bool IsKnownSwitch(const std::string& argument) {
    const std::optional<std::string> name = SwitchName(argument);
    constexpr std::array<std::string_view, 3> kNames{"out", "forward", "global"};
    return name && std::find(kNames.begin(), kNames.end(), *name) != kNames.end();
}

}  // namespace

AgentSwitches ParseAgentSwitches(const std::vector<std::string>& arguments) {
    AgentSwitches switches;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::optional<std::string> name = SwitchName(argument);
        if (!name) throw EAgentSettings("unexpected argument " + argument + " " + kUsage);
        if (!IsKnownSwitch(argument)) throw EAgentSettings("unknown switch " + argument + " " + kUsage);
        const auto twice = [&] { throw EAgentSettings(argument + " is given twice"); };
        if (*name == "global") {
            if (switches.global) twice();
            switches.global = true;
            continue;
        }
        // A value is what follows, unless that is a switch itself: the value
        // was left out.
        if (i + 1 == arguments.size() || arguments[i + 1].empty() || IsKnownSwitch(arguments[i + 1])) {
            throw EAgentSettings(argument + (*name == "out" ? " needs a file name" : " needs a syslog address"));
        }
        std::optional<std::string>& value = *name == "out" ? switches.out : switches.forward;
        if (value) twice();
        value = arguments[++i];
    }
    return switches;
}

std::string AgentDefaultFile(std::string_view programData) {
    std::string path(programData);
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path + "Norvale\\Agent\\agent.txt";
}

AgentPlace AgentPlaceOf(const AgentSwitches& switches, const std::string& defaultFile, RegKey root) {
    AgentPlace place{{root, kAgentOutputKey}, {root, kAgentOptionsKey}};
    // Who wrote a line and when: on a machine nobody watches, the line alone
    // has to tell.
    place.output.defaults.Filename = defaultFile;
    place.output.defaults.IncludeDateTime = true;
    place.output.defaults.IncludeModule = true;
    place.output.defaults.IncludeProcess = true;
    place.output.overrides = [out = switches.out](OutputSettings& settings) {
        // Outputs that need a desktop, or a client to read them.
        settings.ToClients = settings.ToMono = settings.ToCodeSite = false;
        if (out) {
            settings.ToFile = true;
            settings.Filename = *out;
        }
    };
    place.options.overrides = [switches](OptionsSettings& settings) {
        settings.ToWindow = false;
        settings.CaptureDebugOutput = true;
        settings.CaptureGlobal = settings.CaptureGlobal || switches.global;
        if (switches.forward) {
            settings.ToSyslog = true;
            settings.SyslogServer = *switches.forward;
        }
    };
    return place;
}

AgentRefusal AgentRefusalOf(int code, std::string_view reason) {
    return {code, "norvale-agent: " + std::string(reason)};
}

std::optional<AgentRefusal> AgentSettingsRefusal(const OutputSettings& output, const OptionsSettings& options) {
    if (!output.ToFile && !output.ToConsole && !options.ToSyslog) {
        return AgentRefusalOf(kAgentCannotStart,
                              "nothing to do: no output is on (name one with /Out FILE or /Forward ADDRESS, or in "
                              "HKEY_LOCAL_MACHINE\\" + std::string(kAgentOutputKey) + ")");
    }
    std::string problem;
    if (options.ToSyslog) problem = ParseSyslogServer(options.SyslogServer).problem;
    if (problem.empty() && options.ListenSyslog) problem = ParseListenAddress(options.ListenAddress).problem;
    if (problem.empty() && options.ListenSyslog) problem = ParseSenderAllow(options.ListenAllow).problem;
    if (!problem.empty()) return AgentRefusalOf(kAgentCannotStart, problem);
    return std::nullopt;
}

bool AgentChannelsAnswered(const CaptureStatus& status, bool global) {
    return status.session.state != ChannelState::Off && (!global || status.global.state != ChannelState::Off);
}

std::optional<AgentRefusal> AgentCaptureRefusal(const CaptureStatus& status) {
    const std::wstring problem = CaptureProblemText(status);
    if (problem.empty()) return std::nullopt;
    const bool held =
        status.session.state == ChannelState::TakenByOther || status.global.state == ChannelState::TakenByOther;
    return AgentRefusalOf(held ? kAgentChannelHeld : kAgentFailed, WideToAnsi(problem));
}

}  // namespace norvale
