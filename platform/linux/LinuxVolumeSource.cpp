#include "platform/linux/LinuxVolumeSource.h"

#include <blkid.h>
#include <dirent.h>
#include <libmount.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <memory>
#include <string_view>

namespace vask {
namespace {

// Kernel-internal file systems that libmount may not know as pseudo (its list differs between versions).
constexpr std::array<std::string_view, 34> kPseudoTypes = {
    "anon_inodefs", "apparmorfs",  "autofs",     "bdev",           "binfmt_misc", "bpf",
    "cgroup",       "cgroup2",     "configfs",   "cpuset",         "debugfs",     "devpts",
    "devtmpfs",     "efivarfs",    "fusectl",    "hugetlbfs",      "mqueue",      "nfsd",
    "nsfs",         "pidfs",       "pipefs",     "proc",           "pstore",      "rootfs",
    "rpc_pipefs",   "securityfs",  "selinuxfs",  "smackfs",        "sockfs",      "sysfs",
    "tracefs",      "fuse.portal", "fuse.lxcfs", "fuse.gvfsd-fuse"};

// libmount calls these pseudo, yet they hold the user's data: overlay (container roots), tmpfs and ramfs
// (RAM disks), and the host shares of virtual machines, which may even be the root.
constexpr std::array<std::string_view, 5> kDataTypesLibmountCallsPseudo = {"overlay", "tmpfs", "ramfs",
                                                                           "virtiofs", "vboxsf"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The kernel's own trees and the runtime state in /run are no drives, whatever is mounted there; only
// /run/media/<user>/… holds the user's media.
bool IsSystemInternalMountPoint(std::string_view mountPoint) {
    if (StartsWith(mountPoint, "/proc/") || StartsWith(mountPoint, "/sys/") ||
        StartsWith(mountPoint, "/dev/")) {
        return true;
    }
    return StartsWith(mountPoint, "/run/") && !StartsWith(mountPoint, "/run/media/");
}

struct TableDeleter {
    void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
struct IterDeleter {
    void operator()(libmnt_iter* iter) const { mnt_free_iter(iter); }
};
struct ProbeDeleter {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};

std::optional<dev_t> BlockDeviceNumber(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    return st.st_rdev;
}

// A partition's removable flag lives with its disk: /sys/dev/block/M:m of a partition has a "partition"
// file, and its disk is the parent folder of the resolved link.
bool IsRemovableDisk(const std::string& sysRoot, dev_t device) {
    if (::major(device) == 0) return false;
    const std::string link =
        sysRoot + "/dev/block/" + std::to_string(::major(device)) + ":" + std::to_string(::minor(device));
    char* resolved = ::realpath(link.c_str(), nullptr);
    if (resolved == nullptr) return false;
    std::string folder(resolved);
    ::free(resolved);
    struct stat st;
    if (::stat((folder + "/partition").c_str(), &st) == 0) {
        const std::size_t slash = folder.rfind('/');
        if (slash == std::string::npos || slash == 0) return false;
        folder.resize(slash);
    }
    std::ifstream flag(folder + "/removable");
    char value = '0';
    return flag.get(value) && value == '1';
}

// The block device under a mounted volume, if it has one: its source when that names a device node
// (btrfs reports an anonymous device number for the mount itself), else the device of the mount point.
std::optional<dev_t> VolumeDevice(const MountedVolume& volume) {
    if (StartsWith(volume.source, "/")) {
        if (auto device = BlockDeviceNumber(volume.source)) return device;
    }
    struct stat st;
    if (::stat(volume.mountPoint.c_str(), &st) != 0 || ::major(st.st_dev) == 0) return std::nullopt;
    return st.st_dev;
}

std::optional<std::string> DeviceNodeName(const MountedVolume& volume, dev_t device) {
    if (StartsWith(volume.source, "/") && BlockDeviceNumber(volume.source) == device) return volume.source;
    char* name = blkid_devno_to_devname(device);
    if (name == nullptr) return std::nullopt;
    std::string result(name);
    ::free(name);
    return result;
}

// Reads the label from the superblock. Nothing when the device cannot be opened or probed (an
// unprivileged user may not read disks); "" when no file system or no label was found.
std::optional<std::string> ProbeLabel(const std::string& deviceNode) {
    std::unique_ptr<blkid_struct_probe, ProbeDeleter> probe(
        blkid_new_probe_from_filename(deviceNode.c_str()));
    if (!probe) return std::nullopt;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL);
    const int found = blkid_do_safeprobe(probe.get());
    if (found == 1) return std::string();
    if (found != 0) return std::nullopt;
    const char* label = nullptr;
    if (blkid_probe_lookup_value(probe.get(), "LABEL", &label, nullptr) != 0 || label == nullptr) {
        return std::string();
    }
    return std::string(label);
}

// udev links every labelled file system under its label; the links are readable by every user.
std::string LabelFromLinks(const std::string& folder, dev_t device) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return std::string();
    std::string label;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name(entry->d_name);
        if (name.empty() || name[0] == '.') continue;
        if (BlockDeviceNumber(folder + "/" + name) == device) {
            label = DecodeLabelLinkName(name);
            break;
        }
    }
    ::closedir(dir);
    return label;
}

std::optional<struct statvfs> StatVolume(const MountedVolume& volume) {
    struct statvfs st;
    if (::statvfs(volume.mountPoint.c_str(), &st) != 0) return std::nullopt;
    return st;
}

std::uint32_t HashText(std::string_view text) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace

std::string DecodeLabelLinkName(const std::string& name) {
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const int high = hexValue(name[i + 2]);
            const int low = hexValue(name[i + 3]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 3;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

std::vector<MountedVolume> LinuxVolumeSource::ListVolumes() {
    std::unique_ptr<libmnt_table, TableDeleter> table(mnt_new_table_from_file(paths_.mountTable.c_str()));
    std::unique_ptr<libmnt_iter, IterDeleter> iter(mnt_new_iter(MNT_ITER_FORWARD));
    if (!table || !iter) return {};

    // Keyed by mount point, so a later mount over the same point replaces the hidden one.
    std::map<std::string, MountedVolume> byMountPoint;
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), iter.get(), &fs) == 0) {
        const char* target = mnt_fs_get_target(fs);
        const char* type = mnt_fs_get_fstype(fs);
        if (target == nullptr || target[0] != '/' || type == nullptr) continue;
        const std::string fileSystemType(type);
        if (Contains(kPseudoTypes, fileSystemType)) continue;
        if (mnt_fs_is_pseudofs(fs) && !Contains(kDataTypesLibmountCallsPseudo, fileSystemType)) continue;

        MountedVolume volume;
        volume.mountPoint = target;
        if (volume.mountPoint.back() != '/') volume.mountPoint.push_back('/');
        if (IsSystemInternalMountPoint(volume.mountPoint)) continue;
        volume.fileSystemType = fileSystemType;
        const char* source = mnt_fs_get_source(fs);
        volume.source = source ? source : "";

        dev_t device = mnt_fs_get_devno(fs);
        if (::major(device) == 0 && StartsWith(volume.source, "/")) {
            device = BlockDeviceNumber(volume.source).value_or(device);
        }
        volume.removableDisk = IsRemovableDisk(paths_.sysRoot, device);
        byMountPoint[volume.mountPoint] = std::move(volume);
    }

