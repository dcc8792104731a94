// A single-instance lock for tests: answers what it was told and counts the attempts.
#pragma once

#include <string>

#include "platform/InstanceLock.h"

namespace vask {

class FakeInstanceLock : public InstanceLock {
  public:
    InstanceLockResult Acquire() override {
        ++attempts;
        return result;
    }
    std::string FailureText() const override {
        return result == InstanceLockResult::Unavailable ? failureText : std::string();
    }

    InstanceLockResult result = InstanceLockResult::Acquired;
    std::string failureText = "/run/user/1000/Vask.lock: Permission denied";
    int attempts = 0;
};

}  // namespace vask
