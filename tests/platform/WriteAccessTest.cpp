// The writability shortcut against the kernel's own access check: it may only grant what faccessat grants,
// and it must grant the ordinary case (a file of this user with its write bit) so that the search needs no
// call per file.
#include "platform/linux/WriteAccess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "tests/platform/FileHelpers.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using vask::testing::SetImmutable;
using vask::testing::TempTree;

constexpr uid_t kOtherUser = 1000;

struct Entry {
    const char* path;  // relative to the tree; a trailing "/" makes a folder
    mode_t mode;
    uid_t owner;
    bool immutable = false;    // made so after the others
    bool expectGrant = false;  // where the shortcut is on
};

bool Make(const TempTree& tree, const Entry& entry) {
    const std::string path = tree.Path(entry.path);
    const bool folder = path.back() == '/';
    if (!(folder ? tree.Folder(entry.path, entry.mode) : tree.File(entry.path, "x", entry.mode)))
        return false;
    return ::chown(path.c_str(), entry.owner, entry.owner) == 0 && ::chmod(path.c_str(), entry.mode) == 0;
}

// Every way the shortcut and the kernel disagree, as text; with expectations only where the shortcut is on.
std::vector<std::string> Disagreements(const TempTree& tree, const std::vector<Entry>& entries) {
    std::vector<std::string> faults;
    const int root = ::open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return {"cannot open the tree"};
    const WriteAccessShortcut shortcut(root);
    for (const Entry& entry : entries) {
        std::string name = entry.path;
        const bool folder = name.back() == '/';
        if (folder) name.pop_back();
        const unsigned bits = folder ? (W_OK | X_OK) : W_OK;
        struct statx sx;
        if (::statx(root, name.c_str(), AT_SYMLINK_NOFOLLOW, kSearchStatxMask, &sx) != 0) {
            faults.push_back(name + ": statx " + std::strerror(errno));
            continue;
        }
        const bool grants = shortcut.Grants(sx, bits);
        const bool kernel = ::faccessat(root, name.c_str(), static_cast<int>(bits), AT_EACCESS) == 0;
        if (grants && !kernel) faults.push_back(name + ": granted, the kernel refuses");
        if (shortcut.Enabled() && grants != entry.expectGrant)
            faults.push_back(name + (grants ? ": granted unexpectedly" : ": not granted"));
    }
    ::close(root);
    return faults;
}

TEST(WriteAccess, GrantsOnlyWhatTheKernelGrants) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for other owners, immutable files and mounts";
    TempTree tree;
    const std::vector<Entry> asRoot{
        {"own.bak", 0644, 0, false, true},
        {"ownwriteonly.bak", 0200, 0, false, true},
        {"ownreadonly.bak", 0444, 0, false, false},  // the kernel lets root write it: asked
        {"other.bak", 0666, kOtherUser, false, false},
        {"fixed.bak", 0644, 0, true, false},
        {"folder/", 0755, 0, false, true},
        {"nosearch/", 0600, 0, false, false},
        {"source/", 0755, 0, false, true},
        {"robind/", 0755, 0, false, false},  // another mount, and a read-only one
    };
    for (const Entry& entry : asRoot)
        ASSERT_TRUE(Make(tree, entry)) << entry.path;
    const bool immutable = SetImmutable(tree.Path("fixed.bak"), true);
    const bool mounted =
        ::mount(tree.Path("source").c_str(), tree.Path("robind").c_str(), nullptr, MS_BIND, nullptr) == 0 &&
        ::mount(nullptr, tree.Path("robind").c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) ==
            0;
    {
        const int fd = ::open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        EXPECT_TRUE(WriteAccessShortcut(fd).Enabled()) << "the test tree's file system keeps it off";
        ::close(fd);
    }
    std::vector<std::string> faults = Disagreements(tree, asRoot);
    if (mounted) {
        const int fd = ::open(tree.Path("robind").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        EXPECT_FALSE(WriteAccessShortcut(fd).Enabled()) << "a read-only mount";
        ::close(fd);
    }

    // An ordinary user: the owner's bits decide for its own files, everything else goes to the kernel.
    TempTree userTree;
    ASSERT_EQ(::chmod(userTree.Root().c_str(), 0777), 0);
    const std::vector<Entry> asUser{
        {"mine.bak", 0644, kOtherUser, false, true},
        {"minewriteonly.bak", 0200, kOtherUser, false, true},
        {"minereadonly.bak", 0444, kOtherUser, false, false},
        {"rootwritable.bak", 0666, 0, false, false},
        {"rootreadonly.bak", 0644, 0, false, false},
        {"minefolder/", 0700, kOtherUser, false, true},
        {"rootfolder/", 0777, 0, false, false},
    };
    for (const Entry& entry : asUser)
        ASSERT_TRUE(Make(userTree, entry)) << entry.path;
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
            ::setresuid(kOtherUser, kOtherUser, kOtherUser) != 0)
            ::_exit(3);
        std::string report;
        for (const std::string& fault : Disagreements(userTree, asUser))
            report += "as user: " + fault + "\n";
        (void)!::write(pipeFds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(got));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    if (!report.empty()) faults.push_back(report);

    if (mounted) ::umount2(tree.Path("robind").c_str(), MNT_DETACH);
    if (immutable) SetImmutable(tree.Path("fixed.bak"), false);
    for (const std::string& fault : faults)
        ADD_FAILURE() << fault;
    if (!immutable) GTEST_SKIP() << "this file system keeps no immutable flag";
    if (!mounted) GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
}

}  // namespace
}  // namespace vask
