#include "platform/linux/PosixFileSystem.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>

#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using vask::testing::TempTree;

EntryKind KindOf(const std::vector<DirectoryEntry>& entries, const std::string& name) {
    for (const auto& entry : entries) {
        if (entry.name == name) return entry.kind;
    }
    return EntryKind::Unknown;
}

TEST(PosixFileSystem, ListsStatsAndOpensWithoutFollowingLinks) {
    TempTree tree;
    ASSERT_TRUE(tree.File("dir/file.bak", "12345"));
    ASSERT_TRUE(tree.Symlink("dir", "linkdir"));
    ASSERT_TRUE(tree.Symlink("dir/file.bak", "link.bak"));
    ASSERT_EQ(::mkfifo(tree.Path("fifo.bak").c_str(), 0666), 0);

    PosixFileSystem fs;
    auto root = fs.OpenFolder(tree.Root());
    ASSERT_TRUE(root) << root.status().ToString();
    auto entries = root.value()->ReadEntries();
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries.value().size(), 4u);  // no "." or ".."
    EXPECT_EQ(KindOf(entries.value(), "dir"), EntryKind::Directory);
    EXPECT_EQ(KindOf(entries.value(), "linkdir"), EntryKind::Symlink);
    // Listing twice gives the same entries: the descriptor's position is not left at the end.
    EXPECT_EQ(root.value()->ReadEntries().value().size(), 4u);

    auto linkStatus = root.value()->StatEntry("link.bak");
    ASSERT_TRUE(linkStatus);
    EXPECT_EQ(linkStatus.value().kind, EntryKind::Symlink);
    EXPECT_FALSE(root.value()->OpenSubfolder("linkdir"));
    EXPECT_EQ(root.value()->ProbeWritable("link.bak").status().code(), ELOOP);
    // A FIFO without a reader must neither hang nor count as writable.
    EXPECT_EQ(root.value()->ProbeWritable("fifo.bak").status().code(), ENXIO);

    auto dir = root.value()->OpenSubfolder("dir");
    ASSERT_TRUE(dir);
    auto file = dir.value()->StatEntry("file.bak");
    ASSERT_TRUE(file);
    EXPECT_EQ(file.value().kind, EntryKind::Regular);
    EXPECT_EQ(file.value().size, 5u);
    auto probed = dir.value()->ProbeWritable("file.bak");
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed.value().inode, file.value().inode);
    EXPECT_EQ(probed.value().size, 5u);
    auto parent = dir.value()->OpenParent();
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent.value()->StatSelf().value().inode, root.value()->StatSelf().value().inode);
    auto missing = dir.value()->StatEntry("nothing");
    EXPECT_EQ(missing.status().code(), ENOENT);
    EXPECT_NE(missing.status().ToString().find("nothing"), std::string::npos);
}

TEST(PosixFileSystem, OpenFolderRefusesLinksDotsAndRelativePaths) {
    TempTree tree;
    ASSERT_TRUE(tree.Folder("real/inner"));
    ASSERT_TRUE(tree.Symlink("real", "alias"));
    PosixFileSystem fs;
    EXPECT_TRUE(fs.OpenFolder(tree.Path("real/inner")));
    EXPECT_TRUE(fs.OpenFolder(tree.Path("real/inner/")));
    EXPECT_FALSE(fs.OpenFolder(tree.Path("alias/inner/")));
    EXPECT_FALSE(fs.OpenFolder(tree.Path("alias")));
    EXPECT_FALSE(fs.OpenFolder(tree.Path("real/../real/")));
    EXPECT_FALSE(fs.OpenFolder("relative/path/"));
    EXPECT_FALSE(fs.OpenFolder(""));
    EXPECT_TRUE(fs.OpenFolder("/"));
    auto notThere = fs.OpenFolder(tree.Path("real/none/"));
    EXPECT_EQ(notThere.status().code(), ENOENT);
}

TEST(PosixFileSystem, SocketsAndDevicesAreOther) {
    TempTree tree;
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = tree.Path("s.bak");
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    PosixFileSystem fs;
    auto root = fs.OpenFolder(tree.Root());
    ASSERT_TRUE(root);
    EXPECT_EQ(root.value()->StatEntry("s.bak").value().kind, EntryKind::Other);
    EXPECT_FALSE(root.value()->ProbeWritable("s.bak"));
    ::close(sock);
}

}  // namespace
}  // namespace vask
