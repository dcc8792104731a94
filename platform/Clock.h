// The clock port: wall time for search reference times and file ages, and a cheap monotonic count for
// pacing the event pump and the status line.
#pragma once

#include <cstdint>

namespace vask {

// A moment as the local calendar shows it: year (four digits), month 1..12, day 1..31, hour 0..23, minute
// and second 0..59.
struct LocalTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

class Clock {
  public:
    virtual ~Clock() = default;
    // Seconds since 1970-01-01 UTC.
    virtual std::int64_t NowSeconds() = 0;
    // Second of the minute (0..59) of the given time in local time.
    virtual int LocalSecondOfMinute(std::int64_t seconds) = 0;
    // The given time (seconds since 1970-01-01 UTC) in the local time zone, daylight saving included.
    virtual LocalTime ToLocalTime(std::int64_t seconds) = 0;
    // Milliseconds on a monotonic clock with an arbitrary origin; must be cheap to call at every directory
    // entry.
    virtual std::int64_t MonotonicMilliseconds() = 0;
};

}  // namespace vask
