#include "app/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "common/ansi_text.h"
#include "common/win32_resources.h"

namespace norvale {

std::vector<std::string> CommandLineArguments() {
    int count = 0;
    const UniqueLocalMemory wide(CommandLineToArgvW(GetCommandLineW(), &count));
    const auto* arguments = static_cast<LPWSTR*>(wide.get());
    std::vector<std::string> result;
    for (int i = 1; arguments != nullptr && i < count; ++i) result.push_back(WideToAnsi(arguments[i]));
    return result;
}

}  // namespace norvale
