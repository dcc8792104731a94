// The clock port: wall time for search reference times and file ages, and a cheap monotonic count for
// pacing the event pump and the status line.
#pragma once

#include <cstdint>

namespace vask {

class Clock {
  public:
    virtual ~Clock() = default;
    // Seconds since 1970-01-01 UTC.
    virtual std::int64_t NowSeconds() = 0;
    // Second of the minute (0..59) of the given time in local time.
    virtual int LocalSecondOfMinute(std::int64_t seconds) = 0;
    // Milliseconds on a monotonic clock with an arbitrary origin; must be cheap to call at every directory
    // entry.
    virtual std::int64_t MonotonicMilliseconds() = 0;
};

}  // namespace vask
