// The walker on real temporary trees through the POSIX adapter.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SystemClock.h"
#include "search/FolderWalker.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using ::testing::ElementsAre;
using vask::testing::TempTree;

class QuietHost : public WalkerHost {
  public:
    void PumpMessages() override {}
    void ShowStatusText(const std::string& text) override { last = text; }
    std::string last;
};

struct RealWalk {
    std::vector<std::string> Run(const std::string& root, std::vector<std::string> patterns,
                                 WalkerSettings settings = {}) {
        state.listPattern = std::move(patterns);
        FolderWalker walker(fs, clock, host, state, std::move(settings));
        walker.WalkFolder(root);
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < state.results.Size(); ++i) {
            paths.emplace_back(state.results[i].Path().substr(root.size()));
        }
        return paths;
    }

    PosixFileSystem fs;
    SystemClock clock;
    QuietHost host;
    SearchState state;
};

TEST(RealTreeWalk, OnlyRegularFilesAndNoLinkIsFollowed) {
    TempTree tree;
    ASSERT_TRUE(tree.File("a.bak", "1234"));
    ASSERT_TRUE(tree.File("sub/b.bak"));
    ASSERT_TRUE(tree.File(".cache/c.bak"));
    ASSERT_TRUE(tree.Folder("outside"));
    ASSERT_TRUE(tree.File("outside/secret.bak"));
    ASSERT_TRUE(tree.Symlink("../outside", "sub/escape"));
    ASSERT_TRUE(tree.Symlink("a.bak", "link.bak"));
    ASSERT_TRUE(tree.Symlink("loop2", "loop1"));
    ASSERT_TRUE(tree.Symlink("loop1", "loop2"));
    ASSERT_TRUE(tree.Symlink("self", "self"));
    ASSERT_EQ(::mkfifo(tree.Path("pipe.bak").c_str(), 0666), 0);
    // Names that are not UTF-8, and a name of 255 bytes.
    ASSERT_TRUE(tree.File("bad\xff\xfe.bak"));
    const std::string longName = std::string(251, 'n') + ".bak";
    ASSERT_TRUE(tree.File(longName));

    RealWalk walk;
    WalkerSettings settings;
    settings.strOutFolderEdit[0] = tree.Path("outside/");
    const auto paths = walk.Run(tree.Root(), {"*.bak"}, settings);
    EXPECT_THAT(paths, ElementsAre("a.bak", "bad\xff\xfe.bak", longName, "sub/b.bak"));
    EXPECT_EQ(walk.state.results[0].size, 4u);
    struct stat st;
    ASSERT_EQ(::stat(tree.Path("a.bak").c_str(), &st), 0);
    EXPECT_EQ(walk.state.results[0].identity.inode, st.st_ino);
    EXPECT_EQ(walk.state.results[0].identity.device, st.st_dev);
    EXPECT_EQ(walk.state.results[0].identity.mtimeNanoseconds,
              st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);
    EXPECT_EQ(walk.host.last,
              "検索中... 4個のﾌｧｲﾙが見つかりました。削除対象容量=" + std::to_string(4 + 1 + 1 + 1) + "Bytes");
}

// Takes down a chain of folders named "d", each the only entry of the one above, from its deepest folder
// (fd, which it closes) up to the folder above the first: one descriptor at a time, climbing by "..".
// Removing it by name from the top would cost a walk of the whole depth, as a recursive rm does.
bool RemoveFolderChain(int fd, int levels) {
    if (::unlinkat(fd, "deep.bak", 0) != 0 && errno != ENOENT) return false;
    for (int level = 0; level < levels; ++level) {
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        if (up < 0 || ::unlinkat(up, "d", AT_REMOVEDIR) != 0) return false;
        fd = up;
    }
    ::close(fd);
    return true;
}

