// The agent's program: in a console, its switches, its settings, then the
// run until a console control event ends it; or the service's install,
// uninstall and run.

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "app/agent_console.h"
#include "app/agent_process.h"
#include "app/agent_service_win32.h"
#include "app/agent_settings.h"
#include "app/command_line.h"

namespace norvale {
namespace {

void TellStandardError(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

std::string ProgramData() {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return "C:\\ProgramData";
    }
    return path;
}

int Run() {
    AgentSwitches switches;
    try {
        switches = ParseAgentSwitches(CommandLineArguments());
    } catch (const EAgentSettings& failure) {
        TellStandardError(AgentRefusalOf(kAgentCannotStart, failure.what()).line);
        return kAgentCannotStart;
    }
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const AgentPlace place = AgentPlaceOf(switches, AgentDefaultFile(ProgramData()));
    switch (switches.action) {
        case AgentAction::Install:
            return InstallAgentService(program, switches.account, IsAdministrator(), TellStandardError);
        case AgentAction::Uninstall: return UninstallAgentService(IsAdministrator(), TellStandardError);
        case AgentAction::Service: return ServeAgent(place);
        case AgentAction::Run: break;
    }
    TAgentConsole console;
    return console.Ended(RunAgent(place, console.Stop(), {TellStandardError}));
}

}  // namespace
}  // namespace norvale

int main() {
    try {
        return norvale::Run();
    } catch (const std::exception& failure) {
        norvale::TellStandardError(norvale::AgentRefusalOf(norvale::kAgentFailed, failure.what()).line);
        return norvale::kAgentFailed;
    }
}
