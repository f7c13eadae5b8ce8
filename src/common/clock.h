#pragma once

#include <cstdint>

namespace norvale {

struct TimeOfDay {
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t millisecond = 0;
};

// The local calendar date and time of day of one moment, to the millisecond.
struct LocalDateTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t day = 0;
    TimeOfDay time;
};

// The local time of day, to the millisecond.
TimeOfDay LocalTimeOfDay();
// Now, in local time.
LocalDateTime LocalNow();
// Local time minus UTC at that local time, in minutes (daylight saving
// included); 0 where the platform cannot tell.
int UtcOffsetMinutes(const LocalDateTime& time);

}  // namespace norvale
