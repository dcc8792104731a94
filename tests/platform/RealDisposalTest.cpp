// The file-operation engine on the real file system: moves across volumes (a tmpfs, a bind mount), a full
// disk during the copy, and the trash of a home of its own.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "disposal/FileOperation.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/disposal/ScriptedFileOperationUi.h"
#include "tests/platform/FileHelpers.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using vask::testing::TempTree;

// Unmounts at the end of the test, whatever happened.
class Mount {
  public:
    Mount(const std::string& source, const std::string& target, const char* type, unsigned long flags,
          const char* options)
        : target_(target), ok_(::mount(source.c_str(), target.c_str(), type, flags, options) == 0) {}
    ~Mount() {
        if (ok_) ::umount2(target_.c_str(), MNT_DETACH);
    }
    bool ok() const { return ok_; }

  private:
    std::string target_;
    bool ok_;
};

using vask::testing::ItemOf;

using vask::testing::Read;

using vask::testing::Exists;

class RealDisposalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    }
    TempTree tree;
    PosixFileSystem fs;
    ScriptedFileOperationUi ui;
};

TEST_F(RealDisposalTest, MoveToAnotherVolumeCopiesKeepsTimesAndRemovesTheSource) {
    ASSERT_TRUE(tree.File("data/a.bak", std::string(200000, 'a'), 0640));
    ASSERT_TRUE(tree.Folder("mnt"));
    Mount tmpfs("tmpfs", tree.Path("mnt"), "tmpfs", 0, "size=1m");
    if (!tmpfs.ok()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, tree.Path("data/a.bak").c_str(), old, 0);
    const FileOperationItem item = ItemOf(tree.Path("data/a.bak"));
    FileOperationEngine engine(fs, ui);
    EXPECT_EQ(engine.Run(FileOperationKind::Move, {item}, tree.Path("mnt/")).Result(), 0);
    EXPECT_FALSE(Exists(tree.Path("data/a.bak")));
    EXPECT_EQ(Read(tree.Path("mnt/a.bak")), std::string(200000, 'a'));
    struct stat st;
    ASSERT_EQ(::stat(tree.Path("mnt/a.bak").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(RealDisposalTest, AFullDiskKeepsTheSourceAndLeavesNothingBehind) {
    ASSERT_TRUE(tree.File("data/big.bak", std::string(300000, 'b')));
    ASSERT_TRUE(tree.File("data/small.bak", "s"));
    ASSERT_TRUE(tree.Folder("mnt"));
    Mount tmpfs("tmpfs", tree.Path("mnt"), "tmpfs", 0, "size=128k");
    if (!tmpfs.ok()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    FileOperationEngine engine(fs, ui);
    const FileOperationOutcome outcome = engine.Run(
        FileOperationKind::Move, {ItemOf(tree.Path("data/big.bak")), ItemOf(tree.Path("data/small.bak"))},
        tree.Path("mnt/"));
    EXPECT_NE(outcome.Result(), 0);
    ASSERT_EQ(ui.failures.size(), 1u);
    EXPECT_EQ(ui.failures[0].status.code(), ENOSPC);
    EXPECT_EQ(Read(tree.Path("data/big.bak")), std::string(300000, 'b'));
    EXPECT_FALSE(Exists(tree.Path("mnt/big.bak")));
    EXPECT_TRUE(Exists(tree.Path("mnt/small.bak")));  // the next file still went
    // No temporary copy is left in the folder.
    DIR* dir = ::opendir(tree.Path("mnt").c_str());
    ASSERT_NE(dir, nullptr);
    int names = 0;
    while (dirent* entry = ::readdir(dir))
        names += entry->d_name[0] != '.';
    ::closedir(dir);
    EXPECT_EQ(names, 1);
}

TEST_F(RealDisposalTest, ABindMountOfTheSameVolumeTakesTheCopyPath) {
    ASSERT_TRUE(tree.File("data/c.bak", "content"));
    ASSERT_TRUE(tree.Folder("target"));
    ASSERT_TRUE(tree.Folder("bound"));
    Mount bind(tree.Path("target"), tree.Path("bound"), nullptr, MS_BIND, nullptr);
    if (!bind.ok()) GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
    FileOperationEngine engine(fs, ui);
    EXPECT_EQ(
        engine.Run(FileOperationKind::Move, {ItemOf(tree.Path("data/c.bak"))}, tree.Path("bound/")).Result(),
        0);
    EXPECT_EQ(Read(tree.Path("target/c.bak")), "content");
    EXPECT_FALSE(Exists(tree.Path("data/c.bak")));
}

}  // namespace
}  // namespace vask

namespace vask {
namespace {

// What became of a driver run under strace.
struct TracedRun {
    int status = -1;        // the shell's status, as std::system returns it
    bool injected = false;  // strace made at least one call fail
    bool killed = false;    // the driver died of SIGKILL (strace marks no call of a kill as injected)
};

// Runs the driver under strace with an injection, e.g. "inject=write:error=EIO" or
// "inject=fsync:signal=KILL:when=1", with its journal in stateHome. Only the injected call is traced, into
// a log beside the journal, so that the caller can tell an injection that hit from one that never did.
TracedRun RunDriverUnderStrace(const std::string& injection, const std::string& target,
                               const std::vector<std::string>& files, const std::string& stateHome,
                               bool named, bool replace = false) {
    const std::size_t call = injection.find('=') + 1;
    const std::string traced =
        injection.rfind("inject=", 0) == 0 ? injection.substr(call, injection.find(':') - call) : "none";
    const std::string log = stateHome + ".strace";
    std::string command = "XDG_STATE_HOME='" + stateHome + "' strace -f -qq -o '" + log +
                          "' -e trace=" + traced + " -e " + injection + " " VASK_DISPOSE_DRIVER +
                          (named ? " --named-temporaries" : "") + (replace ? " --replace" : "") + " '" +
                          target + "'";
    for (const auto& file : files)
        command += " '" + file + "'";
    TracedRun run;
    run.status = std::system((command + " 2>/dev/null").c_str());
    const std::string trace = vask::testing::ReadOrMissing(log);
    ::unlink(log.c_str());
    run.injected = trace.find("(INJECTED)") != std::string::npos;
    run.killed = trace.find("+++ killed by SIGKILL") != std::string::npos;
    return run;
}

std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A move across volumes killed at each file-changing call in turn, and failing with EIO at each: every file
// is complete in one place; a named temporary copy may be left, recorded in the journal, and the next run
// removes it. Both with unnamed temporary files and with named ones (file systems without O_TMPFILE).
TEST_F(RealDisposalTest, KilledOrFailingAtAnyStepEveryFileIsCompleteInOnePlace) {
    if (std::system("command -v strace > /dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
    ASSERT_TRUE(tree.Folder("mnt"));
    Mount tmpfs("tmpfs", tree.Path("mnt"), "tmpfs", 0, "size=4m");
    if (!tmpfs.ok()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const std::string content(150000, 'k');
    // Modes 0 to 3: bit 0 set for named temporaries, bit 1 for replacing an older file (agreed). A row's mask
    // has bit N set for each mode N whose run makes the call it breaks: a copy under a named temporary is
    // renamed into place, never linked, and an unnamed copy into an empty place needs one rename only.
    constexpr unsigned kAll = 0b1111, kUnnamed = 0b0101, kNotFirst = 0b1110;
    struct Row {
        const char* injection;
        unsigned modes;
    };
    const Row rows[] = {{"inject=openat:signal=KILL:when=8", kAll},
                        {"inject=write:signal=KILL:when=1", kAll},
                        {"inject=fsync:signal=KILL:when=1", kAll},
                        {"inject=fsync:signal=KILL:when=2", kAll},
                        {"inject=rename,renameat,renameat2:signal=KILL:when=1", kAll},
                        {"inject=rename,renameat,renameat2:signal=KILL:when=2", kNotFirst},
                        {"inject=unlinkat:signal=KILL:when=1", kAll},
                        {"inject=write:error=EIO:when=1", kAll},
                        {"inject=fsync:error=EIO:when=1", kAll},
                        {"inject=fchmod:error=EPERM", kAll},
                        {"inject=linkat:signal=KILL:when=1", kUnnamed},
                        {"inject=linkat:error=EIO:when=1", kUnnamed}};
    for (const unsigned mode : {0u, 1u, 2u, 3u}) {
        const bool named = (mode & 1) != 0;
        const bool replacing = (mode & 2) != 0;
        for (const Row& row : rows) {
            if ((row.modes & (1u << mode)) == 0) continue;
            const std::string injection = row.injection;
            SCOPED_TRACE(injection + (named ? " (named temporaries)" : "") +
                         (replacing ? " (replacing)" : ""));
            ASSERT_TRUE(tree.File("data/k.bak", content));
            if (replacing) {
                ASSERT_TRUE(tree.File("mnt/k.bak", "older"));
            }
            const TracedRun run =
                RunDriverUnderStrace(injection, tree.Path("mnt/"), {tree.Path("data/k.bak")},
                                     tree.Path("state"), named, replacing);
            // A row whose fault never happened tests nothing: the call must have been tampered with, and a
            // kill must have ended the driver.
            const bool kill = injection.find("signal=KILL") != std::string::npos;
            EXPECT_TRUE(kill ? run.killed : run.injected) << "strace status " << run.status;
            const bool atSource = Exists(tree.Path("data/k.bak"));
            const bool atTarget = Exists(tree.Path("mnt/k.bak")) && Read(tree.Path("mnt/k.bak")) == content;
            EXPECT_TRUE(atSource || atTarget);
            if (atSource) {
                EXPECT_EQ(Read(tree.Path("data/k.bak")), content);
            }
            if (Exists(tree.Path("mnt/k.bak")) && !atTarget) {
                EXPECT_TRUE(replacing && atSource && Read(tree.Path("mnt/k.bak")) == "older");
            }
            for (const std::string& name : NamesIn(tree.Path("mnt"))) {
                EXPECT_TRUE(name == "k.bak" || name.rfind(".k.bak.vask-", 0) == 0) << name;
            }
            // The next run finishes the job (or finds it done) and leaves no temporary copy.
            if (atSource) {
                if (!replacing) ::unlink(tree.Path("mnt/k.bak").c_str());
                RunDriverUnderStrace("trace=none", tree.Path("mnt/"), {tree.Path("data/k.bak")},
                                     tree.Path("state"), named, replacing);
                EXPECT_FALSE(Exists(tree.Path("data/k.bak")));
            }
            EXPECT_EQ(NamesIn(tree.Path("mnt")), std::vector<std::string>{"k.bak"});
            EXPECT_EQ(Read(tree.Path("mnt/k.bak")), content);
            EXPECT_EQ(NamesIn(tree.Path("state/Velumark")), std::vector<std::string>{});  // no journal left
            ::unlink(tree.Path("mnt/k.bak").c_str());
        }
    }
}

// Names of 241 to 255 bytes cross volumes too (a temporary name is longer than its target's), with and
// without unnamed files, replacing or not; no temporary and no journal stays.
TEST_F(RealDisposalTest, LongNamesAndReplacedFilesCrossVolumes) {
    ASSERT_TRUE(tree.Folder("mnt"));
    Mount tmpfs("tmpfs", tree.Path("mnt"), "tmpfs", 0, "size=1m");
    if (!tmpfs.ok()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    // 3-byte UTF-8 characters: a temporary name cut to fit must not split one.
    std::string longName;
    while (longName.size() + 3 <= 246)
        longName += "\xE6\x97\xA5";
    longName += ".bak";
    ASSERT_EQ(longName.size(), 250u);
    struct Case {
        bool unnamed;
        bool replace;
    };
    for (const Case c : {Case{true, false}, Case{true, true}, Case{false, false}, Case{false, true}}) {
        SCOPED_TRACE(std::string(c.unnamed ? "unnamed" : "named") + (c.replace ? ", replacing" : ""));
        ASSERT_TRUE(tree.File("data/" + longName, "moved"));
        if (c.replace) {
            ASSERT_TRUE(tree.File("mnt/" + longName, "old"));
        }
        PosixFileSystem named(TrashContext{}, tree.Path("state/Velumark/"), c.unnamed);
        ui.replaceAnswers = {ReplaceAnswer::Yes};
        FileOperationEngine engine(named, ui);
        EXPECT_EQ(
            engine.Run(FileOperationKind::Move, {ItemOf(tree.Path("data/" + longName))}, tree.Path("mnt/"))
                .Result(),
            0);
        EXPECT_FALSE(Exists(tree.Path("data/" + longName)));
        EXPECT_EQ(Read(tree.Path("mnt/" + longName)), "moved");
        EXPECT_EQ(NamesIn(tree.Path("mnt")), std::vector<std::string>{longName});
        EXPECT_EQ(NamesIn(tree.Path("state/Velumark")), std::vector<std::string>{});
        ::unlink(tree.Path("mnt/" + longName).c_str());
    }
}

}  // namespace
}  // namespace vask

namespace vask {
namespace {

// Between the search and the disposal the searched folder was replaced by a link to another folder holding a
// file of the same name: the link is not followed, nothing behind it is touched, and the result is reported
// as changed since the search.
TEST(RealDisposalNoMounts, AFolderSwappedForALinkIsNotFollowed) {
    TempTree tree;
    ASSERT_TRUE(tree.File("data/keep.bak", "mine"));
    ASSERT_TRUE(tree.File("elsewhere/keep.bak", "theirs"));
    const FileOperationItem item = ItemOf(tree.Path("data/keep.bak"));
    ASSERT_EQ(::rename(tree.Path("data").c_str(), tree.Path("moved-away").c_str()), 0);
    ASSERT_TRUE(tree.Symlink("elsewhere", "data"));
    TrashContext context;  // never the real user's trash, even if the test failed
    context.homeTrash = tree.Path("home/Trash");
    context.userId = ::geteuid();
    PosixFileSystem fs(context);
    ScriptedFileOperationUi ui;
    FileOperationEngine engine(fs, ui);
    for (FileOperationKind kind : {FileOperationKind::Delete, FileOperationKind::Trash}) {
        const FileOperationOutcome outcome = engine.Run(kind, {item}, "");
        EXPECT_NE(outcome.Result(), 0);
        ASSERT_EQ(ui.failures.size(), 1u);
        EXPECT_TRUE(ui.failures[0].changedSinceSearch);
    }
    EXPECT_EQ(Read(tree.Path("elsewhere/keep.bak")), "theirs");
    EXPECT_EQ(Read(tree.Path("moved-away/keep.bak")), "mine");
}

}  // namespace
}  // namespace vask

namespace vask {
namespace {

// The move folder holds a hard link of the source under the same name and the user agrees to replace:
// rename(2) would do nothing and report success. The source's name goes; the file stays, once, in the folder.
TEST(RealDisposalNoMounts, AHardLinkInTheMoveFolderEndsTheMove) {
    TempTree tree;
    ASSERT_TRUE(tree.File("data/h.bak", "linked"));
    ASSERT_TRUE(tree.Folder("target"));
    ASSERT_EQ(::link(tree.Path("data/h.bak").c_str(), tree.Path("target/h.bak").c_str()), 0);
    PosixFileSystem fs;
    ScriptedFileOperationUi ui;
    ui.replaceAnswers = {ReplaceAnswer::Yes};
    FileOperationEngine engine(fs, ui);
    const FileOperationOutcome outcome =
        engine.Run(FileOperationKind::Move, {ItemOf(tree.Path("data/h.bak"))}, tree.Path("target/"));
    EXPECT_EQ(outcome.Result(), 0);
    EXPECT_EQ(outcome.done, 1u);
    EXPECT_FALSE(Exists(tree.Path("data/h.bak")));
    EXPECT_EQ(Read(tree.Path("target/h.bak")), "linked");
    struct stat st;
    ASSERT_EQ(::stat(tree.Path("target/h.bak").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);
}

}  // namespace
}  // namespace vask

namespace vask {
namespace {

// Files in the move folder named like Vask's temporaries but not made by it (nothing in the journal says so)
// are the user's: a move leaves them alone.
TEST(RealDisposalNoMounts, FilesNamedLikeTemporariesInTheMoveFolderStay) {
    TempTree tree;
    ASSERT_TRUE(tree.File("data/m.bak", "moved"));
    for (const char* name : {"target/.budget.vask-2024Q1v2", "target/.m.bak.vask-AbCd1234"})
        ASSERT_TRUE(tree.File(name, "the user's"));
    PosixFileSystem fs(TrashContext{}, tree.Path("state/Velumark/"), true);
    ScriptedFileOperationUi ui;
    FileOperationEngine engine(fs, ui);
    EXPECT_EQ(
        engine.Run(FileOperationKind::Move, {ItemOf(tree.Path("data/m.bak"))}, tree.Path("target/")).Result(),
        0);
    EXPECT_EQ(Read(tree.Path("target/m.bak")), "moved");
    EXPECT_EQ(Read(tree.Path("target/.budget.vask-2024Q1v2")), "the user's");
    EXPECT_EQ(Read(tree.Path("target/.m.bak.vask-AbCd1234")), "the user's");
}

}  // namespace
}  // namespace vask
