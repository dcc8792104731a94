// The archiver's process-wide busy flag: an flock'ed file, "unlha32-<uid>.lock" in $XDG_RUNTIME_DIR, else in
// $TMPDIR, else in /tmp.
#pragma once

#include <string>

#include "platform/Status.h"

namespace vask::lha {

std::string LockFilePath();

// Holds the lock while it lives.
class OperationLock {
  public:
    OperationLock() = default;
    OperationLock(const OperationLock&) = delete;
    OperationLock& operator=(const OperationLock&) = delete;
    ~OperationLock();
    // Takes the lock without waiting; Status::busy() when another open file (another process) holds it.
    Status TryAcquire(const std::string& path);

  private:
    int fd_ = -1;
};

// True when another holder has the lock at path right now.
bool LockIsHeld(const std::string& path);

}  // namespace vask::lha