TEST(RealTreeWalk, TwentyThousandFoldersDeep) {
    constexpr int kLevels = 20000;
    TempTree tree;
    // On a tmpfs of its own where one can be mounted: creating 20,000 folders on a disk file system costs
    // seconds of inode allocation that test nothing of the walk.
    ASSERT_TRUE(tree.Folder("vol"));
    const std::string root = tree.Path("vol/");
    struct DeepVolume {
        std::string at;
        bool mounted = ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=256m") == 0;
        ~DeepVolume() {
            if (mounted) ::umount2(at.c_str(), MNT_DETACH);  // also when an assertion ended the test early
        }
    } volume{root};
    // Built with mkdirat relative to the last folder: the full path is far beyond PATH_MAX.
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int depth = 0; depth < kLevels; ++depth) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    const int file = ::openat(fd, "deep.bak", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ::close(file);
    ASSERT_TRUE(tree.File("vol/top.bak"));

    RealWalk walk;
    const auto paths = walk.Run(root, {"*.bak"});
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], "top.bak");
    EXPECT_EQ(paths[1].size(), kLevels * 2u + 8);

    // The chain goes while its deepest folder is still open; the temporary tree's own clean-up then finds
    // only top.bak.
    EXPECT_TRUE(RemoveFolderChain(fd, kLevels)) << std::strerror(errno);
}

TEST(RealTreeWalk, AMountedVolumeBelowTheRootIsNotEntered) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    TempTree tree;
    ASSERT_TRUE(tree.File("here.bak"));
    ASSERT_TRUE(tree.Folder("mnt"));
    if (::mount("tmpfs", tree.Path("mnt").c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    ASSERT_TRUE(tree.File("mnt/there.bak"));
    RealWalk walk;
    EXPECT_THAT(walk.Run(tree.Root(), {"*.bak"}), ElementsAre("here.bak"));
    ::umount2(tree.Path("mnt").c_str(), MNT_DETACH);
}

// Permission rules can only be seen by an ordinary user: root passes every check. The walk runs in a child
// process that gives up root, and reports its results through a pipe.
TEST(RealTreeWalk, PermissionsOfAnOrdinaryUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
    TempTree tree;
    const uid_t user = 65534;
    ASSERT_TRUE(tree.File("ok.bak", "x", 0666));
    ASSERT_TRUE(tree.File("readonly.bak", "x", 0444));
    ASSERT_TRUE(tree.Folder("rofolder", 0755));  // owned by root: not writable for the user
    ASSERT_TRUE(tree.File("rofolder/inner.bak", "x", 0666));
    ASSERT_TRUE(tree.Folder("closed", 0700));
    ASSERT_TRUE(tree.File("closed/hidden.bak", "x", 0666));
    ASSERT_TRUE(tree.Folder("sticky", 01777));
    ASSERT_TRUE(tree.File("sticky/roots.bak", "x", 0666));
    ASSERT_EQ(::chmod(tree.Path("sticky").c_str(), 01777), 0);
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(tree.Path("rofolder").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Path("closed").c_str(), 0700), 0);
    // The temporary tree may sit below a folder the user cannot search.
    std::string parent = tree.Root().substr(0, tree.Root().rfind('/', tree.Root().size() - 2));
    struct stat parentStatus;
    if (::stat(parent.c_str(), &parentStatus) != 0 || (parentStatus.st_mode & 0001) == 0) {
        GTEST_SKIP() << "the temporary folder's parent is not searchable by other users";
    }

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(user, user, user) != 0 ||
            ::setresuid(user, user, user) != 0) {
            ::_exit(3);
        }
        for (bool readOnlyFolders : {false, true}) {
            RealWalk walk;
            WalkerSettings settings;
            settings.bReadOnlyFolder = readOnlyFolders;
            std::string line;
            for (const auto& path : walk.Run(tree.Root(), {"*.bak"}, settings))
                line += path + ";";
            line += "\n";
            if (::write(pipeFds[1], line.data(), line.size()) < 0) ::_exit(4);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, got);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // Read-only file never; a folder the user cannot write is not entered by default, and when it is, its
    // files still cannot be removed; a closed folder cannot be read; a root-owned file in a sticky folder
    // cannot be removed by the user.
    EXPECT_EQ(output, "ok.bak;\nok.bak;\n");
}

}  // namespace
}  // namespace vask
