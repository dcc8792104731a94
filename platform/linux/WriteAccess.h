// The search's writability test without a system call per file where the file's own status settles it.
//
// The test is the kernel's access check for the effective ids (faccessat with AT_EACCESS): W_OK on a file,
// W_OK | X_OK on a folder. On a local file system whose permissions are the mode bits alone, that check
// grants write access to the file's owner exactly when the owner's write bit is set, unless the mount or the
// super block is read-only, the file is immutable, or a security module says otherwise. WriteAccessShortcut
// knows one mount's facts (taken once, from one open folder) and answers "granted" from a statx of an entry
// on that mount; every other answer means "ask the kernel". It never says "refused": what it cannot grant
// goes to faccessat, so the results are those of faccessat for every file.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/FileSystem.h"

namespace vask {

// What the search asks statx for: the status of a result, the mount and the attributes the shortcut needs.
inline constexpr unsigned kSearchStatxMask =
    STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_MNT_ID;

// The FileStatus of a statx result (the same device number fstat gives, so identities agree whichever call
// saw the file).
FileStatus FileStatusFromStatx(const struct statx& sx);

// The id of the mount statx saw the entry on, 0 when the kernel did not give one.
std::uint64_t MountIdOf(const struct statx& sx);

// False where a loaded security module may refuse an access the mode bits grant (SELinux, Smack, or any
// module not known to leave access checks alone); read once per process.
bool SecurityModulesLeaveAccessToModeBits();

class WriteAccessShortcut {
  public:
    // Takes the facts of the mount folderFd is on. The shortcut stays off (Grants is always false) on a
    // read-only mount, on a file system whose permissions are not the mode bits alone (network and FUSE file
    // systems, btrfs with its read-only subvolumes, overlays), under a security module that may refuse, and
    // when a fact cannot be read.
    explicit WriteAccessShortcut(int folderFd);
    // For tests: a shortcut for the given mount, device and effective user.
    WriteAccessShortcut(std::uint64_t mountId, std::uint64_t device, std::uint32_t effectiveUserId);

    bool Enabled() const { return enabled_; }
    // True when the kernel's check of accessBits (W_OK, or W_OK | X_OK) for the effective user must succeed
    // for the entry sx describes (asked with kSearchStatxMask): an entry of this mount and device owned by
    // that user, whose owner bits hold accessBits, not immutable, with no unmapped owner or group.
    bool Grants(const struct statx& sx, unsigned accessBits) const;

  private:
    bool enabled_ = false;
    std::uint64_t mountId_ = 0;
    std::uint64_t device_ = 0;
    std::uint32_t effectiveUserId_ = 0;
};

// One shortcut for the folders opened from one folder: made by the first of them that needs it, then read
// by any thread.
class SharedWriteAccess {
  public:
    const WriteAccessShortcut& For(int folderFd) {
        std::call_once(once_, [&] { shortcut_ = std::make_unique<WriteAccessShortcut>(folderFd); });
        return *shortcut_;
    }

  private:
    std::once_flag once_;
    std::unique_ptr<WriteAccessShortcut> shortcut_;
};

}  // namespace vask
