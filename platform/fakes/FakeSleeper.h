// A pause for tests: returns at once, counts the pauses and their total, and can run a hook in each (the
// moment a test presses the sign or sends a signal "during the wait").
#pragma once

#include <functional>

#include "platform/Sleeper.h"

namespace vask {

class FakeSleeper : public Sleeper {
  public:
    void SleepMilliseconds(int milliseconds) override {
        ++sleeps;
        totalMs += milliseconds;
        if (onSleep) onSleep();
    }

    int sleeps = 0;
    long long totalMs = 0;
    std::function<void()> onSleep;
};

}  // namespace vask
