#pragma once

// What the agent is told, decided in plain code: the switches of one run,
// over the agent's own keys below HKEY_LOCAL_MACHINE (the values of the
// user's `Output` and `Options` keys, under the same names), over the
// agent's defaults; and what it answers when it cannot work.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_status.h"
#include "common/errors.h"
#include "config/options_settings.h"
#include "output/output_settings.h"

namespace norvale {

inline constexpr const char* kAgentKey = "SOFTWARE\\brantwick\\Norvale\\Agent";
inline constexpr const char* kAgentOutputKey = "SOFTWARE\\brantwick\\Norvale\\Agent\\Output";
inline constexpr const char* kAgentOptionsKey = "SOFTWARE\\brantwick\\Norvale\\Agent\\Options";

// Settings that do not parse: the switches, or an address the agent would
// forward to or listen on.
class EAgentSettings : public ENorvaleError {
public:
    using ENorvaleError::ENorvaleError;
};

// What one start of the program does: run the agent in its console, or as
// the service control manager starts it, or install or uninstall the service.
enum class AgentAction { Run, Service, Install, Uninstall };

struct AgentSwitches {
    std::optional<std::string> out;      // /Out FILE
    std::optional<std::string> forward;  // /Forward ADDRESS
    bool global = false;                 // /Global
    AgentAction action = AgentAction::Run;  // /Service, /InstallAgent, /UninstallAgent
    std::optional<std::string> account;  // /Account NAME, with /InstallAgent
};

// A switch starts with '/' or '-', its name in any letter case, its value
// the next argument. Raises `EAgentSettings` naming a switch that is
// unknown, lacks its value or comes twice, a second action, and /Account
// without /InstallAgent.
AgentSwitches ParseAgentSwitches(const std::vector<std::string>& arguments);

// The file the agent writes when neither a switch nor its key names one:
// below the machine's program data, which a service's account may write.
std::string AgentDefaultFile(std::string_view programData);

// Where the agent's settings are read, with the run's switches put over them.
struct AgentPlace {
    SettingsLocation output;
    OptionsLocation options;
};
AgentPlace AgentPlaceOf(const AgentSwitches& switches, const std::string& defaultFile,
                        RegKey root = RegLocalMachine());

enum AgentExit : int {
    kAgentEnded = 0,
    kAgentFailed = 1,
    // Settings that do not parse, or nothing to do.
    kAgentCannotStart = 2,
    kAgentChannelHeld = 3,
};

// Why the agent ends at once: its exit code and the one line it writes on
// standard error.
struct AgentRefusal {
    int code = kAgentFailed;
    std::string line;

    bool operator==(const AgentRefusal&) const = default;
};
AgentRefusal AgentRefusalOf(int code, std::string_view reason);

// No output on, or an address that does not parse; nothing when the agent
// can start.
std::optional<AgentRefusal> AgentSettingsRefusal(const OutputSettings& output, const OptionsSettings& options);

// Once every channel the agent asked for has answered (`AgentChannelsAnswered`):
// another reader holding one, or the platform refusing it.
bool AgentChannelsAnswered(const CaptureStatus& status, bool global);
std::optional<AgentRefusal> AgentCaptureRefusal(const CaptureStatus& status);

}  // namespace norvale
