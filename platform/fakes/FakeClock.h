// A clock that moves only when told to, for tests.
#pragma once

#include "platform/Clock.h"

namespace vask {

class FakeClock : public Clock {
  public:
    std::int64_t NowSeconds() override { return nowSeconds; }
    int LocalSecondOfMinute(std::int64_t seconds) override {
        return static_cast<int>(((seconds + utcOffsetSeconds) % 60 + 60) % 60);
    }
    // Local time is UTC shifted by utcOffsetSeconds (no daylight saving).
    LocalTime ToLocalTime(std::int64_t seconds) override {
        const std::int64_t local = seconds + utcOffsetSeconds;
        const std::int64_t secondOfDay = ((local % 86400) + 86400) % 86400;
        // Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil_from_days).
        const std::int64_t z = (local - secondOfDay) / 86400 + 719468;
        const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        const std::int64_t doe = z - era * 146097;
        const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const std::int64_t mp = (5 * doy + 2) / 153;
        const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
        const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
        const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
        return LocalTime{static_cast<int>(year),
                         static_cast<int>(month),
                         static_cast<int>(day),
                         static_cast<int>(secondOfDay / 3600),
                         static_cast<int>(secondOfDay / 60 % 60),
                         static_cast<int>(secondOfDay % 60)};
    }
    // Each reading advances the monotonic clock by stepMs, so a walk sees time pass at every entry.
    std::int64_t MonotonicMilliseconds() override {
        monotonicMs += stepMs;
        return monotonicMs;
    }

    std::int64_t nowSeconds = 1700000000;
    std::int64_t utcOffsetSeconds = 9 * 3600;
    std::int64_t monotonicMs = 0;
    std::int64_t stepMs = 0;
};

}  // namespace vask
