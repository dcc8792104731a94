// The single-instance lock on real lock files: a second holder is refused, a dead holder never blocks, the
// places fall back, and planted files are not trusted.
#include "platform/linux/FlockInstanceLock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>

#include "platform/fakes/MemoryEnvironment.h"
#include "tests/platform/TempTree.h"

extern char** environ;

namespace vask {
namespace {

class FlockInstanceLockTest : public ::testing::Test {
  protected:
    FlockInstanceLockTest() {
        tree.Folder("run");
        tree.Folder("tmp");
        desktop.variables = {{"XDG_RUNTIME_DIR", tree.Path("run")}, {"TMPDIR", tree.Path("tmp")}};
        cron.variables = {{"TMPDIR", tree.Path("tmp")}};  // cron gives no XDG_RUNTIME_DIR
    }
    std::string TempLock() const { return tree.Path("tmp/Vask-" + std::to_string(::getuid()) + ".lock"); }

    vask::testing::TempTree tree;
    MemoryEnvironment desktop;
    MemoryEnvironment cron;
};

TEST_F(FlockInstanceLockTest, SecondHolderRefusedUntilTheFirstEnds) {
    auto first = std::make_unique<FlockInstanceLock>(desktop);
    ASSERT_EQ(first->Acquire(), InstanceLockResult::Acquired);
    EXPECT_EQ(first->Candidates(), (std::vector<std::string>{tree.Path("run/Vask.lock"), TempLock()}));

    FlockInstanceLock second(desktop);
    EXPECT_EQ(second.Acquire(), InstanceLockResult::AlreadyRunning);
    FlockInstanceLock fromCron(cron);  // meets the desktop copy in the temporary folder
    EXPECT_EQ(fromCron.Acquire(), InstanceLockResult::AlreadyRunning);

    first.reset();
    EXPECT_EQ(fromCron.Acquire(), InstanceLockResult::Acquired);
    EXPECT_EQ(second.Acquire(), InstanceLockResult::AlreadyRunning);  // the cron copy runs now
}

TEST_F(FlockInstanceLockTest, AKilledHolderAndAChildItStartedNeverBlock) {
    // A holder killed outright.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        FlockInstanceLock lock(desktop);
        const char answer = lock.Acquire() == InstanceLockResult::Acquired ? 'y' : 'n';
        if (::write(ready[1], &answer, 1) != 1) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(answer, 'y');
    auto probe = std::make_unique<FlockInstanceLock>(desktop);
    ASSERT_EQ(probe->Acquire(), InstanceLockResult::AlreadyRunning);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(probe->Acquire(), InstanceLockResult::Acquired);

    // A program started while the lock is held (a viewer) does not keep it after Vask ends.
    pid_t child = 0;
    const char* argv[] = {"sleep", "5", nullptr};
    ASSERT_EQ(::posix_spawnp(&child, "sleep", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    probe.reset();
    // The child holds copies of the descriptors for a moment between its start and its exec; it must not
    // hold them for its life (5 s).
    FlockInstanceLock next(desktop);
    for (int i = 0; i < 100 && next.Acquire() != InstanceLockResult::Acquired; ++i)
        ::usleep(10000);
    EXPECT_EQ(next.Acquire(), InstanceLockResult::Acquired);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST_F(FlockInstanceLockTest, PlacesFallBackAndPlantedFilesAreRefused) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> variables;
        std::function<void()> plant;
        InstanceLockResult expected;
        std::vector<std::string> failedPaths;
    };
    const std::string runLock = tree.Path("run/Vask.lock");
    const std::vector<Case> cases = {
        {"runtime folder missing",
         {{"XDG_RUNTIME_DIR", tree.Path("gone")}, {"TMPDIR", tree.Path("tmp")}},
         [] {},
         InstanceLockResult::Acquired,
         {}},
        {"runtime folder relative",
         {{"XDG_RUNTIME_DIR", "run"}, {"TMPDIR", tree.Path("tmp")}},
         [] {},
         InstanceLockResult::Acquired,
         {}},
        {"link planted in the runtime folder",
         desktop.variables,
         [&] { tree.Symlink(tree.Path("elsewhere"), "run/Vask.lock"); },
         InstanceLockResult::Acquired,
         {}},
        {"FIFO planted in the temporary folder, no runtime folder",
         cron.variables,
         [&] { ::mkfifo(TempLock().c_str(), 0600); },
         InstanceLockResult::Unavailable,
         {TempLock()}},
        {"link and FIFO in both places",
         desktop.variables,
         [&] {
             tree.Symlink(tree.Path("elsewhere"), "run/Vask.lock");
             ::mkfifo(TempLock().c_str(), 0600);
         },
         InstanceLockResult::Unavailable,
         {runLock, TempLock()}},
        {"folder at the name",
         cron.variables,
         [&] { ::mkdir(TempLock().c_str(), 0700); },
         InstanceLockResult::Unavailable,
         {TempLock()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(runLock.c_str());
        ::unlink(TempLock().c_str());
        ::rmdir(TempLock().c_str());
        c.plant();
        MemoryEnvironment environment;
        environment.variables = c.variables;
        FlockInstanceLock lock(environment);
        EXPECT_EQ(lock.Acquire(), c.expected);
        const std::string text = lock.FailureText();
        if (c.failedPaths.empty()) {
            EXPECT_EQ(text, "");
        }
        for (const std::string& path : c.failedPaths)
            EXPECT_NE(text.find(path + ": "), std::string::npos) << text;
        struct stat st {};
        EXPECT_TRUE(::lstat(tree.Path("elsewhere").c_str(), &st) != 0) << "a link was followed";
    }
}

}  // namespace
}  // namespace vask
