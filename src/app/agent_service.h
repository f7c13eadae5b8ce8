#pragma once

// The agent as a Windows service, decided in plain code: how it is
// installed, what it reports to the service control manager in each phase,
// and the lines it writes to the event log. The Win32 side applies them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvale {

inline constexpr const wchar_t* kAgentServiceName = L"NorvaleAgent";
inline constexpr const wchar_t* kAgentServiceDisplayName = L"Norvale Agent";
// Also the event log's source.
inline constexpr const char* kAgentEventSource = "Norvale Agent";
inline constexpr const char* kAgentEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Norvale Agent";
inline constexpr const char* kLocalServiceAccount = "NT AUTHORITY\\LocalService";
// Install and uninstall without an administrator's rights.
inline constexpr int kAgentNotAdministrator = 5;

struct AgentServiceInstall {
    std::string commandLine;
    std::string account;
    std::string description;
    // Recovery: restart this long after a failure; the count of failures
    // starts again after a day without one.
    uint32_t restartDelayMs = 60000;
    uint32_t failureResetSeconds = 86400;
};
// The program's path quoted, so that a folder with spaces ("C:\Program
// Files") cannot start another program, then the switch the service
// control manager starts it with.
AgentServiceInstall AgentServiceInstallOf(std::string_view programPath, const std::optional<std::string>& account);

enum class ServicePhase { Starting, Running, Stopping, Stopped };

// The values of one SERVICE_STATUS, without the platform's header.
struct ServiceStatusValues {
    uint32_t state = 0;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceExitCode = 0;
    uint32_t waitHintMs = 0;

    bool operator==(const ServiceStatusValues&) const = default;
};
// `agentExit`: the agent's exit code once stopped. One other than 0 is
// reported as the service's own code.
ServiceStatusValues ServiceStatusOf(ServicePhase phase, int agentExit = 0);

}  // namespace norvale
