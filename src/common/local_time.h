#pragma once

#include <cstdint>

#include "common/clock.h"

namespace norvale {

// The local calendar date and time of day of one moment, to the millisecond.
struct LocalDateTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t day = 0;
    TimeOfDay time;
};

// Now, in local time.
LocalDateTime LocalNow();

}  // namespace norvale
