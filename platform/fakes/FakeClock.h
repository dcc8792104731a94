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
