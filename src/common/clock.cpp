#include "common/clock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <ctime>
#endif

namespace norvale {

#ifdef _WIN32
TimeOfDay LocalTimeOfDay() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return TimeOfDay{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}
#else
TimeOfDay LocalTimeOfDay() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return TimeOfDay{static_cast<uint16_t>(local.tm_hour), static_cast<uint16_t>(local.tm_min),
                     static_cast<uint16_t>(local.tm_sec), static_cast<uint16_t>(millis)};
}
#endif

}  // namespace norvale
