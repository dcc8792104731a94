// The volumes port: the mounted volumes that stand for drives, and what can be read of each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vask {

struct MountedVolume {
    std::string mountPoint;      // absolute, ending in "/"
    std::string fileSystemType;  // as the mount table names it: "ext4", "tmpfs", "nfs4", "fuse.sshfs" …
    std::string source;          // the mounted device or remote source, as the mount table names it
    bool removableDisk = false;  // the disk under it says it is removable
};

class VolumeSource {
  public:
    virtual ~VolumeSource() = default;
    // The mount table without pseudo and system-internal file systems, in byte order of the mount point ("/"
    // first). Empty when the table cannot be read.
    virtual std::vector<MountedVolume> ListVolumes() = 0;
    // The volume's label: "" when it has none, nothing when the volume cannot be read.
    virtual std::optional<std::string> VolumeLabel(const MountedVolume& volume) = 0;
    // A 32-bit serial number stable across runs (statvfs f_fsid folded), nothing when it cannot be read.
    virtual std::optional<std::uint32_t> VolumeSerial(const MountedVolume& volume) = 0;
    // Total capacity in bytes (f_blocks × f_frsize), nothing when it cannot be read.
    virtual std::optional<std::uint64_t> VolumeCapacity(const MountedVolume& volume) = 0;
};

}  // namespace vask
