#include "platform/linux/LinuxVolumeSource.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "search/DriveList.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using testing::TempTree;

const MountedVolume* FindVolume(const std::vector<MountedVolume>& volumes, const std::string& mountPoint) {
    for (const MountedVolume& volume : volumes) {
        if (volume.mountPoint == mountPoint) return &volume;
    }
    return nullptr;
}

bool RunQuietly(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Mounts for the duration of a test; unmounted (lazily, so a failing test cannot leave it busy) at the end.
class VolumeMount {
  public:
    VolumeMount(const std::string& arguments, std::string target) : target_(std::move(target)) {
        mounted_ = RunQuietly("mount " + arguments + " '" + target_ + "'");
    }
    ~VolumeMount() { Unmount(); }
    void Unmount() {
        if (mounted_) RunQuietly("umount -l '" + target_ + "'");
        mounted_ = false;
    }
    bool mounted() const { return mounted_; }

  private:
    std::string target_;
    bool mounted_ = false;
};

// ---- The machine's own mount table ----

TEST(LinuxVolumeSourceTest, RealTableIsSortedFilteredAndRootComesFirst) {
    LinuxVolumeSource source;
    const std::vector<MountedVolume> volumes = source.ListVolumes();
    ASSERT_FALSE(volumes.empty());
    EXPECT_EQ(volumes.front().mountPoint, "/");
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const MountedVolume& volume = volumes[i];
        EXPECT_EQ(volume.mountPoint.back(), '/') << volume.mountPoint;
        for (const char* type : {"proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs", "mqueue"}) {
            EXPECT_NE(volume.fileSystemType, type) << volume.mountPoint;
        }
        for (const char* folder : {"/proc/", "/sys/", "/dev/"}) {
            EXPECT_FALSE(volume.mountPoint.starts_with(folder)) << volume.mountPoint;
        }
        if (i > 0) {
            EXPECT_LT(volumes[i - 1].mountPoint, volume.mountPoint);  // sorted, each point once
        }
    }
}

TEST(LinuxVolumeSourceTest, RootReadsTheSameTwice) {
    LinuxVolumeSource source;
    const std::vector<MountedVolume> volumes = source.ListVolumes();
    ASSERT_FALSE(volumes.empty());
    const MountedVolume& root = volumes.front();
    const auto serial = source.VolumeSerial(root);
    ASSERT_TRUE(serial.has_value());
    EXPECT_EQ(source.VolumeSerial(root), serial);
    const auto capacity = source.VolumeCapacity(root);
    ASSERT_TRUE(capacity.has_value());
    EXPECT_GT(*capacity, 0u);
    EXPECT_TRUE(source.VolumeLabel(root).has_value());
}

TEST(LinuxVolumeSourceTest, VanishedVolumeReadsAsNothing) {
    TempTree tree;
    MountedVolume gone;
    gone.mountPoint = tree.Path("not-there/");
    gone.fileSystemType = "ext4";
    gone.source = "/dev/vask-no-such-device";
    LinuxVolumeSource source;
    EXPECT_FALSE(source.VolumeLabel(gone).has_value());
    EXPECT_FALSE(source.VolumeSerial(gone).has_value());
    EXPECT_FALSE(source.VolumeCapacity(gone).has_value());
}

// ---- A prepared mount table and /sys ----

