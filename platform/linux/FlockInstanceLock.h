// The single-instance lock on Linux: an flock'ed lock file, held by an open descriptor for the life of the
// process (the kernel drops the lock when the process ends, however it ends, so a lock left by a killed
// copy never blocks). The descriptor is close-on-exec: programs Vask starts do not keep the lock.
//
// Places, in order: $XDG_RUNTIME_DIR/Vask.lock when the variable is an absolute path, then
// <temporary folder>/Vask-<uid>.lock ($TMPDIR when absolute, else /tmp). Every usable place is locked, so a
// start whose environment lacks XDG_RUNTIME_DIR (cron) still meets a copy started in the desktop session
// in the temporary folder. A file is used only when it is a regular file owned by this user and reached
// without a symbolic link; it is opened without blocking (a FIFO put there cannot hang the start).
//
// Acquire: AlreadyRunning as soon as one place is locked by another process; Acquired when at least one
// place was locked and none was busy; Unavailable when no place could be used at all.
#pragma once

#include <string>
#include <vector>

#include "platform/Environment.h"
#include "platform/InstanceLock.h"

namespace vask {

class FlockInstanceLock : public InstanceLock {
  public:
    explicit FlockInstanceLock(Environment& environment);
    ~FlockInstanceLock() override;
    FlockInstanceLock(const FlockInstanceLock&) = delete;
    FlockInstanceLock& operator=(const FlockInstanceLock&) = delete;

    InstanceLockResult Acquire() override;
    std::string FailureText() const override;

    // The lock files tried, in order (tests).
    std::vector<std::string> Candidates() const;

  private:
    void ReleaseAll();

    Environment& environment_;
    std::vector<int> descriptors_;
    std::vector<std::string> failures_;
};

}  // namespace vask
