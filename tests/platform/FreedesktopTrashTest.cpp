#include "platform/linux/FreedesktopTrash.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/fakes/MemoryEnvironment.h"
#include "tests/platform/FileHelpers.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using testing::TempTree;

constexpr char kDate[] = "2026-12-07T08:30:00";
constexpr char kListedDate[] = "2026-12-07 08:30:00 ";  // as trash-list prints it

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

using vask::testing::Output;

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

using vask::testing::Exists;
using vask::testing::ReadOrMissing;

// Names in a folder, sorted; none when it is missing.
std::set<std::string> List(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.insert(entry.path().filename());
    return names;
}

// Mounts for the duration of a test; unmounted lazily (a descriptor still open cannot keep it busy).
class ScopedMount {
  public:
    ScopedMount(const std::string& arguments, const std::string& target) : target_(target) {
        ::mkdir(target.c_str(), 0755);
        mounted_ = ::geteuid() == 0 && Shell("mount " + arguments + " " + Quote(target_));
    }
    ~ScopedMount() {
        if (mounted_) Shell("umount -l " + Quote(target_));
    }
    bool mounted() const { return mounted_; }

  private:
    std::string target_;
    bool mounted_ = false;
};

// A temporary home with its trash, and the context pointing at it.
struct Home {
    TempTree tree;
    TrashContext context;
    std::string trash = tree.Path("home/.local/share/Trash/");

    Home() {
        context.homeTrash = trash.substr(0, trash.size() - 1);
        context.userId = ::geteuid();
        context.deletionDate = [] { return std::string(kDate); };
    }
    // trash-list's view of this home (and of every mount's topdir trash).
    std::string TrashList() const {
        return Output("env -i PATH=/usr/bin:/bin LC_ALL=C.UTF-8 HOME=" + Quote(tree.Path("home")) +
                      " XDG_DATA_HOME=" + Quote(tree.Path("home/.local/share")) + " trash-list 2>/dev/null");
    }
};

bool HaveTrashList() {
    return Shell("command -v trash-list");
}

