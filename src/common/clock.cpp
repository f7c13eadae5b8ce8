#include "common/clock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <ctime>
#endif

#include <string>

#include "common/errors.h"

namespace norvale {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;

// The platform's conversion of a whole second.
LocalDateTime LocalTimeOfSecond(uint64_t utcTicks);

}  // namespace

// Entries come many to a second, and the platform's conversion takes the
// time zone's lock, which threads converting at once wait on: once a second
// and thread is enough, as local time moves from UTC only on a whole second.
LocalDateTime LocalTimeOfFileTime(uint64_t utcTicks) {
    thread_local uint64_t cachedSecond = UINT64_MAX;
    thread_local LocalDateTime cached{};
    const uint64_t second = utcTicks / kTicksPerSecond;
    if (second != cachedSecond) {
        cached = LocalTimeOfSecond(second * kTicksPerSecond);
        cachedSecond = second;
    }
    LocalDateTime local = cached;
    local.time.millisecond = static_cast<uint16_t>(utcTicks / 10000 % 1000);
    return local;
}

#ifdef _WIN32
LocalDateTime LocalNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalDateTime{now.wYear, now.wMonth, now.wDay,
                         TimeOfDay{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds}};
}

namespace {

LocalDateTime LocalTimeOfSecond(uint64_t utcTicks) {
    const FILETIME file{static_cast<DWORD>(utcTicks), static_cast<DWORD>(utcTicks >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&file, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        throw ENorvaleError("The time " + std::to_string(utcTicks) + " cannot be made local time");
    }
    return LocalDateTime{local.wYear, local.wMonth, local.wDay,
                         TimeOfDay{local.wHour, local.wMinute, local.wSecond, local.wMilliseconds}};
}

}  // namespace

int UtcOffsetMinutes(const LocalDateTime& time) {
    SYSTEMTIME local{time.year, time.month, 0, time.day, time.time.hour, time.time.minute, time.time.second, 0};
    SYSTEMTIME utc{};
    FILETIME localFile{};
    FILETIME utcFile{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&local, &localFile) ||
        !SystemTimeToFileTime(&utc, &utcFile)) {
        return 0;
    }
    const auto ticks = [](const FILETIME& f) {
        return static_cast<int64_t>((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
    };
    // File times count 100 ns.
    return static_cast<int>((ticks(localFile) - ticks(utcFile)) / 600000000);
}
#else
namespace {

LocalDateTime LocalTimeOfSecond(uint64_t utcTicks) {
    // Seconds from 1601-01-01 to 1970-01-01.
    constexpr int64_t kUnixEpoch = 11644473600;
    const std::time_t seconds = static_cast<std::time_t>(utcTicks / kTicksPerSecond) - kUnixEpoch;
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        throw ENorvaleError("The time " + std::to_string(utcTicks) + " cannot be made local time");
    }
    return LocalDateTime{static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
                         static_cast<uint16_t>(local.tm_mday),
                         TimeOfDay{static_cast<uint16_t>(local.tm_hour), static_cast<uint16_t>(local.tm_min),
                                   static_cast<uint16_t>(local.tm_sec), 0}};
}

}  // namespace

int UtcOffsetMinutes(const LocalDateTime& time) {
    std::tm local{};
    local.tm_year = time.year - 1900;
    local.tm_mon = time.month - 1;
    local.tm_mday = time.day;
    local.tm_hour = time.time.hour;
    local.tm_min = time.time.minute;
    local.tm_sec = time.time.second;
    local.tm_isdst = -1;
    if (std::mktime(&local) == -1) return 0;
    return static_cast<int>(local.tm_gmtoff / 60);
}

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
