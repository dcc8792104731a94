#include "settings/FolderRules.h"

#include <gtest/gtest.h>

#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/ScriptedPrompter.h"

namespace vask {
namespace {

using V = FolderVerdict;

// A desktop's volumes: the system disk, /home on its own disk, a stick, a network share, a disc, a RAM disk,
// a bind mount of the system disk, and /proc, which the mount table lists for nobody.
class FolderRulesTest : public ::testing::Test {
  protected:
    FolderRulesTest() : rules(fs, volumes) {
        volumes.Add("/", "ext4", "", 1, 1);
        volumes.Add("/home/", "ext4", "", 2, 1);
        volumes.Add("/media/usb/", "vfat", "", 3, 1, true);
        volumes.Add("/mnt/nas/", "nfs4", "", 4, 1);
        volumes.Add("/media/cdrom/", "iso9660", "", 5, 1);
        volumes.Add("/tmp/", "tmpfs", "", 6, 1);
        volumes.Add("/srv/bind/", "ext4", "", 1, 1);
        for (const auto& [path, device] :
             std::initializer_list<std::pair<const char*, int>>{{"/home/", 2},
                                                                {"/media/usb/", 3},
                                                                {"/mnt/nas/", 4},
                                                                {"/media/cdrom/", 5},
                                                                {"/tmp/", 6},
                                                                {"/proc/", 7}}) {
            fs.AddFolder(path);
            fs.SetDevice(path, device);
        }
        fs.AddFolder("/srv/bind/");
        fs.AddFolder("/media/ann/");
        fs.AddFolder("/mnt/nas/share/");
        fs.AddFolder("/proc/1/");
        fs.AddFolder("/home/ann/Backup/");
        fs.AddFolder("/home/ann/\x95\x5c/");  // a CP932 name whose second byte is 0x5C
        fs.AddFolder("/tmp/work/");
        fs.AddFile("/home/ann/file.txt");
        fs.AddOther("/home/ann/fifo");
        fs.AddSymlink("/home/ann/link");
        fs.AddFolder("/usr/share/");
    }

