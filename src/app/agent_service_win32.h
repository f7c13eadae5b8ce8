#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/agent_settings.h"

namespace norvale {

using AgentTell = std::function<void(const std::string&)>;

// Whether this process runs with an administrator's rights, which the
// service control manager and the machine's keys ask for.
bool IsAdministrator();

// Registers the service "Norvale Agent" with its description, its recovery,
// its key and its event source; uninstalling stops it (bounded) and removes
// them. Without an administrator (`administrator` false) each says so and
// changes nothing. Each tells one line of what it did or why it failed; the
// exit code.
int InstallAgentService(const std::string& programPath, const std::optional<std::string>& account, bool administrator,
                        const AgentTell& tell);
int UninstallAgentService(bool administrator, const AgentTell& tell);

// The agent as the service control manager starts it, until it is stopped;
// its start, stop and failures go to the event log, never to a box. The exit
// code; 2 when no service control manager started it.
int ServeAgent(const AgentPlace& place);

}  // namespace norvale
