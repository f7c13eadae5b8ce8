#include "app/start_mode.h"

#include <algorithm>

#include "common/text.h"

namespace norvale {

namespace {

bool HasSwitch(const std::vector<std::string>& arguments, const char* name) {
    return std::any_of(arguments.begin(), arguments.end(), [name](const std::string& argument) {
        return argument.size() > 1 && (argument[0] == '-' || argument[0] == '/') &&
               AsciiLowerCase(argument.substr(1)) == AsciiLowerCase(name);
    });
}

}  // namespace

StartMode StartModeOf(const std::vector<std::string>& arguments) {
    if (HasSwitch(arguments, "AUTOMATION") || HasSwitch(arguments, "EMBEDDING")) return StartMode::Automation;
    if (HasSwitch(arguments, "REGSERVER")) return StartMode::Register;
    if (HasSwitch(arguments, "UNREGSERVER")) return StartMode::Unregister;
    return StartMode::Manual;
}

}  // namespace norvale
