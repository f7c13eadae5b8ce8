#pragma once

#include <cstdint>
#include <string_view>

namespace norvale {

// A short English name for a wait result, exception or status code: an exact
// lookup on all 32 bits, "Unknown Exception" for anything not in the table.
std::string_view ExceptionCodeName(uint32_t code);

}  // namespace norvale
