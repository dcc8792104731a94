// Which real files a search lists, and that nobody can tell a search ran: no inotify event that says a file
// was written, no lease broken. Also the walker against the plain walk on a real tree.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <random>

#include "platform/linux/KernelBatch.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SystemClock.h"
#include "search/FolderWalker.h"
#include "tests/platform/FileHelpers.h"
#include "tests/platform/TempTree.h"
#include "tests/support/ReferenceWalker.h"

namespace vask {
namespace {

using ::testing::ElementsAre;
using vask::testing::SetImmutable;
using vask::testing::TempTree;

class SilentHost : public WalkerHost {
  public:
    void PumpMessages() override {}
    void ShowStatusText(const std::string&) override {}
};

std::vector<std::string> Search(const std::string& root, std::vector<std::string> patterns,
                                WalkerSettings settings = {}) {
    PosixFileSystem fs;
    SystemClock clock;
    SilentHost host;
    SearchState state;
    state.listPattern = std::move(patterns);
    FolderWalker walker(fs, clock, host, state, std::move(settings));
    walker.WalkFolder(root);
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < state.results.Size(); ++i)
        paths.emplace_back(state.results[i].Path().substr(root.size()));
    return paths;
}

// What the port's test says of one entry.
FileCheck Check(const std::string& folder, const std::string& name) {
    PosixFileSystem fs;
    FileCheck check;
    check.name = name.c_str();
    check.error = -1;
    auto directory = fs.OpenFolder(folder);
    if (directory) directory.value()->CheckFiles(std::span<FileCheck>(&check, 1));
    return check;
}

// Files a search may and may not list, as root (the superuser passes permission bits, not these).
TEST(RealTreeWritability, WhatTheSuperuserMayWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "immutable files and mounts need root";
    TempTree tree;
    ASSERT_TRUE(tree.File("plain.bak"));
    ASSERT_TRUE(tree.File("fixed.bak"));
    ASSERT_TRUE(tree.File("noperm.bak", "x", 0444));  // root may still write it
    ASSERT_TRUE(tree.File("source/inner.bak"));
    ASSERT_TRUE(tree.Folder("robind"));
    // A running executable: the kernel may refuse to open it for writing, the search lists it all the same.
    ASSERT_EQ(std::system(("cp /bin/sleep '" + tree.Path("run.bak") + "'").c_str()), 0);
    const pid_t running = ::fork();
    ASSERT_GE(running, 0);
    if (running == 0) {
        ::execl(tree.Path("run.bak").c_str(), "run.bak", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const bool immutable = SetImmutable(tree.Path("fixed.bak"), true);
    const bool mounted =
        ::mount(tree.Path("source").c_str(), tree.Path("robind").c_str(), nullptr, MS_BIND, nullptr) == 0 &&
        ::mount(nullptr, tree.Path("robind").c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) ==
            0;
    for (int tries = 0; tries < 200; ++tries) {  // until the child runs the copy
        char exe[4096] = {};
        if (::readlink(("/proc/" + std::to_string(running) + "/exe").c_str(), exe, sizeof exe - 1) > 0 &&
            std::string(exe) == tree.Path("run.bak"))
            break;
        ::usleep(5000);
    }

    WalkerSettings settings;
    settings.bReadOnlyFolder = true;  // enter the read-only mount: its files must still be refused
    const auto paths = Search(tree.Root(), {"*.bak"}, settings);

    std::vector<std::string> expected{"noperm.bak", "plain.bak", "run.bak", "source/inner.bak"};
    if (!immutable) expected.insert(expected.begin(), "fixed.bak");
    EXPECT_EQ(paths, expected);
    if (mounted) {
        EXPECT_FALSE(Check(tree.Path("robind/"), "inner.bak").writable);
        EXPECT_TRUE(Check(tree.Path("source/"), "inner.bak").writable);
    }
    if (immutable) {
        EXPECT_FALSE(Check(tree.Root(), "fixed.bak").writable);
    }

    ::kill(running, SIGKILL);
    ::waitpid(running, nullptr, 0);
    if (mounted) ::umount2(tree.Path("robind").c_str(), MNT_DETACH);
    if (immutable) SetImmutable(tree.Path("fixed.bak"), false);
    if (!immutable) GTEST_SKIP() << "this file system keeps no immutable flag";
    if (!mounted) GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
}

// A file without write permission for an ordinary user, checked in a child that gives up root.
TEST(RealTreeWritability, AnOrdinaryUserCannotWriteWithoutPermission) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
    TempTree tree;
    ASSERT_TRUE(tree.File("mine.bak", "x", 0666));
    ASSERT_TRUE(tree.File("readonly.bak", "x", 0644));  // owned by root
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0777), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) ::_exit(3);
        const bool mine = Check(tree.Root(), "mine.bak").writable;
        const FileCheck readonly = Check(tree.Root(), "readonly.bak");
        ::_exit(mine && readonly.error == 0 && !readonly.writable ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

std::atomic<int> leaseBreaks{0};
void OnLeaseBreak(int) {
    leaseBreaks.fetch_add(1);
}

// The search is invisible: a watcher of the folder hears of no write, a lease holder keeps its lease. The
// control at the end shows that an open for writing, as searches used to make, is seen by both.
TEST(RealTreeWritability, ASearchRaisesNoWriteEventAndBreaksNoLease) {
    TempTree tree;
    ASSERT_TRUE(tree.File("watched.bak"));
    ASSERT_TRUE(tree.File("leased.bak"));
    const int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watcher, 0);
    ASSERT_GE(::inotify_add_watch(watcher, tree.Root().c_str(), IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB), 0);
    struct sigaction action = {};
    action.sa_handler = OnLeaseBreak;
    struct sigaction previous = {};
    ASSERT_EQ(::sigaction(SIGIO, &action, &previous), 0);
    leaseBreaks = 0;
    const int leased = ::open(tree.Path("leased.bak").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(leased, 0);
    const bool haveLease = ::fcntl(leased, F_SETLEASE, F_RDLCK) == 0;

    EXPECT_THAT(Search(tree.Root(), {"*.bak"}), ElementsAre("leased.bak", "watched.bak"));

    const auto pendingEvents = [&] {
        alignas(struct inotify_event) char buffer[4096];
        const ssize_t got = ::read(watcher, buffer, sizeof buffer);
        return got > 0 ? got : 0;
    };
    EXPECT_EQ(pendingEvents(), 0) << "the search was seen as a write";
    EXPECT_EQ(leaseBreaks.load(), 0);
    if (haveLease) {
        EXPECT_EQ(::fcntl(leased, F_GETLEASE), F_RDLCK);
    }

    PosixFileSystem fs;
    auto root = fs.OpenFolder(tree.Root());
    ASSERT_TRUE(root);
    EXPECT_TRUE(root.value()->ProbeWritable("watched.bak"));
    EXPECT_GT(pendingEvents(), 0) << "the watcher does not work: the check above proves nothing";
    if (haveLease) {
        const int writer = ::open(tree.Path("leased.bak").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_LT(writer, 0);
        EXPECT_EQ(errno, EWOULDBLOCK);
        EXPECT_EQ(leaseBreaks.load(), 1);
        ::fcntl(leased, F_SETLEASE, F_UNLCK);
    }
    ::close(leased);
    ::close(watcher);
    ::sigaction(SIGIO, &previous, nullptr);
    if (!haveLease) GTEST_SKIP() << "no lease could be taken here: " << std::strerror(errno);
}

// A real tree of links, FIFOs, unreadable and read-only folders and odd names: the walker finds what the
// plain walk finds, in the same order, with the same identities.
TEST(RealTreeWritability, SameResultsAsThePlainWalk) {
    TempTree tree;
    std::mt19937 random(7);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char* stems[] = {"a", "B", "old", "\xe6\x97\xa7", "x y", ".h", "\xff"};
    std::vector<std::string> folders{""};
    for (int i = 0; i < 80; ++i) {
        const std::string folder =
            folders[pick(static_cast<int>(folders.size()))] + stems[pick(7)] + std::to_string(i) + "/";
        ASSERT_TRUE(tree.Folder(folder));
        folders.push_back(folder);
    }
    for (int i = 0; i < 1500; ++i) {
        const std::string name = folders[pick(static_cast<int>(folders.size()))] + stems[pick(7)] +
                                 std::to_string(i) + (pick(3) == 0 ? ".tmp" : ".bak");
        const int kind = pick(30);
        if (kind == 0) {
            ASSERT_TRUE(tree.Symlink("/etc/passwd", name));
        } else if (kind == 1) {
            ASSERT_EQ(::mkfifo(tree.Path(name).c_str(), 0666), 0);
        } else {
            ASSERT_TRUE(tree.File(name, std::string(static_cast<std::size_t>(pick(100)), 'v'), 0644));
        }
    }
    ASSERT_EQ(::chmod(tree.Path(folders[5]).c_str(), 0555), 0);
    ASSERT_EQ(::chmod(tree.Path(folders[9]).c_str(), 0000), 0);
    ASSERT_TRUE(tree.Symlink("..", folders[3] + "up"));

    PosixFileSystem fs;
    SearchState expected;
    expected.listPattern = {"*.bak", "o*"};
    testing::ReferenceWalk(fs, WalkerSettings{}, expected, tree.Root());
    ASSERT_GT(expected.results.Size(), 500u);
    for (const bool readAhead : {false, true}) {
        for (const bool batched : {true, false}) {  // io_uring and the plain calls
            SCOPED_TRACE(std::string(readAhead ? "read ahead" : "one thread") +
                         (batched ? ", io_uring" : ", plain"));
            SetKernelBatching(batched);
            SystemClock clock;
            SilentHost host;
            SearchState state;
            state.listPattern = expected.listPattern;
            FolderWalker walker(fs, clock, host, state, WalkerSettings{});
            walker.SetReadAhead(readAhead);
            walker.SetOpenFolderBudget(8);
            walker.WalkFolder(tree.Root());
            ASSERT_EQ(state.results.Size(), expected.results.Size());
            for (std::size_t i = 0; i < state.results.Size(); ++i) {
                ASSERT_EQ(state.results[i].Path(), expected.results[i].Path());
                ASSERT_EQ(state.results[i].identity, expected.results[i].identity);
                ASSERT_EQ(state.results[i].size, expected.results[i].size);
            }
        }
    }
    SetKernelBatching(true);
}

}  // namespace
}  // namespace vask
