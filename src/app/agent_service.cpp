#include "app/agent_service.h"

namespace norvale {

namespace {

// The platform's values (winsvc.h, winerror.h), checked against it where it is.
constexpr uint32_t kStopped = 1, kStartPending = 2, kStopPending = 3, kRunning = 4;
constexpr uint32_t kAcceptStop = 1, kAcceptShutdown = 4;
constexpr uint32_t kServiceSpecificError = 1066;
// A start waits for the debug-output channels (10 s at most); a stop writes
// what waits, which the agent does within 2 s.
constexpr uint32_t kStartHintMs = 15000, kStopHintMs = 2000;

}  // namespace

AgentServiceInstall AgentServiceInstallOf(std::string_view programPath, const std::optional<std::string>& account) {
    AgentServiceInstall install;
    install.commandLine = "\"" + std::string(programPath) + "\" /Service";
    install.account = account.value_or(kLocalServiceAccount);
    install.description =
        "Captures debug output and writes it to the files and the syslog collector that the key "
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\brantwick\\Norvale\\Agent names, with no desktop.";
    return install;
}

ServiceStatusValues ServiceStatusOf(ServicePhase phase, int agentExit) {
    switch (phase) {
        case ServicePhase::Starting: return {kStartPending, 0, 0, 0, kStartHintMs};
        case ServicePhase::Running: return {kRunning, kAcceptStop | kAcceptShutdown, 0, 0, 0};
        case ServicePhase::Stopping: return {kStopPending, 0, 0, 0, kStopHintMs};
        case ServicePhase::Stopped: break;
    }
    if (agentExit == 0) return {kStopped, 0, 0, 0, 0};
    return {kStopped, 0, kServiceSpecificError, static_cast<uint32_t>(agentExit), 0};
}

}  // namespace norvale
