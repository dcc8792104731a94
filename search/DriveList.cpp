#include "search/DriveList.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "search/SizeText.h"

namespace vask {
namespace {

constexpr std::array<std::string_view, 2> kCdRomTypes = {"iso9660", "udf"};
constexpr std::array<std::string_view, 13> kRemoteTypes = {"nfs",    "nfs4", "cifs", "smb3",      "smbfs",
                                                           "sshfs",  "9p",   "ceph", "glusterfs", "davfs",
                                                           "davfs2", "afs",  "ncpfs"};
constexpr std::array<std::string_view, 2> kRamDiskTypes = {"tmpfs", "ramfs"};
// Local storage. fuseblk is a FUSE driver on a block device (ntfs-3g, exfat-fuse).
constexpr std::array<std::string_view, 21> kFixedTypes = {
    "ext2",    "ext3",  "ext4",  "xfs",      "btrfs",    "f2fs",    "zfs",
    "vfat",    "msdos", "exfat", "ntfs",     "ntfs3",    "jfs",     "nilfs2",
    "hfsplus", "hfs",   "ufs",   "bcachefs", "reiserfs", "fuseblk", "overlay"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// A mount point strictly below the folder (both ending in "/").
bool LiesBelow(std::string_view mountPoint, std::string_view folder) {
    return mountPoint.size() > folder.size() && mountPoint.substr(0, folder.size()) == folder;
}

}  // namespace

DriveType ClassifyVolume(const MountedVolume& volume) {
    std::string_view type = volume.fileSystemType;
    // FUSE mounts name their driver after "fuse." (fuse.sshfs); the driver decides what the volume is.
    if (type.substr(0, 5) == "fuse.") type.remove_prefix(5);
    if (Contains(kCdRomTypes, type)) return kDriveCdRom;
    if (Contains(kRemoteTypes, type)) return kDriveRemote;
    if (Contains(kRamDiskTypes, type)) return kDriveRamDisk;
    // A stick's file system is local storage like any other; where it is attached decides.
    if (volume.removableDisk || LiesBelow(volume.mountPoint, "/media/") ||
        LiesBelow(volume.mountPoint, "/run/media/")) {
        return kDriveRemovable;
    }
    if (Contains(kFixedTypes, type)) return kDriveFixed;
    return kDriveUnknown;
}

bool IsDriveTickable(DriveType type) {
    return type == kDriveRemovable || type == kDriveFixed || type == kDriveRamDisk;
}

std::string FormatVolumeLabel(VolumeSource& volumes, const MountedVolume& volume) {
    const std::optional<std::string> label = volumes.VolumeLabel(volume);
    if (!label) return std::string();
    if (label->empty()) return "[ ]";
    return "[" + *label + "]";
}

std::uint32_t GetVolumeSerial(VolumeSource& volumes, const MountedVolume& volume) {
    return volumes.VolumeSerial(volume).value_or(0);
}

std::string FormatDriveCapacity(VolumeSource& volumes, const MountedVolume& volume) {
    const std::optional<std::uint64_t> capacity = volumes.VolumeCapacity(volume);
    return capacity ? FormatSizeText(*capacity) : std::string();
}

std::string FormatDriveLine(std::string_view mountPoint, std::string_view labelText,
                            std::string_view capacityText, std::uint32_t serial, DriveType type) {
    char identity[17];
    std::snprintf(identity, sizeof identity, "%08x%08x", static_cast<unsigned>(serial),
                  static_cast<unsigned>(type));
    std::string line(6, ' ');
    line.append(mountPoint).append(" ").append(labelText).append(" ").append(capacityText);
    line.append(50, ' ');
    line.append(identity, 16);
    return line;
}

void FillDriveList(DriveListView& view, VolumeSource& volumes, bool bFixed) {
    view.ClearDriveList();
    int index = 0;
    for (const MountedVolume& volume : volumes.ListVolumes()) {
        const DriveType type = ClassifyVolume(volume);
        if (bFixed && type != kDriveFixed) continue;
        const std::string label = FormatVolumeLabel(volumes, volume);
        const std::uint32_t serial = GetVolumeSerial(volumes, volume);
        const std::string capacity = FormatDriveCapacity(volumes, volume);
        DriveItem item;
        item.line = FormatDriveLine(volume.mountPoint, label, capacity, serial, type);
        item.mountPoint = volume.mountPoint;
        item.type = type;
        item.enabled = IsDriveTickable(type);
        view.InsertDriveItem(index, item);
        ++index;
    }
}

}  // namespace vask
