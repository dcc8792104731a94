// Batches of file-system calls handed to the kernel in one go through io_uring, where the kernel allows it:
// the lstat of the files a search tests in one folder.
//
// Each thread gets its own ring on first use. Where io_uring is missing or refused (an old kernel, a
// sandbox, kernel.io_uring_disabled) or switched off (SetKernelBatching(false), or VASK_IO_URING=0 in the
// environment), ForThisThread returns null and callers make the plain calls; the results are the same.
#pragma once

#include <span>

#include "platform/FileSystem.h"

namespace vask {

class WriteAccessShortcut;

class KernelBatch {
  public:
    // The calling thread's batch, or null when batching is off or unavailable.
    static KernelBatch* ForThisThread();

    // lstat (statx without following a link) of every check's name in folder, in one submission per
    // chunk; fills status or error, and sets writable where shortcut (may be null) grants write access to a
    // regular file, clearing it elsewhere. False when the ring failed: the caller then makes the plain calls
    // for every check, and this thread's ring is not used again.
    virtual bool StatEntries(int folder, std::span<FileCheck> checks,
                             const WriteAccessShortcut* shortcut) = 0;

    virtual ~KernelBatch() = default;

  protected:
    KernelBatch() = default;
};

// Whether io_uring is used from now on; on by default where the kernel offers it. For tests and benchmarks
// of the plain path.
void SetKernelBatching(bool enabled);
// True when io_uring works in this process (a ring could be set up).
bool KernelBatchingAvailable();

}  // namespace vask
