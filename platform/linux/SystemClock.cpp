#include "platform/linux/SystemClock.h"

#include <time.h>

namespace vask {

std::int64_t SystemClock::NowSeconds() {
    return static_cast<std::int64_t>(::time(nullptr));
}

int SystemClock::LocalSecondOfMinute(std::int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local;
    if (::localtime_r(&t, &local) == nullptr) return static_cast<int>(((seconds % 60) + 60) % 60);
    return local.tm_sec;
}

LocalTime SystemClock::ToLocalTime(std::int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local;
    // localtime_r fails only for years beyond int; UTC is then the best remaining answer.
    if (::localtime_r(&t, &local) == nullptr && ::gmtime_r(&t, &local) == nullptr) return LocalTime{};
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::int64_t SystemClock::MonotonicMilliseconds() {
    // CLOCK_MONOTONIC_COARSE is read from the vDSO without a system call; its tick of a few milliseconds
    // is plenty for a 20 ms pump interval.
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace vask
