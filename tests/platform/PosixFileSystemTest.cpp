#include "platform/linux/PosixFileSystem.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <unistd.h>

#include <algorithm>
#include <vector>

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

namespace vask {
namespace {

std::string ReadAll(ReadableFile& file) {
    std::string bytes;
    char buffer[7];  // small on purpose: reads come back in pieces
    for (;;) {
        auto got = file.Read(buffer, sizeof buffer);
        if (!got || got.value() == 0) return bytes;
        bytes.append(buffer, got.value());
    }
}

TEST(PosixFileSystem, WritesRenamesAndRemovesRelativeToTheFolder) {
    vask::testing::TempTree tree;
    ASSERT_TRUE(tree.Folder("a"));
    ASSERT_TRUE(tree.File("a/taken", "old"));
    ASSERT_TRUE(tree.Symlink("taken", "a/link"));
    PosixFileSystem fs;
    auto folder = fs.OpenFolder(tree.Path("a"));
    ASSERT_TRUE(folder);
    Directory& a = *folder.value();

    auto created = a.CreateFile("new", FileCreation::Exclusive, 0600);
    ASSERT_TRUE(created) << created.status().ToString();
    ASSERT_TRUE(created.value()->Write("hello, world"));
    ASSERT_TRUE(created.value()->Sync());
    ASSERT_TRUE(created.value()->SetTimesAndMode(1000000000, 5, 0640));
    ASSERT_TRUE(created.value()->Close());
    EXPECT_EQ(a.CreateFile("new", FileCreation::Exclusive, 0600).status().code(), EEXIST);
    EXPECT_FALSE(a.CreateFile("link", FileCreation::Truncate, 0600));  // never written through a link
    auto status = a.StatEntry("new");
    EXPECT_EQ(status.value().mtimeSeconds, 1000000000);
    EXPECT_EQ(status.value().mode, 0640u);

    auto appended = a.CreateFile("new", FileCreation::Append, 0600);
    ASSERT_TRUE(appended && appended.value()->Write("!"));
    ASSERT_TRUE(appended.value()->Close());
    auto reader = a.OpenForReading("new");
    ASSERT_TRUE(reader);
    EXPECT_EQ(ReadAll(*reader.value()), "hello, world!");
    EXPECT_FALSE(a.OpenForReading("link"));

    // Renames never replace unless told to.
    EXPECT_EQ(a.RenameTo("new", a, "taken", false).code(), EEXIST);
    ASSERT_TRUE(a.CreateSubfolder("sub", 0700));
    EXPECT_EQ(a.CreateSubfolder("sub", 0700).code(), EEXIST);
    auto sub = a.OpenSubfolder("sub");
    ASSERT_TRUE(sub);
    ASSERT_TRUE(a.RenameTo("new", *sub.value(), "moved", false));
    ASSERT_TRUE(a.RenameTo("taken", *sub.value(), "moved", true));
    EXPECT_EQ(ReadAll(*sub.value()->OpenForReading("moved").value()), "old");
    ASSERT_TRUE(sub.value()->Sync());
    ASSERT_TRUE(sub.value()->RemoveFile("moved"));
    EXPECT_EQ(sub.value()->RemoveFile("moved").code(), ENOENT);
    EXPECT_EQ(sub.value()->Path(), tree.Path("a/sub/"));
}

TEST(PosixFileSystem, RenameAcrossVolumesSaysExdevAndChangesNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    vask::testing::TempTree tree;
    ASSERT_TRUE(tree.File("file", "data"));
    ASSERT_TRUE(tree.Folder("mnt"));
    if (::mount("tmpfs", tree.Path("mnt").c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    PosixFileSystem fs;
    auto root = fs.OpenFolder(tree.Root());
    auto mnt = fs.OpenFolder(tree.Path("mnt"));
    ASSERT_TRUE(root && mnt);
    EXPECT_EQ(root.value()->RenameTo("file", *mnt.value(), "file", false).code(), EXDEV);
    EXPECT_TRUE(root.value()->StatEntry("file"));
    EXPECT_FALSE(mnt.value()->StatEntry("file"));
    mnt.value().reset();  // close before unmounting
    ::umount2(tree.Path("mnt").c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace vask

namespace vask {
namespace {

TEST(PosixFileSystem, MovesToTheTrashOfTheGivenHome) {
    vask::testing::TempTree tree;
    ASSERT_TRUE(tree.File("data/old.bak", "x"));
    ASSERT_TRUE(tree.Folder("home/.local/share"));
    TrashContext context;
    context.homeTrash = tree.Path("home/.local/share/Trash");
    context.userId = ::geteuid();
    PosixFileSystem fs(context);
    auto folder = fs.OpenFolder(tree.Path("data"));
    ASSERT_TRUE(folder);
    const Status trashed = folder.value()->MoveToTrash("old.bak", tree.Path("data/old.bak"));
    ASSERT_TRUE(trashed) << trashed.ToString();
    ASSERT_TRUE(fs.FlushTrash());
    struct stat st;
    EXPECT_NE(::lstat(tree.Path("data/old.bak").c_str(), &st), 0);
    EXPECT_EQ(::lstat(tree.Path("home/.local/share/Trash/files/old.bak").c_str(), &st), 0);
    EXPECT_EQ(::lstat(tree.Path("home/.local/share/Trash/info/old.bak.trashinfo").c_str(), &st), 0);
}

}  // namespace
}  // namespace vask

namespace vask {
namespace {

TEST(PosixFileSystem, StagedTrashingMovesOnlyFilesThatAreUnchanged) {
    vask::testing::TempTree tree;
    ASSERT_TRUE(tree.File("data/a.bak", "a"));
    ASSERT_TRUE(tree.File("data/b.bak", "b"));
    ASSERT_TRUE(tree.File("data/c.bak", "c"));
    ASSERT_TRUE(tree.Folder("home"));
    TrashContext context;
    context.homeTrash = tree.Path("home/Trash");
    context.userId = ::geteuid();
    PosixFileSystem fs(context);
    auto folder = fs.OpenFolder(tree.Path("data"));
    ASSERT_TRUE(folder);
    for (const char* name : {"a.bak", "b.bak"}) {
        auto status = folder.value()->StatEntry(name);
        ASSERT_TRUE(status);
        ASSERT_TRUE(
            folder.value()->StageForTrash(name, tree.Path(std::string("data/") + name), status.value()));
    }
    ASSERT_TRUE(tree.File("data/b.bak", "changed after the check"));
    const std::vector<Status> statuses = fs.CommitStagedTrash();
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_TRUE(statuses[0]);
    EXPECT_TRUE(statuses[1].changed()) << statuses[1].ToString();
    ASSERT_TRUE(fs.FlushTrash());
    struct stat st;
    EXPECT_EQ(::lstat(tree.Path("home/Trash/files/a.bak").c_str(), &st), 0);
    EXPECT_EQ(::lstat(tree.Path("home/Trash/info/a.bak.trashinfo").c_str(), &st), 0);
    EXPECT_EQ(::lstat(tree.Path("data/b.bak").c_str(), &st), 0);  // kept, and no info file of it
    EXPECT_NE(::lstat(tree.Path("home/Trash/info/b.bak.trashinfo").c_str(), &st), 0);

    // Discarded: stays, and leaves nothing in the trash.
    auto c = folder.value()->StatEntry("c.bak");
    ASSERT_TRUE(folder.value()->StageForTrash("c.bak", tree.Path("data/c.bak"), c.value()));
    fs.DiscardStagedTrash();
    EXPECT_TRUE(fs.CommitStagedTrash().empty());
    EXPECT_EQ(::lstat(tree.Path("data/c.bak").c_str(), &st), 0);
    EXPECT_NE(::lstat(tree.Path("home/Trash/info/c.bak.trashinfo").c_str(), &st), 0);
}

// Files kept by bare name: a FIFO, a link, a folder or another user's file of the name is refused at once
// (an alarm ends the test if anything blocks); a regular file of ours is used; the exclusive creation
// replaces a leftover of ours with a new file of mode 0600 and never changes a refused entry.
TEST(PosixFileSystem, OwnFilesAreRegularFilesOfThisUserOpenedWithoutBlocking) {
    TempTree tree;
    ASSERT_TRUE(tree.Folder("cwd", 01777));  // shared and sticky, like /tmp
    ASSERT_EQ(::chmod(tree.Path("cwd").c_str(), 01777), 0);
    ASSERT_EQ(::mkfifo(tree.Path("cwd/fifo").c_str(), 0666), 0);
    ASSERT_TRUE(tree.Symlink("target", "cwd/link"));
    ASSERT_TRUE(tree.Symlink("missing", "cwd/dangling"));
    ASSERT_TRUE(tree.File("cwd/target", "keep"));
    ASSERT_TRUE(tree.Folder("cwd/folder"));
    ASSERT_TRUE(tree.File("cwd/ours", "old contents\r\n", 0644));
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_TRUE(tree.File("cwd/theirs", "theirs"));
        ASSERT_EQ(::chown(tree.Path("cwd/theirs").c_str(), 65534, 65534), 0);
    }
    PosixFileSystem fs;
    auto folder = fs.OpenFolder(tree.Path("cwd"));
    ASSERT_TRUE(folder);
    Directory& cwd = *folder.value();

    ::alarm(20);
    struct Refused {
        const char* name;
        int error;
    };
    std::vector<Refused> refused = {
        {"fifo", ENXIO}, {"link", ELOOP}, {"dangling", ELOOP}, {"folder", EISDIR}};
    if (root) refused.push_back({"theirs", EPERM});
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.name);
        struct stat before {};
        ASSERT_EQ(::lstat(tree.Path(std::string("cwd/") + r.name).c_str(), &before), 0);
        EXPECT_EQ(cwd.CheckOwnFile(r.name).code(), r.error);
        for (FileCreation how : {FileCreation::Exclusive, FileCreation::Truncate, FileCreation::Append}) {
            EXPECT_EQ(cwd.OpenOwnFile(r.name, how, 0600).status().code(), r.error);
        }
        struct stat after {};
        ASSERT_EQ(::lstat(tree.Path(std::string("cwd/") + r.name).c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_size, before.st_size);
    }
    ::alarm(0);
    EXPECT_EQ(ReadAll(*cwd.OpenForReading("target").value()), "keep");
    EXPECT_TRUE(cwd.CheckOwnFile("absent"));
    EXPECT_TRUE(cwd.CheckOwnFile("ours"));

    // Appending keeps, emptying empties; the file stays the same one.
    struct stat ours {};
    ASSERT_EQ(::lstat(tree.Path("cwd/ours").c_str(), &ours), 0);
    {
        auto appended = cwd.OpenOwnFile("ours", FileCreation::Append, 0600);
        ASSERT_TRUE(appended) << appended.status().ToString();
        ASSERT_TRUE(appended.value()->Write("more"));
        ASSERT_TRUE(appended.value()->Close());
    }
    auto reader = cwd.OpenForReading("ours");
    ASSERT_TRUE(reader);
    char tail[2] = {};
    ASSERT_EQ(reader.value()->ReadAt(12, tail, 2).value(), 2u);
    EXPECT_EQ(std::string(tail, 2), "\r\n");
    EXPECT_EQ(reader.value()->ReadAt(100, tail, 2).value(), 0u);
    EXPECT_EQ(ReadAll(*reader.value()), "old contents\r\nmore");  // ReadAt left the position alone
    ASSERT_TRUE(cwd.OpenOwnFile("ours", FileCreation::Truncate, 0600));
    struct stat emptied {};
    ASSERT_EQ(::lstat(tree.Path("cwd/ours").c_str(), &emptied), 0);
    EXPECT_EQ(emptied.st_size, 0);
    EXPECT_EQ(emptied.st_ino, ours.st_ino);
    EXPECT_EQ(emptied.st_mode & 07777, 0644u);

    // Exclusive: a leftover of ours goes; the new file is 0600 whatever the leftover's mode was.
    ASSERT_TRUE(tree.File("cwd/list", "leftover", 0666));
    struct stat leftover {};
    ASSERT_EQ(::lstat(tree.Path("cwd/list").c_str(), &leftover), 0);
    auto created = cwd.OpenOwnFile("list", FileCreation::Exclusive, 0600);
    ASSERT_TRUE(created) << created.status().ToString();
    ASSERT_TRUE(created.value()->Write("m"));
    ASSERT_TRUE(created.value()->Close());
    struct stat fresh {};
    ASSERT_EQ(::lstat(tree.Path("cwd/list").c_str(), &fresh), 0);
    EXPECT_EQ(fresh.st_mode & 07777, 0600u);
    EXPECT_EQ(fresh.st_size, 1);
    EXPECT_EQ(fresh.st_uid, ::geteuid());
    if (!root) GTEST_SKIP() << "the other-user case needs root to chown";
}

}  // namespace
}  // namespace vask
