#pragma once

#include <string>
#include <vector>

namespace norvale {

// The program's arguments after its own name, split by the platform's rules
// and in the system's 8-bit code page.
std::vector<std::string> CommandLineArguments();

}  // namespace norvale
