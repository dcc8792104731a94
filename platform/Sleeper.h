// The pause of the unattended run's waiting loop, as a port so tests need not wait.
#pragma once

namespace vask {

class Sleeper {
  public:
    virtual ~Sleeper() = default;
    // Returns after about milliseconds; nothing is dispatched meanwhile.
    virtual void SleepMilliseconds(int milliseconds) = 0;
};

}  // namespace vask