    // std::map orders std::string keys as memcmp does, i.e. by unsigned bytes: "/" comes first.
    std::vector<MountedVolume> volumes;
    volumes.reserve(byMountPoint.size());
    for (auto& [mountPoint, volume] : byMountPoint)
        volumes.push_back(std::move(volume));
    return volumes;
}

std::optional<std::string> LinuxVolumeSource::VolumeLabel(const MountedVolume& volume) {
    if (!StatVolume(volume)) return std::nullopt;
    const std::optional<dev_t> device = VolumeDevice(volume);
    if (!device) return std::string();
    if (paths_.probeDevices) {
        if (const auto node = DeviceNodeName(volume, *device)) {
            if (auto label = ProbeLabel(*node)) return label;
        }
    }
    return LabelFromLinks(paths_.labelLinks, *device);
}

std::optional<std::uint32_t> LinuxVolumeSource::VolumeSerial(const MountedVolume& volume) {
    const auto st = StatVolume(volume);
    if (!st) return std::nullopt;
    if (volume.fileSystemType == "tmpfs" || volume.fileSystemType == "ramfs") {
        return HashText(volume.mountPoint);
    }
    const std::uint64_t fsid = static_cast<std::uint64_t>(st->f_fsid);
    return static_cast<std::uint32_t>(fsid ^ (fsid >> 32));
}

std::optional<std::uint64_t> LinuxVolumeSource::VolumeCapacity(const MountedVolume& volume) {
    const auto st = StatVolume(volume);
    if (!st) return std::nullopt;
    const std::uint64_t fragment = st->f_frsize != 0 ? st->f_frsize : st->f_bsize;
    return static_cast<std::uint64_t>(st->f_blocks) * fragment;
}

}  // namespace vask
