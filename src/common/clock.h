#pragma once

#include <cstdint>

namespace norvale {

struct TimeOfDay {
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t millisecond = 0;
};

// The local time of day, to the millisecond.
TimeOfDay LocalTimeOfDay();

}  // namespace norvale
