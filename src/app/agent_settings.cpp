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

constexpr const char* kUsage =
    "(switches: /Out FILE, /Forward ADDRESS, /Global; /InstallAgent [/Account NAME], /UninstallAgent)";

struct SwitchKind {
    std::string_view name;
    // What a value-taking switch says when its value is left out.
    const char* needs;
    AgentAction action;
};
constexpr std::array<SwitchKind, 7> kSwitches{{
    {"out", "a file name", AgentAction::Run},
    {"forward", "a syslog address", AgentAction::Run},
    {"account", "an account name", AgentAction::Run},
    {"global", nullptr, AgentAction::Run},
    {"service", nullptr, AgentAction::Service},
    {"installagent", nullptr, AgentAction::Install},
    {"uninstallagent", nullptr, AgentAction::Uninstall},
}};

// The switch's name in lower case, or nothing for an argument that is none.
std::optional<std::string> SwitchName(const std::string& argument) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return std::nullopt;
    return AsciiLowerCase(argument.substr(1));
}

const SwitchKind* KindOf(const std::string& argument) {
    const std::optional<std::string> name = SwitchName(argument);
    if (!name) return nullptr;
    const auto kind = std::find_if(kSwitches.begin(), kSwitches.end(), [&](const SwitchKind& k) { return k.name == *name; });
    return kind == kSwitches.end() ? nullptr : &*kind;
}

}  // namespace

AgentSwitches ParseAgentSwitches(const std::vector<std::string>& arguments) {
    AgentSwitches switches;
    std::string action;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!SwitchName(argument)) throw EAgentSettings("unexpected argument " + argument + " " + kUsage);
        const SwitchKind* kind = KindOf(argument);
        if (kind == nullptr) throw EAgentSettings("unknown switch " + argument + " " + kUsage);
        const auto twice = [&] { throw EAgentSettings(argument + " is given twice"); };
        if (kind->action != AgentAction::Run) {
            if (!action.empty() && switches.action == kind->action) twice();
            if (!action.empty()) throw EAgentSettings(argument + " cannot go with " + action);
            action = argument;
            switches.action = kind->action;
            continue;
        }
        if (kind->needs == nullptr) {
            if (switches.global) twice();
            switches.global = true;
            continue;
        }
        // A value is what follows, unless that is a switch itself: the value
        // was left out.
        if (i + 1 == arguments.size() || arguments[i + 1].empty() || KindOf(arguments[i + 1]) != nullptr) {
            throw EAgentSettings(argument + " needs " + kind->needs);
        }
        std::optional<std::string>& value =
            kind->name == "out" ? switches.out : kind->name == "forward" ? switches.forward : switches.account;
        if (value) twice();
        value = arguments[++i];
    }
    if (switches.account && switches.action != AgentAction::Install)
        throw EAgentSettings("/Account goes only with /InstallAgent");
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
