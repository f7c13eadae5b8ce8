#include "common/clock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <ctime>
#endif

namespace norvale {

#ifdef _WIN32
LocalDateTime LocalNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalDateTime{now.wYear, now.wMonth, now.wDay,
                         TimeOfDay{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds}};
}
#else
LocalDateTime LocalNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    // The calendar conversion takes a lock and the time zone; once a second is enough.
    thread_local std::time_t cachedSeconds = -1;
    thread_local std::tm local{};
    if (seconds != cachedSeconds) {
        localtime_r(&seconds, &local);
        cachedSeconds = seconds;
    }
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return LocalDateTime{static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
                         static_cast<uint16_t>(local.tm_mday),
                         TimeOfDay{static_cast<uint16_t>(local.tm_hour), static_cast<uint16_t>(local.tm_min),
                                   static_cast<uint16_t>(local.tm_sec), static_cast<uint16_t>(millis)}};
}
#endif

TimeOfDay LocalTimeOfDay() { return LocalNow().time; }

}  // namespace norvale
