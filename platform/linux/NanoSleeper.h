// The pause of the waiting loop on Linux: nanosleep. A signal ends the pause early, so the loop around it
// hears a stop sooner.
#pragma once

#include "platform/Sleeper.h"

namespace vask {

class NanoSleeper : public Sleeper {
  public:
    void SleepMilliseconds(int milliseconds) override;
};

}  // namespace vask
