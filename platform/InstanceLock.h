// The single-instance port: one lock per user, held from the start of the process to its end, so that two
// copies of Vask never dispose of the same files at once. On Linux the adapter is an flock'ed lock file
// (platform/linux/FlockInstanceLock.h); tests use platform/fakes/FakeInstanceLock.h.
#pragma once

#include <string>

namespace vask {

enum class InstanceLockResult {
    Acquired,        // this process holds the lock until it ends
    AlreadyRunning,  // another process holds it: this one must not run
    Unavailable,     // no lock could be taken at all: this one must not run either
};

class InstanceLock {
  public:
    virtual ~InstanceLock() = default;
    // Takes the lock without waiting. The lock goes with the process: it is released when the process ends,
    // however it ends, and is never inherited by programs the process starts.
    virtual InstanceLockResult Acquire() = 0;
    // After Unavailable: what failed, as "path: errno text" for each place tried; else empty.
    virtual std::string FailureText() const = 0;
};

}  // namespace vask
