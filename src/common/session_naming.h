#pragma once

#include <cstdint>
#include <string>

namespace norvale {

// Where a session's messages come from; set once when the session opens.
// Texts are 8-bit, in the system code page; empty when not given.
struct SessionNaming {
    std::string Project;
    std::string Module;
    std::string Class;
    std::string Machine;
    int32_t ProcessID = 0;
};

}  // namespace norvale
