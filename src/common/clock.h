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
// A UTC time in 100 ns units since 1601-01-01 (a FILETIME) as local time,
// daylight saving as it was at that time where the platform knows it.
// Raises when the platform cannot convert it.
LocalDateTime LocalTimeOfFileTime(uint64_t utcTicks);
// Local time minus UTC at that local time, in minutes (daylight saving
// included); 0 where the platform cannot tell.
int UtcOffsetMinutes(const LocalDateTime& time);

}  // namespace norvale