    MemoryFileSystem fs;
    FakeVolumeSource volumes;
    FolderRules rules;
};

TEST_F(FolderRulesTest, DisposalFoldersNeedAnAcceptedMountedVolumeButNotTheFolder) {
    const struct {
        std::string text;
        V expected;
    } cases[] = {
        {"", V::NotAllowed},
        {"backup/", V::NotAllowed},  // relative: no drive
        {"/", V::Accepted},
        {"/home/ann/Backup/", V::Accepted},
        {"/home/ann/Backup", V::Accepted},
        {"/home/ann/New/deeper/", V::Accepted},  // created by the delete command
        {"/home/ann/\xff\xfe/", V::Accepted},    // not UTF-8: bytes are names too
        {"/media/usb/Backup/", V::Accepted},     // removable
        {"/tmp/x/", V::Accepted},                // RAM disk
        {"/mnt/nas/share/", V::NotAllowed},      // remote
        {"/mnt/nas/", V::NotAllowed},
        {"/media/cdrom/x/", V::NotAllowed},       // CD-ROM
        {"/proc/1/", V::NotAllowed},              // no listed volume: unknown
        {"/media/stick/Backup/", V::NotAllowed},  // not mounted: /media/stick would be made on /
        {"/media/ann/STICK/", V::NotAllowed},
        {"/mnt/disk/x/", V::NotAllowed},
        {"/home/ann/link/", V::NotAllowed},  // the walk never follows a link
        {"/home/ann/link/x/", V::NotAllowed},
        {"/home/ann/../ann/", V::NotAllowed},
        {"/home/./ann/", V::NotAllowed},
        {"/home//ann/", V::NotAllowed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rules.DisposalFolder(c.text), c.expected) << c.text;
}

TEST_F(FolderRulesTest, ListFoldersMustBeExistingFoldersBelowAVolumeRoot) {
    const struct {
        std::string text;
        V expected;
    } cases[] = {
        {"", V::Accepted},
        {"/", V::NotAllowed},  // a whole drive
        {"/home/", V::NotAllowed},
        {"/home", V::NotAllowed},
        {"/media/usb/", V::NotAllowed},
        {"/srv/bind/", V::NotAllowed},  // a bind mount is a mount point too
        {"/home/ann/Backup", V::Accepted},
        {"/home/ann/Backup/", V::Accepted},
        {"/tmp/work/", V::Accepted},
        {"/usr/share/", V::Accepted},
        {"/home/ann/\x95\x5c", V::Accepted},  // looked up under its full name
        {"/home/ann/\x95\x5c/", V::Accepted},
        {"/home/ann/nothing/", V::Missing},
        {"/home/ann/" + std::string(300, 'a') + "/", V::Missing},
        {"/home/ann/file.txt", V::NotAFolder},
        {"/home/ann/file.txt/", V::NotAFolder},
        {"/home/ann/fifo", V::NotAFolder},
        {"/home/ann/file.txt/x/", V::Missing},
        {"/home/ann/link", V::NotAllowed},
        {"/home/ann/link/", V::NotAllowed},
        {"/mnt/nas/share/", V::NotAllowed},
        {"/proc/1/", V::NotAllowed},
        {"relative/", V::NotAllowed},
        {"/home/ann/Backup/../", V::NotAllowed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rules.ListFolder(c.text), c.expected) << c.text;
}

TEST_F(FolderRulesTest, ANameTooLongForTheFileSystemIsRefusedOnBothKindsOfPage) {
    const std::string longName = "/home/ann/" + std::string(300, 'a');
    fs.FailOnPath(FsOperation::StatEntry, longName, ENAMETOOLONG);
    EXPECT_EQ(rules.DisposalFolder(longName + "/"), V::NotAllowed);
    EXPECT_EQ(rules.ListFolder(longName), V::NotAllowed);
}

TEST_F(FolderRulesTest, ANetworkVolumeIsRefusedWithoutTouchingIt) {
    std::vector<std::string> touched;
    fs.SetHook([&](FsOperation, const std::string& path) { touched.push_back(path); });
    EXPECT_EQ(rules.DisposalFolder("/mnt/nas/share/x/"), V::NotAllowed);
    EXPECT_EQ(rules.ListFolder("/mnt/nas/share/"), V::NotAllowed);
    for (const std::string& path : touched)
        EXPECT_EQ(path.rfind("/mnt/nas", 0), std::string::npos) << path;
}

TEST_F(FolderRulesTest, ChecksShowTheMessageOfTheRefusal) {
    ScriptedPrompter prompter;
    EXPECT_TRUE(CheckListFolder(rules, prompter, "/home/ann/nothing/"));
    EXPECT_TRUE(CheckListFolder(rules, prompter, "/home/ann/file.txt"));
    EXPECT_TRUE(CheckListFolder(rules, prompter, "/"));
    EXPECT_TRUE(CheckDisposalFolder(rules, prompter, ""));
    EXPECT_FALSE(CheckListFolder(rules, prompter, "/home/ann/Backup"));
    EXPECT_FALSE(CheckDisposalFolder(rules, prompter, "/home/ann/New/"));
    ASSERT_EQ(prompter.Prompts().size(), 4u);
    const char* expected[] = {"このﾌｫﾙﾀﾞは存在しません。", "これはﾌｫﾙﾀﾞではありません。",
                              "このﾌｫﾙﾀﾞ名は入力できません。", "このﾌｫﾙﾀﾞ名は入力できません。"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(prompter.Prompts()[i].text, expected[i]);
        EXPECT_EQ(prompter.Prompts()[i].buttons, PromptButtons::Ok);
        EXPECT_EQ(prompter.Prompts()[i].icon, PromptIcon::Exclamation);
    }
}

TEST(FolderListDuplicates, TheLaterOfTheFirstEqualPairAsTyped) {
    using Entries = std::array<std::string, kFolderListSize>;
    EXPECT_EQ(FindDuplicateFolder(Entries{}), -1);
    EXPECT_EQ(FindDuplicateFolder(Entries{"", "", "/a/", "", "", "", "/a/", ""}), 6);
    EXPECT_EQ(FindDuplicateFolder(Entries{"/b/", "/a/", "/b/", "/a/"}), 2);
    EXPECT_EQ(FindDuplicateFolder(Entries{"/tmp", "/tmp/", "/Tmp/"}), -1);  // compared as typed
}

TEST(BrowseStartFolder, DropsOneFinalSeparatorButNotTheRoot) {
    const std::pair<std::string, std::string> cases[] = {
        {"/home/ann/Backup/", "/home/ann/Backup"}, {"/", "/"}, {"/tmp", "/tmp"}, {"", ""}, {"/a/", "/a"}};
    for (const auto& [text, start] : cases)
        EXPECT_EQ(GetBrowseStartFolder(text), start) << text;
}

}  // namespace
}  // namespace vask