TEST(LinuxVolumeSourceTest, PreparedTableKeepsDataVolumesOnly) {
    TempTree tree;
    // sda1 is a partition of the removable disk sda; sdb is a whole, fixed disk.
    ASSERT_TRUE(tree.File("sys/devices/sda/removable", "1\n"));
    ASSERT_TRUE(tree.File("sys/devices/sda/sda1/partition", "1\n"));
    ASSERT_TRUE(tree.File("sys/devices/sda/sda1/removable", "0\n"));  // never read: the disk decides
    ASSERT_TRUE(tree.File("sys/devices/sdb/removable", "0\n"));
    ASSERT_TRUE(tree.Symlink("../../devices/sda/sda1", "sys/dev/block/8:1"));
    ASSERT_TRUE(tree.Symlink("../../devices/sdb", "sys/dev/block/8:16"));
    ASSERT_TRUE(tree.File("mountinfo",
                          "22 1 0:21 / /proc rw - proc proc rw\n"
                          "23 1 0:22 / /sys rw - sysfs sysfs rw\n"
                          "24 23 0:23 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
                          "25 1 0:24 / /dev/shm rw - tmpfs tmpfs rw\n"
                          "26 1 0:25 / / rw - overlay overlay rw,lowerdir=/a,upperdir=/b,workdir=/c\n"
                          "27 1 0:26 / /run rw - tmpfs tmpfs rw\n"
                          "28 27 0:27 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                          "29 27 8:1 / /run/media/u/MY\\040STICK rw - vfat /dev/sda1 rw\n"
                          "30 1 8:16 / /data rw - ext4 /dev/sdb rw\n"
                          "31 1 0:28 / /mnt/ram rw - ramfs ramfs rw\n"
                          "32 1 0:29 / /mnt/dup rw - ext4 /dev/sdc1 rw\n"
                          "33 32 0:30 / /mnt/dup rw - nfs4 server:/export rw\n"
                          "34 1 0:31 / /proc/sys/fs/binfmt_misc rw - binfmt_misc binfmt_misc rw\n"
                          "35 1 0:32 / /home/u/.cache/doc rw - fuse.portal portal rw\n"
                          "36 1 0:33 / /mnt/a-b rw - xfs /dev/sdd rw\n"
                          "37 1 0:34 / /tmp rw - tmpfs tmpfs rw\n"));

    LinuxVolumeSource::Paths paths;
    paths.mountTable = tree.Path("mountinfo");
    paths.sysRoot = tree.Path("sys");
    LinuxVolumeSource source(paths);
    const std::vector<MountedVolume> volumes = source.ListVolumes();

    std::vector<std::string> mountPoints;
    for (const MountedVolume& volume : volumes)
        mountPoints.push_back(volume.mountPoint);
    // Byte order: '-' (0x2D) sorts before '/' (0x2F), so /mnt/a-b/ precedes /mnt/dup/.
    EXPECT_EQ(mountPoints, (std::vector<std::string>{"/", "/data/", "/mnt/a-b/", "/mnt/dup/", "/mnt/ram/",
                                                     "/run/media/u/MY STICK/", "/tmp/"}));
    ASSERT_EQ(volumes.size(), 7u);
    EXPECT_EQ(volumes[0].fileSystemType, "overlay");
    EXPECT_EQ(volumes[3].fileSystemType, "nfs4");  // the later mount hides the earlier one
    EXPECT_EQ(volumes[3].source, "server:/export");
    EXPECT_EQ(volumes[4].fileSystemType, "ramfs");
    EXPECT_TRUE(volumes[5].removableDisk);
    EXPECT_EQ(volumes[5].source, "/dev/sda1");
    EXPECT_FALSE(volumes[1].removableDisk);
    EXPECT_FALSE(volumes[4].removableDisk);
}

TEST(LinuxVolumeSourceTest, UnreadableTableListsNothing) {
    LinuxVolumeSource::Paths paths;
    paths.mountTable = "/nonexistent/vask/mountinfo";
    EXPECT_TRUE(LinuxVolumeSource(paths).ListVolumes().empty());
}

TEST(LinuxVolumeSourceTest, LabelLinkNamesAreDecoded) {
    EXPECT_EQ(DecodeLabelLinkName("a\\x2fb\\x5c"), "a/b\\");
    EXPECT_EQ(DecodeLabelLinkName("データ"), "データ");
    EXPECT_EQ(DecodeLabelLinkName("odd\\x2"), "odd\\x2");      // cut short
    EXPECT_EQ(DecodeLabelLinkName("odd\\xzz1"), "odd\\xzz1");  // not hex
}

// ---- Real mounts (root only) ----

