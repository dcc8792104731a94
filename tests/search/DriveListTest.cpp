#include "search/DriveList.h"

#include <gtest/gtest.h>

#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryMainView.h"
#include "settings/SettingsStore.h"

namespace vask {
namespace {

MountedVolume Volume(const std::string& mountPoint, const std::string& type, bool removable = false) {
    MountedVolume volume;
    volume.mountPoint = mountPoint;
    volume.fileSystemType = type;
    volume.removableDisk = removable;
    return volume;
}

// ---- The line ----

TEST(DriveLineTest, ExactLayout) {
    const std::string line = FormatDriveLine("/", "[WIN98]", "12.3GBytes", 0x1A2B3C4Du, kDriveFixed);
    EXPECT_EQ(line, "      / [WIN98] 12.3GBytes" + std::string(50, ' ') + "1a2b3c4d00000003");
}

TEST(DriveLineTest, EmptyTextsKeepTheirSeparators) {
    // An unreadable volume: no label, no capacity, serial 0. The line still has both separating spaces.
    const std::string line = FormatDriveLine("/mnt/cd/", "", "", 0, kDriveCdRom);
    EXPECT_EQ(line, "      /mnt/cd/  " + std::string(50, ' ') + "0000000000000005");
}

TEST(DriveLineTest, IdentityIsTheLast16CharactersWhateverTheTexts) {
    // Each row has its own serial and type, so a line that took another drive's identity, or put the type
    // before the serial, shows.
    const std::string longLabel = "[" + std::string(300, 'L') + "]";
    const struct {
        std::string mountPoint;
        std::string label;
        std::string capacity;
        std::uint32_t serial;
        DriveType type;
        const char* identity;
    } rows[] = {
        {"/", "", "", 0x00000001u, kDriveFixed, "0000000100000003"},
        {"/mnt/a b/", "[ ]", "0Byte", 0xFFFFFFFFu, kDriveRamDisk, "ffffffff00000006"},
        {"/media/ユーザー/ディスク/", "[データ]", "1.0KBytes", 0x80000000u, kDriveRemovable,
         "8000000000000002"},
        // A capacity text of hex digits must not be taken for the serial.
        {"/x/", longLabel, "12345678", 0x0BADF00Du, kDriveRemote, "0badf00d00000004"},
        {"/y/", "[%08x%s]", "%d", 0u, kDriveCdRom, "0000000000000005"},  // format directives are plain text
    };
    for (const auto& row : rows) {
        const std::string line =
            FormatDriveLine(row.mountPoint, row.label, row.capacity, row.serial, row.type);
        ASSERT_GE(line.size(), 16u);
        EXPECT_EQ(line.substr(line.size() - 16), row.identity) << line;
        EXPECT_EQ(DriveSignature(line), row.identity) << line;
        EXPECT_EQ(line.compare(0, 6 + row.mountPoint.size(), "      " + row.mountPoint), 0) << line;
    }
}

// ---- Classification ----

TEST(ClassifyVolumeTest, Table) {
    struct Case {
        MountedVolume volume;
        DriveType expected;
    };
    const std::vector<Case> cases = {
        {Volume("/", "ext4"), kDriveFixed},
        {Volume("/home/", "btrfs"), kDriveFixed},
        {Volume("/boot/efi/", "vfat"), kDriveFixed},
        {Volume("/", "overlay"), kDriveFixed},
        {Volume("/mnt/win/", "fuseblk"), kDriveFixed},
        {Volume("/mnt/stick/", "vfat", true), kDriveRemovable},
        {Volume("/media/user/STICK/", "exfat"), kDriveRemovable},
        {Volume("/run/media/user/STICK/", "ext4"), kDriveRemovable},
        {Volume("/media/", "ext4"), kDriveFixed},       // the folder itself is no media mount
        {Volume("/mediafiles/", "ext4"), kDriveFixed},  // a name that only begins like it
        {Volume("/media/user/odd/", "squashfs"), kDriveRemovable},
        {Volume("/net/", "nfs4"), kDriveRemote},
        {Volume("/srv/share/", "cifs"), kDriveRemote},
        {Volume("/home/u/remote/", "fuse.sshfs"), kDriveRemote},
        {Volume("/media/user/nas/", "nfs"), kDriveRemote},  // a share stays remote wherever it is mounted
        {Volume("/media/cdrom/", "iso9660", true), kDriveCdRom},
        {Volume("/mnt/dvd/", "udf"), kDriveCdRom},
        {Volume("/tmp/", "tmpfs"), kDriveRamDisk},
        {Volume("/mnt/ram/", "ramfs"), kDriveRamDisk},
        {Volume("/snap/core/1/", "squashfs"), kDriveUnknown},
        {Volume("/mnt/x/", ""), kDriveUnknown},
        {Volume("/mnt/x/", "fuse."), kDriveUnknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyVolume(c.volume), c.expected)
            << c.volume.mountPoint << " " << c.volume.fileSystemType
            << " removable=" << c.volume.removableDisk;
    }
}

// ---- The three texts ----

TEST(DriveTextsTest, LabelSerialAndCapacity) {
    FakeVolumeSource source;
    source.Add("/", "ext4", "root", 0x12345678u, 12'300'000'000ull);
    source.Add("/data/", "xfs", "", 7, 0);
    source.AddUnreadable("/mnt/gone/", "ext4");
    const auto listed = source.ListVolumes();

    EXPECT_EQ(FormatVolumeLabel(source, listed[0]), "[root]");
    EXPECT_EQ(FormatVolumeLabel(source, listed[1]), "[ ]");
    EXPECT_EQ(FormatVolumeLabel(source, listed[2]), "");

    EXPECT_EQ(GetVolumeSerial(source, listed[0]), 0x12345678u);
    EXPECT_EQ(GetVolumeSerial(source, listed[2]), 0u);

    EXPECT_EQ(FormatDriveCapacity(source, listed[0]), "11.5GBytes");
    EXPECT_EQ(FormatDriveCapacity(source, listed[1]), "0Byte");  // a readable capacity of 0 is still shown
    EXPECT_EQ(FormatDriveCapacity(source, listed[2]), "");
}

// ---- Filling the list ----

class FillDriveListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        source.Add("/", "ext4", "root", 0xA1u, 1000);
        source.Add("/media/u/STICK/", "vfat", "STICK", 0xB2u, 2000);
        source.Add("/mnt/cd/", "iso9660", "CD", 0xC3u, 3000);
        source.Add("/net/", "nfs", "", 0xD4u, 4000);
        source.Add("/tmp/", "tmpfs", "", 0xE5u, 5000);
        source.Add("/snap/x/", "squashfs", "", 0xF6u, 6000);
    }
    FakeVolumeSource source;
    MemoryMainView view;
};

TEST_F(FillDriveListTest, AllTypesInSourceOrderWithGreyedOnes) {
    view.SetDriveLines({"stale line 1", "stale line 2"});
    FillDriveList(view, source, false);

    ASSERT_EQ(view.DriveItemCount(), 6);
    const std::vector<std::pair<DriveType, bool>> expected = {{kDriveFixed, true},   {kDriveRemovable, true},
                                                              {kDriveCdRom, false},  {kDriveRemote, false},
                                                              {kDriveRamDisk, true}, {kDriveUnknown, false}};
    for (int i = 0; i < 6; ++i) {
        const DriveItem item = view.DriveItemAt(i);
        EXPECT_EQ(item.mountPoint, source.volumes[static_cast<std::size_t>(i)].mounted.mountPoint);
        EXPECT_EQ(item.type, expected[static_cast<std::size_t>(i)].first) << i;
        EXPECT_EQ(item.enabled, expected[static_cast<std::size_t>(i)].second) << i;
        EXPECT_EQ(view.DriveItemText(i), item.line);
        EXPECT_EQ(view.DriveCheckState(i), 0);
    }
    EXPECT_EQ(view.DriveItemText(0), "      / [root] 1000Bytes" + std::string(50, ' ') + "000000a100000003");
    EXPECT_EQ(view.DriveItemText(2).substr(view.DriveItemText(2).size() - 16), "000000c300000005");
    EXPECT_EQ(view.outOfRangeCalls, 0);
}

TEST_F(FillDriveListTest, ReadsLabelSerialCapacityInThatOrderOncePerVolume) {
    FillDriveList(view, source, false);
    ASSERT_EQ(source.reads.size(), 18u);
    EXPECT_EQ(source.reads[0], "label /");
    EXPECT_EQ(source.reads[1], "serial /");
    EXPECT_EQ(source.reads[2], "capacity /");
    EXPECT_EQ(source.reads[17], "capacity /snap/x/");
}

TEST_F(FillDriveListTest, HardDisksOnlyListsFixedAndReadsNothingOfTheOthers) {
    source.Add("/home/", "btrfs", "home", 0x77u, 7000);
    FillDriveList(view, source, true);

    ASSERT_EQ(view.DriveItemCount(), 2);
    EXPECT_EQ(view.DriveItemAt(0).mountPoint, "/");
    EXPECT_EQ(view.DriveItemAt(1).mountPoint, "/home/");
    for (const std::string& read : source.reads) {
        EXPECT_TRUE(read.ends_with(" /") || read.ends_with(" /home/")) << read;
    }
}

TEST_F(FillDriveListTest, RefillingReplacesTheList) {
    FillDriveList(view, source, false);
    view.SetDriveCheckState(0, 1);
    FillDriveList(view, source, true);
    ASSERT_EQ(view.DriveItemCount(), 1);
    EXPECT_EQ(view.DriveCheckState(0), 0);

    source.volumes.clear();
    FillDriveList(view, source, false);
    EXPECT_EQ(view.DriveItemCount(), 0);
    EXPECT_TRUE(view.driveItems.empty());
}

TEST_F(FillDriveListTest, UnreadableVolumeIsListedWithEmptyTexts) {
    source.volumes.clear();
    source.AddUnreadable("/", "ext4");
    source.Add("/home/", "ext4", "home", 0x99u, 1);
    FillDriveList(view, source, true);

    ASSERT_EQ(view.DriveItemCount(), 2);
    EXPECT_EQ(view.DriveItemText(0), "      /  " + std::string(50, ' ') + "0000000000000003");
    EXPECT_TRUE(view.DriveItemAt(0).enabled);
    EXPECT_EQ(view.DriveItemText(1), "      /home/ [home] 1Byte" + std::string(50, ' ') + "0000009900000003");
}

}  // namespace
}  // namespace vask