Status TrashPath(FreedesktopTrash& trash, const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const int folder = ::open(path.substr(0, slash + 1).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return Status::Error(errno, path, "test open");
    Status status = trash.Trash(folder, path.substr(slash + 1), path);
    ::close(folder);
    return status;
}

Status TrashPath(const TrashContext& context, const std::string& path) {
    FreedesktopTrash trash(context);
    return TrashPath(trash, path);
}

// ---- The home trash ----

TEST(FreedesktopTrash, HomeTrashKeepsExactOriginalPathsTrashListShows) {
    Home home;
    const std::string longName = [] {
        std::string name;
        for (int i = 0; i < 83; ++i)
            name += "\xE3\x81\x82";  // あ, 3 bytes
        return name + "x";           // 250 bytes
    }();
    const std::vector<std::string> names = {"plain.txt",     "with space.txt",  "日本語 ファイル.txt",
                                            "new\nline.txt", "bad\xFF\xFE.txt", longName};
    FreedesktopTrash trash(home.context);
    for (const std::string& name : names) {
        ASSERT_TRUE(home.tree.File("src/" + name, "content of " + name));
        const Status status = TrashPath(trash, home.tree.Path("src/" + name));
        ASSERT_TRUE(status) << status.ToString();
        EXPECT_FALSE(Exists(home.tree.Path("src/" + name)));
    }
    ASSERT_TRUE(trash.Flush());

    struct stat st;
    ASSERT_EQ(::stat(home.trash.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(ReadOrMissing(home.trash + "files/plain.txt"), "content of plain.txt");
    EXPECT_EQ(ReadOrMissing(home.trash + "info/bad\xFF\xFE.txt.trashinfo"),
              "[Trash Info]\nPath=" + PercentEncodePath(home.tree.Root()) +
                  "src/bad%FF%FE.txt\nDeletionDate=" + kDate + "\n");
    EXPECT_EQ(PercentEncodePath("/a b/%é\n+x"), "/a%20b/%25%C3%A9%0A%2Bx");
    // The 250-byte name is cut to 245 bytes at a character boundary (243) so that "<stem>.trashinfo" fits.
    const std::string stem = longName.substr(0, 243);
    EXPECT_EQ(ReadOrMissing(home.trash + "files/" + stem), "content of " + longName);
    EXPECT_EQ(List(home.trash + "info").count(stem + ".trashinfo"), 1u);

    if (!HaveTrashList()) GTEST_SKIP() << "trash-list (trash-cli) is not installed";
    const std::string listed = home.TrashList();
    for (const std::string& name : names) {
        if (name.starts_with("bad")) continue;
        EXPECT_NE(listed.find(kListedDate + home.tree.Path("src/" + name) + "\n"), std::string::npos)
            << name << " not in:\n"
            << listed;
    }
    // trash-list decodes Path= as UTF-8 and shows each invalid byte as U+FFFD: the closest it can show.
    EXPECT_NE(listed.find(home.tree.Path("src/bad\uFFFD\uFFFD.txt")), std::string::npos) << listed;
}

TEST(FreedesktopTrash, DeletionDateIsLocalTime) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    ::setenv("TZ", "JST-9", 1);
    ::tzset();
    EXPECT_EQ(LocalDeletionDate(0), "1970-01-01T09:00:00");
    EXPECT_EQ(LocalDeletionDate(1796637045), "2026-12-07T18:50:45");
    saved ? ::setenv("TZ", previous.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

TEST(FreedesktopTrash, SameNameTwiceGivesTwoEntriesAndATakenFilesNameIsSkipped) {
    Home home;
    const std::string path = home.tree.Path("src/dup.txt");
    ASSERT_TRUE(home.tree.File("src/dup.txt", "first"));
    ASSERT_TRUE(TrashPath(home.context, path));
    // The others as on file systems without O_TMPFILE: created under their final name with O_EXCL.
    home.context.unnamedInfoFiles = false;
    ASSERT_TRUE(home.tree.File("src/dup.txt", "second"));
    ASSERT_TRUE(TrashPath(home.context, path));
    // files/dup.txt.3 is taken by something without an info file: left alone, the next stem is used.
    ASSERT_TRUE(home.tree.File("home/.local/share/Trash/files/dup.txt.3", "stray"));
    ASSERT_TRUE(home.tree.File("src/dup.txt", "third"));
    ASSERT_TRUE(TrashPath(home.context, path));

    EXPECT_EQ(List(home.trash + "files"),
              (std::set<std::string>{"dup.txt", "dup.txt.2", "dup.txt.3", "dup.txt.4"}));
    EXPECT_EQ(List(home.trash + "info"),
              (std::set<std::string>{"dup.txt.trashinfo", "dup.txt.2.trashinfo", "dup.txt.4.trashinfo"}));
    EXPECT_EQ(ReadOrMissing(home.trash + "files/dup.txt.3"), "stray");
    EXPECT_EQ(ReadOrMissing(home.trash + "files/dup.txt.4"), "third");

    if (!Shell("command -v trash-restore")) GTEST_SKIP() << "trash-restore (trash-cli) is not installed";
    // Each entry is restorable to the original path, one after the other.
    std::multiset<std::string> restored;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Shell("cd " + Quote(home.tree.Path("src")) +
                          " && echo 0 | env HOME=" + Quote(home.tree.Path("home")) +
                          " XDG_DATA_HOME=" + Quote(home.tree.Path("home/.local/share")) + " trash-restore"));
        restored.insert(ReadOrMissing(path));
        ASSERT_EQ(::unlink(path.c_str()), 0) << "restore " << i << " put nothing back";
    }
    EXPECT_EQ(restored, (std::multiset<std::string>{"first", "second", "third"}));
}

TEST(FreedesktopTrash, TrashRemovedDuringARunIsOpenedAfresh) {
    Home home;
    ASSERT_TRUE(home.tree.File("src/a.txt", "a") && home.tree.File("src/b.txt", "b"));
    FreedesktopTrash trash(home.context);
    ASSERT_TRUE(TrashPath(trash, home.tree.Path("src/a.txt")));
    ASSERT_TRUE(Shell("rm -rf " + Quote(home.trash)));  // emptied by removing the whole folder
    const Status status = TrashPath(trash, home.tree.Path("src/b.txt"));
    EXPECT_TRUE(status) << status.ToString();
    EXPECT_EQ(ReadOrMissing(home.trash + "files/b.txt"), "b");
    EXPECT_EQ(List(home.trash + "info"), std::set<std::string>{"b.txt.trashinfo"});
}

TEST(FreedesktopTrash, HomeTrashLocationFromTheEnvironment) {
    MemoryEnvironment environment;
    EXPECT_EQ(HomeTrashFolder(environment), "");
    environment.variables["HOME"] = "/home/u/";
    EXPECT_EQ(HomeTrashFolder(environment), "/home/u/.local/share/Trash");
    environment.variables["XDG_DATA_HOME"] = "relative/share";  // not absolute: to be ignored
    EXPECT_EQ(HomeTrashFolder(environment), "/home/u/.local/share/Trash");
    environment.variables["XDG_DATA_HOME"] = "/data//";
    EXPECT_EQ(HomeTrashFolder(environment), "/data/Trash");
}

// ---- Failures keep the file and leave no info file ----

TEST(FreedesktopTrash, HomeTrashThroughASymbolicLinkIsRefused) {
    for (const std::string link : {"Trash", "Trash/info"}) {
        SCOPED_TRACE(link);
        Home home;
        ASSERT_TRUE(
            home.tree.File("src/keep.txt", "precious") && home.tree.Folder("elsewhere") &&
            home.tree.Folder(link == "Trash" ? "home/.local/share" : "home/.local/share/Trash/files"));
        ASSERT_TRUE(home.tree.Symlink(home.tree.Path("elsewhere"), "home/.local/share/" + link));
        EXPECT_EQ(TrashPath(home.context, home.tree.Path("src/keep.txt")).code(), ELOOP);
        EXPECT_EQ(ReadOrMissing(home.tree.Path("src/keep.txt")), "precious");
        EXPECT_EQ(List(home.tree.Path("elsewhere")), std::set<std::string>{});
    }
}

TEST(FreedesktopTrash, FullDiskAndReadOnlyInfoFolderKeepTheFile) {
    Home home;
    ASSERT_TRUE(home.tree.File("src/keep.txt", "precious"));
    const std::string info = home.trash + "info";
    ASSERT_TRUE(home.tree.Folder("home/.local/share/Trash/info") &&
                home.tree.Folder("home/.local/share/Trash/files"));
    {
        // Read-only info folder: a read-only bind mount as root (who ignores modes), else mode 0500.
        ScopedMount readOnly("--bind " + Quote(info), info);
        if (readOnly.mounted()) {
            ASSERT_TRUE(Shell("mount -o remount,bind,ro " + Quote(info)));
        }
        if (!readOnly.mounted()) ::chmod(info.c_str(), 0500);
        const Status status = TrashPath(home.context, home.tree.Path("src/keep.txt"));
        EXPECT_TRUE(status.code() == EROFS || status.code() == EACCES) << status.ToString();
        ::chmod(info.c_str(), 0700);
    }
    EXPECT_EQ(ReadOrMissing(home.tree.Path("src/keep.txt")), "precious");
    EXPECT_EQ(List(info), std::set<std::string>{});
    EXPECT_EQ(List(home.trash + "files"), std::set<std::string>{});

    // A full disk: a 1 MiB tmpfs holding both the file and the home trash, filled up.
    ScopedMount disk("-t tmpfs -o size=1m tmpfs", home.tree.Path("disk"));
    if (!disk.mounted()) GTEST_SKIP() << "a full disk needs root to mount a 1 MiB tmpfs";
    ASSERT_TRUE(home.tree.File("disk/src/keep.txt", "precious"));
    ASSERT_TRUE(home.tree.Folder("disk/Trash/info") && home.tree.Folder("disk/Trash/files"));
    Shell("dd if=/dev/zero of=" + Quote(home.tree.Path("disk/filler")) + " bs=4k");
    home.context.homeTrash = home.tree.Path("disk/Trash");
    for (const bool unnamed : {true, false}) {
        home.context.unnamedInfoFiles = unnamed;
        const Status status = TrashPath(home.context, home.tree.Path("disk/src/keep.txt"));
        EXPECT_EQ(status.code(), ENOSPC) << status.ToString();
        EXPECT_EQ(ReadOrMissing(home.tree.Path("disk/src/keep.txt")), "precious");
        EXPECT_EQ(List(home.tree.Path("disk/Trash/info")), std::set<std::string>{});
        EXPECT_EQ(List(home.tree.Path("disk/Trash/files")), std::set<std::string>{});
    }
}

// ---- Topdir trashes on a second mount ----

class TopdirTrash : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!volume_.mounted()) GTEST_SKIP() << "a second mount needs root (tmpfs)";
        uid_ = std::to_string(::geteuid());
    }
    // Trashes vol/dir/victim.txt after a fresh start of the volume; returns the result.
    Status TrashVictim(const std::string& prepare) {
        Shell("cd " + Quote(Vol()) + " && rm -rf -- * .Trash* && " + prepare);
        home_.tree.File("vol/dir/victim.txt", "victim");
        return TrashPath(home_.context, Vol() + "dir/victim.txt");
    }
    std::string Vol() const { return home_.tree.Path("vol/"); }
    bool Kept() const { return ReadOrMissing(Vol() + "dir/victim.txt") == "victim"; }

    Home home_;
    ScopedMount volume_{"-t tmpfs -o size=4m tmpfs", home_.tree.Path("vol")};
    std::string uid_;
};

