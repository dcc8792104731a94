// The volumes port on Linux: the mount table through libmount, labels through libblkid (and the udev label
// links when the device cannot be opened), serial numbers and capacities through statvfs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Volumes.h"

namespace vask {

class LinuxVolumeSource : public VolumeSource {
  public:
    // Where the adapter looks. The defaults are the running system's; tests point them at prepared files.
    struct Paths {
        std::string mountTable = "/proc/self/mountinfo";  // any format libmount parses
        std::string sysRoot = "/sys";                     // for /sys/dev/block/<major>:<minor>
        std::string labelLinks = "/dev/disk/by-label";    // udev's links, read when probing is not possible
        // false: never open the device itself, read labels from labelLinks only (an unprivileged session)
        bool probeDevices = true;
    };

    LinuxVolumeSource() = default;
    explicit LinuxVolumeSource(Paths paths) : paths_(std::move(paths)) {}

    // Leaves out pseudo file systems (libmount's list and ours, but keeps overlay and ramfs, which hold
    // data), mounts inside /proc, /sys and /dev, and the runtime mounts in /run (but /run/media/…). When a
    // mount point occurs more than once, the last mount (the one visible there) is kept.
    std::vector<MountedVolume> ListVolumes() override;
    // Nothing when statvfs of the mount point fails. "" for a volume without a block device (tmpfs, nfs …)
    // or whose file system carries no label, and for a device that can be neither probed nor found among
    // the label links.
    std::optional<std::string> VolumeLabel(const MountedVolume& volume) override;
    // f_fsid folded to 32 bits (high half XOR low half). tmpfs and ramfs draw a new f_fsid at every mount,
    // so for them the serial is a hash of the mount point, which stays the same across restarts.
    std::optional<std::uint32_t> VolumeSerial(const MountedVolume& volume) override;
    // f_blocks × f_frsize.
    std::optional<std::uint64_t> VolumeCapacity(const MountedVolume& volume) override;

  private:
    Paths paths_;
};

// udev's encoding of a label in a link name: "\xNN" stands for the byte NN; everything else is itself.
std::string DecodeLabelLinkName(const std::string& name);

}  // namespace vask
