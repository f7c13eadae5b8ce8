// The agent in a console: its switches, its settings, then the run until a
// console control event ends it.

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "app/agent_console.h"
#include "app/agent_process.h"
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
    TAgentConsole console;
    return console.Ended(RunAgent(AgentPlaceOf(switches, AgentDefaultFile(ProgramData())), console.Stop(),
                                  TellStandardError));
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