TEST_F(TopdirTrash, AdministratorTrashOnlyWhenARealStickyFolder) {
    ASSERT_TRUE(TrashVictim("mkdir -m 1777 .Trash"));
    EXPECT_EQ(ReadOrMissing(Vol() + ".Trash/" + uid_ + "/files/victim.txt"), "victim");
    // Relative to the top directory, as the freedesktop.org Trash standard prefers for removable media.
    EXPECT_EQ(ReadOrMissing(Vol() + ".Trash/" + uid_ + "/info/victim.txt.trashinfo"),
              std::string("[Trash Info]\nPath=dir/victim.txt\nDeletionDate=") + kDate + "\n");
    const std::string listedAdmin = HaveTrashList() ? home_.TrashList() : "";

    struct Case {
        std::string prepare;
        std::string untouched;  // where nothing may be written
    };
    for (const Case& c :
         {Case{"mkdir -m 1777 elsewhere && ln -s elsewhere .Trash", "elsewhere"},
          Case{"mkdir -m 0777 .Trash", ".Trash"},
          Case{"mkdir -m 1777 .Trash elsewhere && ln -s ../elsewhere .Trash/" + uid_, "elsewhere"},
          Case{"true", ".Trash"}}) {
        SCOPED_TRACE(c.prepare);
        ASSERT_TRUE(TrashVictim(c.prepare));
        EXPECT_EQ(ReadOrMissing(Vol() + ".Trash-" + uid_ + "/files/victim.txt"), "victim");
        EXPECT_EQ(List(Vol() + c.untouched), std::set<std::string>{});
        struct stat st;
        ASSERT_EQ(::lstat((Vol() + ".Trash-" + uid_).c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0700 && st.st_uid == ::geteuid());
    }
    EXPECT_FALSE(Exists(home_.trash));  // never the home trash for another mount

    if (!HaveTrashList()) GTEST_SKIP() << "trash-list (trash-cli) is not installed";
    EXPECT_NE(listedAdmin.find(kListedDate + Vol() + "dir/victim.txt\n"), std::string::npos) << listedAdmin;
    EXPECT_NE(home_.TrashList().find(kListedDate + Vol() + "dir/victim.txt\n"), std::string::npos);
}

TEST_F(TopdirTrash, UnsafeOwnTrashIsRefusedAndTheFileKept) {
    struct Case {
        const char* prepare;
        int code;
    };
    const std::string own = ".Trash-" + uid_;
    for (const Case& c : {Case{"mkdir -m 0700 target && ln -s target TRASH", ELOOP},
                          Case{"mkdir -m 0700 TRASH && chown 12345 TRASH", EPERM},
                          Case{"mkdir -m 0770 TRASH", EPERM}, Case{"touch TRASH", ENOTDIR}}) {
        std::string prepare = c.prepare;
        for (std::size_t at; (at = prepare.find("TRASH")) != std::string::npos;)
            prepare.replace(at, 5, own);
        SCOPED_TRACE(prepare);
        EXPECT_EQ(TrashVictim(prepare).code(), c.code);
        EXPECT_TRUE(Kept());
        EXPECT_EQ(List(Vol() + "target"), std::set<std::string>{});
    }
    EXPECT_FALSE(Exists(home_.trash));
}

TEST_F(TopdirTrash, ExdevNeverCopies) {
    // files/ of the volume's trash on a mount of its own: rename says EXDEV, and nothing is copied.
    ASSERT_TRUE(home_.tree.Folder("vol/.Trash-" + uid_ + "/files"));
    ::chmod((Vol() + ".Trash-" + uid_).c_str(), 0700);
    ScopedMount files("-t tmpfs -o size=1m tmpfs", Vol() + ".Trash-" + uid_ + "/files");
    ASSERT_TRUE(files.mounted());
    home_.tree.File("vol/dir/victim.txt", "victim");
    EXPECT_EQ(TrashPath(home_.context, Vol() + "dir/victim.txt").code(), EXDEV);
    EXPECT_TRUE(Kept());
    EXPECT_EQ(List(Vol() + ".Trash-" + uid_ + "/files"), std::set<std::string>{});
    EXPECT_EQ(List(Vol() + ".Trash-" + uid_ + "/info"), std::set<std::string>{});
    EXPECT_FALSE(Exists(home_.trash));
}

// ---- A kill at any file-changing step ----

// Run by the test below in a child process under strace, which kills it at a chosen system call.
TEST(FreedesktopTrashKill, DISABLED_Helper) {
    const char* root = std::getenv("VASK_TRASH_KILL_ROOT");
    if (root == nullptr) return;
    TrashContext context;
    context.homeTrash = std::string(root) + "Trash";
    context.userId = ::geteuid();
    context.deletionDate = [] { return std::string(kDate); };
    TemporaryJournal journal(std::string(root) + "state/");
    context.journal = &journal;
    FreedesktopTrash trash(context);
    EXPECT_TRUE(TrashPath(trash, std::string(root) + "src/one.txt"));
    EXPECT_TRUE(TrashPath(trash, std::string(root) + "src/sub/one.txt"));
}

TEST(FreedesktopTrashKill, EveryFileStaysWholeInOnePlace) {
    if (!Shell("strace -qq -o /dev/null true")) GTEST_SKIP() << "strace is missing or cannot trace here";
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    self[length] = '\0';
    const std::map<std::string, std::string> sources = {{"src/one.txt", "one"},
                                                        {"src/sub/one.txt", "sub one"}};
    int orphans = 0;
    for (const char* call : {"mkdirat", "openat", "write", "fsync", "linkat", "renameat2"}) {
        for (int when = 1;; ++when) {
            ASSERT_LT(when, 200) << call;
            TempTree tree;
            for (const auto& [path, content] : sources)
                ASSERT_TRUE(tree.File(path, content));
            // The leak check of a sanitizer build cannot run under a tracer and would fail every run that
            // finished; leaks are not what this test looks for. The child runs only the helper, so the
            // shard of this run (when the tests run in shards) must not pass on to it.
            const bool finished =
                Shell("VASK_TRASH_KILL_ROOT=" + Quote(tree.Root()) +
                      " ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\"" +
                      " env -u GTEST_TOTAL_SHARDS -u GTEST_SHARD_INDEX strace -f -qq -o /dev/null -e trace=" +
                      call + " -e inject=" + call + ":signal=KILL:when=" + std::to_string(when) + " " +
                      Quote(self) +
                      " --gtest_also_run_disabled_tests --gtest_brief=1 "
                      "--gtest_filter=FreedesktopTrashKill.DISABLED_Helper");
            SCOPED_TRACE(std::string(call) + " #" + std::to_string(when) + (finished ? " (finished)" : ""));
            const std::string trash = tree.Path("Trash/");
            auto infoOf = [&](const std::string& path) {
                return "[Trash Info]\nPath=" + PercentEncodePath(tree.Path(path)) +
                       "\nDeletionDate=" + kDate + "\n";
            };
            // Each file exactly once: in place, or in files/ beside its complete info file.
            const std::set<std::string> files = List(trash + "files");
            for (const auto& [path, content] : sources) {
                int copies = ReadOrMissing(tree.Path(path)) == content;
                for (const std::string& file : files) {
                    if (ReadOrMissing(trash + "files/" + file) != content) continue;
                    ++copies;
                    EXPECT_EQ(ReadOrMissing(trash + "info/" + file + ".trashinfo"), infoOf(path));
                }
                EXPECT_EQ(copies, 1) << path;
                EXPECT_TRUE(!finished || !Exists(tree.Path(path))) << path;
            }
            // Every info file complete; one without data names a file still in place.
            for (const std::string& info : List(trash + "info")) {
                const std::string text = ReadOrMissing(trash + "info/" + info);
                bool known = false;
                for (const auto& [path, content] : sources) {
                    if (text != infoOf(path)) continue;
                    known = true;
                    if (files.count(info.substr(0, info.size() - 10))) continue;
                    EXPECT_EQ(ReadOrMissing(tree.Path(path)), content)
                        << "info without data, and no file in place";
                    ++orphans;
                }
                EXPECT_TRUE(known && info.ends_with(".trashinfo")) << info << ": " << text;
            }
            // The next run removes every info file a kill left without its entry, and no other.
            const std::set<std::string> infosBefore = List(trash + "info");
            TemporaryJournal(tree.Path("state/")).RemoveLeftovers();
            for (const std::string& info : infosBefore) {
                const bool hasEntry = files.count(info.substr(0, info.size() - 10)) != 0;
                EXPECT_EQ(Exists(trash + "info/" + info), hasEntry) << info;
            }
            // At most an empty journal (killed before its first record) stays.
            for (const std::string& journal : List(tree.Path("state/")))
                EXPECT_EQ(ReadOrMissing(tree.Path("state/" + journal)), "") << journal;
            if (finished) {
                // Each of these calls is made at least twice by two trashings: killed there at least twice.
                EXPECT_GE(when, 3) << call << " was never interrupted";
                break;
            }
        }
    }
    std::printf("kill points leaving an info file without data: %d\n", orphans);
}

}  // namespace
}  // namespace vask
