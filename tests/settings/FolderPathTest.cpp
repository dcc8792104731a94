#include "settings/FolderPath.h"

#include <gtest/gtest.h>

#include "platform/fakes/MemoryEnvironment.h"

namespace vask {
namespace {

TEST(FolderPath, LinuxKeepsCaseAndAppendsOneSlash) {
    EXPECT_EQ(NormalizedFolderPath("/home/Ann/Docs"), "/home/Ann/Docs/");
    EXPECT_EQ(NormalizedFolderPath("/home/Ann/Docs/"), "/home/Ann/Docs/");
    EXPECT_EQ(NormalizedFolderPath(""), "");
    EXPECT_EQ(NormalizedFolderPath("/"), "/");
    EXPECT_EQ(NormalizedFolderPath("/d/\xE8\xA1\xA8"), "/d/\xE8\xA1\xA8/");
    EXPECT_TRUE(PathEquals("/usr/", "/usr/"));
    EXPECT_FALSE(PathEquals("/Usr/", "/usr/"));
}

TEST(FolderPath, DefaultFoldersComeFromTheEnvironment) {
    MemoryEnvironment env;
    env.variables = {{"HOME", "/home/ann"}, {"TMPDIR", "/var/tmp/ann"}};
    EXPECT_EQ(GetWindowsFolder(), "/usr/");
    EXPECT_EQ(GetDefaultBackupFolder(env), "/home/ann/Backup/");
    EXPECT_EQ(GetDefaultLzhFolder(env), "/home/ann/BackupLzh/");
    EXPECT_EQ(GetTempFolder(env), "/var/tmp/ann/");
    EXPECT_EQ(GetRecentFolder(env), "/home/ann/.local/share/RecentDocuments/");
    env.variables["XDG_DATA_HOME"] = "/data/ann/";
    EXPECT_EQ(GetRecentFolder(env), "/data/ann/RecentDocuments/");

    // Unset or relative values fall back; a relative TMPDIR must not make the walk start in the current
    // directory.
    MemoryEnvironment bare;
    bare.variables = {{"TMPDIR", "tmp"}, {"XDG_DATA_HOME", "rel"}};
    EXPECT_EQ(GetTempFolder(bare), "/tmp/");
    EXPECT_EQ(GetRecentFolder(bare), "");
    EXPECT_EQ(GetDefaultBackupFolder(bare), "/Backup/");
}

}  // namespace
}  // namespace vask