TEST(LinuxVolumeSourceMountTest, TmpfsIsARamDiskWithItsSizeAndAStableSerial) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    TempTree tree;
    ASSERT_TRUE(tree.Folder("ram"));
    const std::string mountPoint = tree.Path("ram/");
    auto ram = std::make_unique<VolumeMount>("-t tmpfs -o size=4m tmpfs", mountPoint);
    if (!ram->mounted()) GTEST_SKIP() << "mount -t tmpfs failed here (no mount privilege in this sandbox)";

    LinuxVolumeSource source;
    const std::vector<MountedVolume> volumes = source.ListVolumes();
    const MountedVolume* volume = FindVolume(volumes, mountPoint);
    ASSERT_NE(volume, nullptr) << mountPoint;
    EXPECT_EQ(ClassifyVolume(*volume), kDriveRamDisk);
    EXPECT_EQ(source.VolumeCapacity(*volume), std::optional<std::uint64_t>(4u << 20));
    EXPECT_EQ(source.VolumeLabel(*volume), std::optional<std::string>(""));
    EXPECT_EQ(FormatVolumeLabel(source, *volume), "[ ]");
    const auto serial = source.VolumeSerial(*volume);
    ASSERT_TRUE(serial.has_value());

    // The kernel gives every new tmpfs a new f_fsid; the serial must not follow it, or the saved drive
    // ticks would count as a changed drive environment after every restart.
    ram.reset();
    VolumeMount again("-t tmpfs -o size=4m tmpfs", mountPoint);
    ASSERT_TRUE(again.mounted());
    EXPECT_EQ(source.VolumeSerial(*volume), serial);
}

class LoopMountTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "loop mounts need root";
        ASSERT_TRUE(tree.Folder("disk"));
        image = tree.Path("disk.img");
        mountPoint = tree.Path("disk/");
        if (!RunQuietly("truncate -s 8M '" + image + "'") ||
            !RunQuietly("mkfs.ext4 -q -F -L 'Vask Disk' '" + image + "'")) {
            GTEST_SKIP() << "mkfs.ext4 could not make the image";
        }
        disk = std::make_unique<VolumeMount>("-o loop '" + image + "'", mountPoint);
        if (!disk->mounted()) GTEST_SKIP() << "mount -o loop failed here (no loop devices in this sandbox)";
        const std::vector<MountedVolume> volumes = LinuxVolumeSource().ListVolumes();
        if (const MountedVolume* found = FindVolume(volumes, mountPoint)) volume = *found;
    }

    TempTree tree;
    std::string image;
    std::string mountPoint;
    std::unique_ptr<VolumeMount> disk;
    MountedVolume volume;
};

TEST_F(LoopMountTest, LabelIsProbedAndTheVolumeIsFixed) {
    ASSERT_EQ(volume.mountPoint, mountPoint);
    EXPECT_EQ(volume.fileSystemType, "ext4");
    EXPECT_TRUE(volume.source.starts_with("/dev/loop")) << volume.source;
    EXPECT_EQ(ClassifyVolume(volume), kDriveFixed);

    LinuxVolumeSource source;
    EXPECT_EQ(source.VolumeLabel(volume), std::optional<std::string>("Vask Disk"));
    EXPECT_EQ(FormatVolumeLabel(source, volume), "[Vask Disk]");
    const auto capacity = source.VolumeCapacity(volume);
    ASSERT_TRUE(capacity.has_value());
    EXPECT_GT(*capacity, 4u << 20);
    EXPECT_LE(*capacity, 8u << 20);

    // ext4 derives f_fsid from its UUID, so the serial survives unmounting and mounting again.
    const auto serial = source.VolumeSerial(volume);
    ASSERT_TRUE(serial.has_value());
    disk.reset();
    VolumeMount again("-o loop '" + image + "'", mountPoint);
    ASSERT_TRUE(again.mounted());
    EXPECT_EQ(source.VolumeSerial(volume), serial);
}

TEST_F(LoopMountTest, WithoutProbingTheLabelComesFromTheLabelLinks) {
    ASSERT_EQ(volume.mountPoint, mountPoint);
    LinuxVolumeSource::Paths paths;
    paths.probeDevices = false;
    paths.labelLinks = tree.Path("by-label");
    ASSERT_TRUE(tree.Folder("by-label"));
    LinuxVolumeSource source(paths);
    EXPECT_EQ(source.VolumeLabel(volume), std::optional<std::string>(""));  // no link: taken as no label

    ASSERT_TRUE(tree.Symlink("/dev/null", "by-label/Other"));  // not a block device
    ASSERT_TRUE(tree.Symlink(volume.source, "by-label/Vask\\x20Disk"));
    EXPECT_EQ(source.VolumeLabel(volume), std::optional<std::string>("Vask Disk"));
}

}  // namespace
}  // namespace vask
