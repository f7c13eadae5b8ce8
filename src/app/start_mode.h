#pragma once

#include <string>
#include <vector>

namespace norvale {

enum class StartMode {
    Automation,  // started by the platform for a client; ends with the last client
    Register,
    Unregister,
    Manual,  // started by the user; runs until closed
};

// An argument counts when it is "-" or "/" followed by the switch name in any
// letter case; the automation switches win over register, register over
// unregister.
StartMode StartModeOf(const std::vector<std::string>& arguments);

}  // namespace norvale
