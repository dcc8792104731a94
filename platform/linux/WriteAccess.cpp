#include "platform/linux/WriteAccess.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace vask {

namespace {

// The id the kernel shows for an owner or group it cannot map into this user namespace; the kernel refuses
// writes to such files whatever their bits say.
constexpr std::uint32_t kOverflowId = 65534;

// statfs sets this in f_flags when the flags are the mount's (Linux 2.6.36 on); the C headers lack it.
constexpr unsigned long kStatfsFlagsValid = 0x0020;

// File systems without a permission method of their own: the kernel decides access from the mode bits, the
// ACL (which for the owner is the owner bits), the immutable flag and the mount. Network and FUSE file
// systems ask elsewhere; btrfs refuses writes in read-only subvolumes that the mount does not show.
bool PermissionsAreModeBits(long type) {
    switch (static_cast<unsigned long>(type)) {
        case EXT4_SUPER_MAGIC:  // also ext2 and ext3
        case XFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
        case F2FS_SUPER_MAGIC:
            return true;
        default:
            return false;
    }
}

bool IsKnownModule(const std::string& name) {
    // None of these refuses an access check the mode bits pass: AppArmor, Landlock and TOMOYO judge opens and
    // path operations, not access checks; a BPF program on the access hook would be a deliberate choice of
    // the machine's owner that no flag reveals.
    for (const char* known : {"capability", "lockdown", "yama", "loadpin", "safesetid", "integrity", "ima",
                              "evm", "apparmor", "landlock", "tomoyo", "bpf"}) {
        if (name == known) return true;
    }
    return false;
}

bool DecideSecurityModules() {
    std::ifstream list("/sys/kernel/security/lsm");
    if (list) {
        std::string name;
        while (std::getline(list, name, ',')) {
            while (!name.empty() && (name.back() == '\n' || name.back() == '\0'))
                name.pop_back();
            if (!name.empty() && !IsKnownModule(name)) return false;
        }
        return true;
    }
    // Without the security file system mounted, the modules that judge access checks still show their own.
    return ::access("/sys/fs/selinux", F_OK) != 0 && ::access("/sys/fs/smackfs", F_OK) != 0;
}

}  // namespace

FileStatus FileStatusFromStatx(const struct statx& sx) {
    FileStatus status;
    const mode_t mode = sx.stx_mode;
    if (S_ISREG(mode)) {
        status.kind = EntryKind::Regular;
    } else if (S_ISDIR(mode)) {
        status.kind = EntryKind::Directory;
    } else if (S_ISLNK(mode)) {
        status.kind = EntryKind::Symlink;
    } else {
        status.kind = EntryKind::Other;
    }
    status.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    status.inode = sx.stx_ino;
    status.size = sx.stx_size;
    status.mtimeSeconds = sx.stx_mtime.tv_sec;
    status.mtimeNanoseconds = static_cast<std::int32_t>(sx.stx_mtime.tv_nsec);
    status.mode = mode & 07777;
    status.ownerId = sx.stx_uid;
    return status;
}

std::uint64_t MountIdOf(const struct statx& sx) {
    return (sx.stx_mask & STATX_MNT_ID) != 0 ? sx.stx_mnt_id : 0;
}

bool SecurityModulesLeaveAccessToModeBits() {
    static const bool leave = DecideSecurityModules();
    return leave;
}

WriteAccessShortcut::WriteAccessShortcut(int folderFd) {
    if (!SecurityModulesLeaveAccessToModeBits()) return;
    struct statfs fs;
    if (::fstatfs(folderFd, &fs) != 0 || !PermissionsAreModeBits(fs.f_type)) return;
    // f_flags holds the mount's flags; ST_RDONLY also when the whole file system is read-only.
    if ((fs.f_flags & kStatfsFlagsValid) == 0 || (fs.f_flags & ST_RDONLY) != 0) return;
    struct statx self;
    if (::statx(folderFd, "", AT_EMPTY_PATH, STATX_MNT_ID, &self) != 0) return;
    mountId_ = MountIdOf(self);
    if (mountId_ == 0) return;
    device_ = makedev(self.stx_dev_major, self.stx_dev_minor);
    effectiveUserId_ = ::geteuid();
    enabled_ = true;
}

WriteAccessShortcut::WriteAccessShortcut(std::uint64_t mountId, std::uint64_t device,
                                         std::uint32_t effectiveUserId)
    : enabled_(mountId != 0), mountId_(mountId), device_(device), effectiveUserId_(effectiveUserId) {}

bool WriteAccessShortcut::Grants(const struct statx& sx, unsigned accessBits) const {
    if (!enabled_) return false;
    constexpr unsigned kNeeded = STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID | STATX_MNT_ID;
    if ((sx.stx_mask & kNeeded) != kNeeded) return false;
    // An entry on another mount (a bind mount inside the tree, perhaps read-only) has other facts.
    if (MountIdOf(sx) != mountId_ || makedev(sx.stx_dev_major, sx.stx_dev_minor) != device_) return false;
    // Only where the file system reports the flag is its absence a fact.
    if ((sx.stx_attributes_mask & STATX_ATTR_IMMUTABLE) == 0) return false;
    if ((sx.stx_attributes & STATX_ATTR_IMMUTABLE) != 0) return false;
    if (sx.stx_uid != effectiveUserId_ || sx.stx_uid == kOverflowId || sx.stx_gid == kOverflowId)
        return false;
    unsigned ownerBits = 0;
    if ((accessBits & W_OK) != 0) ownerBits |= S_IWUSR;
    if ((accessBits & X_OK) != 0) ownerBits |= S_IXUSR;
    if ((accessBits & R_OK) != 0) ownerBits |= S_IRUSR;
    return (sx.stx_mode & ownerBits) == ownerBits;
}

}  // namespace vask
