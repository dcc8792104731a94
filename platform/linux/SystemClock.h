// The clock port on the system clocks.
#pragma once

#include "platform/Clock.h"

namespace vask {

class SystemClock : public Clock {
  public:
    std::int64_t NowSeconds() override;
    int LocalSecondOfMinute(std::int64_t seconds) override;
    LocalTime ToLocalTime(std::int64_t seconds) override;
    std::int64_t MonotonicMilliseconds() override;
};

}  // namespace vask
