// The real vask program in processes of its own, without a display: two starts, an unattended run on a
// real tree (a tmpfs of its own, so the walk sees nothing else), the refusals, and SIGTERM during the wait
// and during a disposal. Every run is bounded: a run that does not end in time is killed and fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryMainView.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "platform/linux/LinuxVolumeSource.h"
#include "platform/linux/QtProfileStore.h"
#include "search/DriveList.h"
#include "settings/SettingsStore.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// One run of the program: stderr goes to a file; the environment is exactly what the test gives.
class VaskProcess {
  public:
    VaskProcess(const std::vector<std::string>& command,
                const std::map<std::string, std::string>& environment, const std::string& folder,
                const std::string& stderrPath)
        : stderrPath_(stderrPath) {
        pid_ = ::fork();
        if (pid_ != 0) return;
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(err, 2);
        std::vector<std::string> env;
        for (const auto& [name, value] : environment)
            env.push_back(name + "=" + value);
        std::vector<char*> argv, envp;
        for (const std::string& word : command)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        for (std::string& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ~VaskProcess() {
        if (!status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // The exit status (128 + signal when killed by one), or nullopt when it did not end in time (it is then
    // killed).
    std::optional<int> Wait(std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        while (!status_) {
            int raw = 0;
            const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
            if (done == pid_) {
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                break;
            }
            if (Clock::now() > deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return status_;
    }
    bool Running() {
        int raw = 0;
        return !status_ && ::waitpid(pid_, &raw, WNOHANG) == 0;
    }
    pid_t Pid() const { return pid_; }
    std::string Stderr() const { return ReadAll(stderrPath_); }

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string stderrPath_;
};

class VaskProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
        // A mount table of our own: volumes that other programs mount meanwhile would change the drive list
        // between the prepared settings and the run.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            GTEST_SKIP() << "cannot make a mount namespace: " << std::strerror(errno);
        }
        for (const char* folder : {"vol", "target", "cfg", "run", "tmp", "cwd", "home"})
            tree.Folder(folder);
        ::chmod(tree.Path("run").c_str(), 0700);  // as a runtime folder is
        if (::mount("tmpfs", tree.Path("vol").c_str(), "tmpfs", 0, "size=64m") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        }
        mounted = true;
        environment = {{"XDG_CONFIG_HOME", tree.Path("cfg")},
                       {"XDG_RUNTIME_DIR", tree.Path("run")},
                       {"TMPDIR", tree.Path("tmp")},
                       {"HOME", tree.Path("home")},
                       {"XDG_DATA_HOME", tree.Path("home")},
                       {"PATH", "/usr/bin:/bin"},
                       {"LANG", "C.UTF-8"}};
        tree.File("vol/a.bak", "first");
        tree.File("vol/sub/b.bak", "second");
        tree.File("vol/c.txt", "stays");
    }
    void TearDown() override {
        if (mounted) ::umount2(tree.Path("vol").c_str(), MNT_DETACH);
        if (targetMounted) ::umount2(tree.Path("target").c_str(), MNT_DETACH);
    }

    // The settings an interactive search of the tmpfs would have saved, written by the settings store
    // itself: the volume ticked, the pattern, and the options.
    void PrepareProfile(const std::string& pattern, int method, const std::string& moveFolder = "") {
        MemoryEnvironment env;
        env.variables = environment;
        QtProfileStore store(tree.Path("cfg/Velumark/Vask.conf"));
        MemoryMainView view;
        ScriptedPrompter prompter;
        ProfileSettings settings;
        LoadOptionProfile(store, env, settings);
        LinuxVolumeSource volumes;
        FillDriveList(view, volumes, false);
        bool ticked = false;
        for (int i = 0; i < view.DriveItemCount(); ++i) {
            if (view.DriveItemAt(i).mountPoint == tree.Path("vol/")) {
                view.SetDriveCheckState(i, 1);
                ticked = true;
            }
        }
        ASSERT_TRUE(ticked) << "the tmpfs is not in the drive list";
        view.SetPatternText(pattern);
        settings.bFixed = 0;
        settings.bTemp = 0;
        settings.bRecent = 0;
        settings.bLog = 1;
        settings.bWave = 0;
        settings.nTrush = method;
        settings.strFolderEdit = moveFolder;
        SettingsStore saver(store, prompter, env, view, settings);
        ASSERT_TRUE(saver.SaveDialogProfile().ok());
        ASSERT_TRUE(saver.SaveOptionProfile().ok());
    }

    std::unique_ptr<VaskProcess> Start(const std::vector<std::string>& arguments, const std::string& name) {
        std::vector<std::string> command{VASK_EXECUTABLE};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return std::make_unique<VaskProcess>(command, environment, tree.Path("cwd"),
                                             tree.Path(name + ".err"));
    }

    // True once some process holds the lock in the runtime folder.
    bool LockHeld() {
        const int fd = ::open(tree.Path("run/Vask.lock").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }
    bool WaitForLock(VaskProcess& process) {
        for (int i = 0; i < 1000 && process.Running(); ++i) {
            if (LockHeld()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::string Log() const { return ReadAll(tree.Path("cwd/Vask.Log")); }

    vask::testing::TempTree tree;
    std::map<std::string, std::string> environment;
    bool mounted = false;
    bool targetMounted = false;
};

// Without a display, and with one that cannot be opened (a cron job's DISPLAY naming a session that has
// ended): the run is the same, and Qt's lines about the display do not reach the job's mail every time.
TEST_F(VaskProcessTest, UnattendedRunWithoutDisplayDisposesAndLogs) {
    ASSERT_FALSE(Exists("/tmp/.X11-unix/X999")) << "display :999 exists here";
    for (const char* display : {"", ":999"}) {
        SCOPED_TRACE(display);
        if (*display != '\0') environment["DISPLAY"] = display;
        tree.File("vol/a.bak", "first");
        tree.File("vol/sub/b.bak", "second");
        ::unlink(tree.Path("cwd/Vask.Log").c_str());
        PrepareProfile("*.bak", kDisposeDelete);
        auto run = Start({"/silent"}, "silent");
        const std::optional<int> status = run->Wait(std::chrono::seconds(60));
        ASSERT_TRUE(status) << "did not end by itself";
        EXPECT_EQ(*status, 0) << run->Stderr();
        EXPECT_EQ(run->Stderr(), "") << "nothing to say on a run that went well";
        EXPECT_FALSE(Exists(tree.Path("vol/a.bak")));
        EXPECT_FALSE(Exists(tree.Path("vol/sub/b.bak")));
        EXPECT_EQ(ReadAll(tree.Path("vol/c.txt")), "stays");
        EXPECT_NE(Log().find("---<Silent>------\r\n"), std::string::npos) << Log();
        EXPECT_NE(Log().find(tree.Path("vol/a.bak") + "\r\n"), std::string::npos) << Log();
    }
}

TEST_F(VaskProcessTest, RefusedStartsEndAtOnceWithTheirStatus) {
    struct Case {
        std::vector<std::string> arguments;
        bool prepared;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"/silent"}, false, 4, "初回起動ではｻｲﾚﾝﾄﾓｰﾄﾞ実行出来ません。 一度、検索してください。"},
        {{"/silent", "15"}, true, 2, "起動ｵﾌﾟｼｮﾝが異常。またはｱｲｺﾝへのﾄﾞﾗｯｸﾞｱﾝﾄﾞﾄﾞﾛｯﾌﾟは出来ません。"},
        {{"/silent100"}, true, 2, "使い方: vask [/silent[0-99]]"},
        {{tree.Path("vol/a.bak")}, true, 2, "使い方: vask"},
        {{}, true, 4, "画面が無いため"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? "<none>" : c.arguments[0]);
        ::unlink(tree.Path("cfg/Velumark/Vask.conf").c_str());
        if (c.prepared) PrepareProfile("*.bak", kDisposeDelete);
        const std::string before = ReadAll(tree.Path("cfg/Velumark/Vask.conf"));
        auto run = Start(c.arguments, "refused");
        const std::optional<int> status = run->Wait(std::chrono::seconds(20));
        ASSERT_TRUE(status) << "hangs";
        EXPECT_EQ(*status, c.status);
        EXPECT_NE(run->Stderr().find(c.message), std::string::npos) << run->Stderr();
        EXPECT_EQ(ReadAll(tree.Path("cfg/Velumark/Vask.conf")), before);  // nothing written
        EXPECT_TRUE(Exists(tree.Path("vol/a.bak")));
    }
}

TEST_F(VaskProcessTest, SecondStartRefusedFirstUnharmedAndSigtermEndsTheWaitAtOnce) {
    PrepareProfile("*.bak", kDisposeDelete);
    auto first = Start({"/silent30"}, "first");
    ASSERT_TRUE(WaitForLock(*first)) << first->Stderr();

    auto second = Start({"/silent"}, "second");
    const std::optional<int> refused = second->Wait(std::chrono::seconds(20));
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused, 3);
    EXPECT_NE(second->Stderr().find("Vaskは既に起動されています。"), std::string::npos) << second->Stderr();
    EXPECT_TRUE(first->Running());

    const auto sent = Clock::now();
    ::kill(first->Pid(), SIGTERM);
    const std::optional<int> stopped = first->Wait(std::chrono::seconds(5));
    ASSERT_TRUE(stopped);
    EXPECT_LT(Clock::now() - sent, std::chrono::seconds(1));
    EXPECT_EQ(*stopped, 128 + SIGTERM);
    EXPECT_NE(first->Stderr().find("Vaskを強制終了しました。"), std::string::npos) << first->Stderr();
    EXPECT_TRUE(Exists(tree.Path("vol/a.bak")));
    EXPECT_EQ(Log(), "");
}

TEST_F(VaskProcessTest, TwoStartsAtTheSameInstantRunOnce) {
    PrepareProfile("*.none", kDisposeDelete);
    auto one = Start({"/silent1"}, "one");
    auto two = Start({"/silent1"}, "two");
    const std::optional<int> a = one->Wait(std::chrono::seconds(30));
    const std::optional<int> b = two->Wait(std::chrono::seconds(30));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(std::min(*a, *b), 0);
    EXPECT_EQ(std::max(*a, *b), 3);
}

// Each file's copy is made slow (its flush waits under strace), so SIGTERM lands inside a copy: the copy
// must finish and the move end before the next file.
TEST_F(VaskProcessTest, SigtermDuringADisposalStopsOnlyBetweenFiles) {
    if (::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
    if (::mount("tmpfs", tree.Path("target").c_str(), "tmpfs", 0, "size=64m") != 0) {
        GTEST_SKIP() << "cannot mount a second tmpfs: " << std::strerror(errno);
    }
    targetMounted = true;
    const int files = 12;
    for (int i = 0; i < files; ++i)
        tree.File("vol/m" + std::to_string(i) + ".bak", std::string(200000, static_cast<char>('a' + i)));
    PrepareProfile("m*.bak", kDisposeMoveToFolder, tree.Path("target/"));

    std::vector<std::string> command{"/usr/bin/strace",
                                     "-f",
                                     "-o",
                                     "/dev/null",
                                     "-e",
                                     "trace=fsync",
                                     "-e",
                                     "inject=fsync:delay_enter=250000",
                                     VASK_EXECUTABLE,
                                     "/silent"};
    VaskProcess traced(command, environment, tree.Path("cwd"), tree.Path("traced.err"));
    // Signal vask itself, not strace: wait until the first file has arrived.
    for (int i = 0; i < 3000 && !Exists(tree.Path("target/m0.bak")) && traced.Running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(Exists(tree.Path("target/m0.bak"))) << traced.Stderr();
    const std::string children = ReadAll("/proc/" + std::to_string(traced.Pid()) + "/task/" +
                                         std::to_string(traced.Pid()) + "/children");
    const pid_t vask = static_cast<pid_t>(std::atoi(children.c_str()));
    ASSERT_GT(vask, 0);
    ::kill(vask, SIGTERM);
    const std::optional<int> status = traced.Wait(std::chrono::seconds(20));
    ASSERT_TRUE(status) << "did not stop";
    EXPECT_EQ(*status, 128 + SIGTERM);
    EXPECT_NE(traced.Stderr().find("Vaskを強制終了しました。"), std::string::npos) << traced.Stderr();

    int moved = 0;
    for (int i = 0; i < files; ++i) {
        const std::string name = "m" + std::to_string(i) + ".bak";
        const std::string content(200000, static_cast<char>('a' + i));
        const bool there = Exists(tree.Path("target/" + name));
        const bool here = Exists(tree.Path("vol/" + name));
        EXPECT_NE(there, here) << name << " must be in exactly one place";
        EXPECT_EQ(ReadAll(tree.Path((there ? "target/" : "vol/") + name)), content) << name;
        moved += there ? 1 : 0;
    }
    RecordProperty("moved_before_stop", moved);
    EXPECT_GE(moved, 1);
    EXPECT_LT(moved, files) << "the stop waited for the whole disposal";
    for (const char* folder : {"target", "vol"}) {
        for (const auto& entry : std::filesystem::directory_iterator(tree.Path(folder))) {
            EXPECT_EQ(entry.path().filename().string().find(".vask-"), std::string::npos)
                << "a temporary copy was left: " << entry.path();
        }
    }
    EXPECT_EQ(Log(), "");
}

}  // namespace
}  // namespace vask
