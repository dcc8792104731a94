// The compression on the real file system with the real libunlha32.so of the build tree, loaded as Vask
// loads it. Skipped, saying why, when the library has not been built.
#include "platform/linux/DlopenArchiverLoader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "disposal/Compression.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SystemClock.h"
#include "tests/disposal/ScriptedFileOperationUi.h"
#include "tests/platform/FileHelpers.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using testing::TempTree;

class RecordingPrompter : public Prompter {
  public:
    PromptAnswer Ask(const Prompt& prompt) override {
        texts.push_back(prompt.text);
        return PromptAnswer::Ok;
    }
    std::vector<std::string> texts;
};

using vask::testing::Exists;

using vask::testing::Output;

bool HasTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs each test inside its own current folder (the list file's place) and with its own archiver lock
// folder, so a busy test cannot disturb other archiver users of this machine.
class RealCompressionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(tree.Root().empty());
        ASSERT_TRUE(tree.Folder("work") && tree.Folder("lzh") && tree.Folder("run", 0700));
        ASSERT_TRUE(workPlace.Enter(tree.Path("work"), tree.Path("run")));
    }

    // A found file, with the identity the walker records.
    void Add(const std::string& relative, const std::string& bytes) {
        ASSERT_TRUE(tree.File(relative, bytes));
        struct stat st {};
        ASSERT_EQ(::lstat(tree.Path(relative).c_str(), &st), 0);
        state.results.Append(
            tree.Path(relative), bytes.size(),
            FileIdentity{st.st_dev, st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec});
    }

    int Compress(ArchiverLoader& loader) {
        return CompressToArchive(fs, loader, prompter, ui, clock, state, tree.Path("lzh/"));
    }

    TempTree tree;
    vask::testing::ArchiverWorkPlace workPlace;
    PosixFileSystem fs;
    SystemClock clock;
    RecordingPrompter prompter;
    ScriptedFileOperationUi ui;
    SearchState state;
};

TEST_F(RealCompressionTest, TwoFilesEndInANamedStampedArchiveThatTheToolsRead) {
    DlopenArchiverLoader loader;
    if (!loader.Load()) GTEST_SKIP() << "libunlha32.so not built (ninja unlha32):\n" << loader.LastError();
    Add("src/with blank.txt", std::string(5000, 'a') + "end");
    Add("src/second.bak", "second file\n");
    state.timeSearch = 1141176030;  // a fixed past time, to see the stamp

    ASSERT_EQ(Compress(loader), 0);

    EXPECT_TRUE(prompter.texts.empty());
    EXPECT_FALSE(Exists(tree.Path("src/with blank.txt")));
    EXPECT_FALSE(Exists(tree.Path("src/second.bak")));
    EXPECT_FALSE(Exists(tree.Path("work/__Vask__.---")));
    EXPECT_FALSE(Exists(tree.Path("lzh/__Vask__.lzh")));
    const std::string archive = tree.Path("lzh/") + FinalArchiveName(clock.ToLocalTime(state.timeSearch));
    struct stat st;
    ASSERT_EQ(::stat(archive.c_str(), &st), 0) << archive;
    EXPECT_EQ(st.st_mtime, 1141176030);
    EXPECT_EQ(st.st_atime, 1141176030);

    // Members carry their full folder path without the leading "/".
    const std::string member1 = tree.Path("src/with blank.txt").substr(1);
    const std::string member2 = tree.Path("src/second.bak").substr(1);
    if (HasTool("bsdtar")) {
        EXPECT_EQ(Output("bsdtar -tf '" + archive + "' | sort"), member2 + "\n" + member1 + "\n");
        EXPECT_EQ(Output("bsdtar -xOf '" + archive + "' '" + member2 + "'"), "second file\n");
    }
    if (HasTool("lha")) {
        const std::string listing = Output("lha -l '" + archive + "'");
        EXPECT_NE(listing.find("with blank.txt"), std::string::npos) << listing;
        EXPECT_NE(listing.find("second.bak"), std::string::npos) << listing;
        EXPECT_EQ(std::system(("lha -t '" + archive + "' >/dev/null 2>&1").c_str()), 0);
    }
}

TEST_F(RealCompressionTest, ABusyArchiverIsReportedAndNothingMoves) {
    DlopenArchiverLoader loader;
    if (!loader.Load()) GTEST_SKIP() << "libunlha32.so not built (ninja unlha32):\n" << loader.LastError();
    Add("src/a.tmp", "a");
    // Another process's archive operation, as the library sees it: a holder of its lock file. A child holds
    // it, because a lock of this process's own open file would be a lock of another open file too.
    const std::string lock = tree.Path("run/unlha32-") + std::to_string(::getuid()) + ".lock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
        if (::write(ready[1], "x", 1) != 1) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);

    const int result = Compress(loader);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    EXPECT_EQ(result, 1);
    EXPECT_EQ(prompter.texts, std::vector<std::string>{"Unlha32.Dllが使用中です。"});
    EXPECT_TRUE(Exists(tree.Path("src/a.tmp")));
    EXPECT_FALSE(Exists(tree.Path("work/__Vask__.---")));
    EXPECT_FALSE(Exists(tree.Path("lzh/__Vask__.lzh")));
}

TEST_F(RealCompressionTest, ALibraryThatIsAbsentOrLacksTheCallsCountsAsMissing) {
    // libm loads, but has neither call.
    const std::string libm = Output("ls /lib/*/libm.so.6 /usr/lib/*/libm.so.6 2>/dev/null | head -n1");
    DlopenArchiverLoader loader({tree.Path("nowhere/libunlha32.so"), libm.substr(0, libm.find('\n'))});
    Add("src/a.tmp", "a");
    EXPECT_EQ(Compress(loader), 1);
    EXPECT_EQ(prompter.texts, std::vector<std::string>{"Unlha32.Dllが見つかりません。"});
    EXPECT_TRUE(Exists(tree.Path("src/a.tmp")));
    EXPECT_FALSE(Exists(tree.Path("work/__Vask__.---")));
    EXPECT_NE(loader.LastError().find("nowhere"), std::string::npos) << loader.LastError();
    EXPECT_NE(loader.LastError().find("lacks"), std::string::npos) << loader.LastError();
}

// Between the search and the delete, each ticked file is changed in one of the ways that would have made the
// archiver pack another file than the one shown; only the untouched file is packed, the changed one and the
// file it was swapped for stay as they are, and the result says a file was refused.
TEST_F(RealCompressionTest, OnlyFilesThatAreStillWhatTheSearchSawArePacked) {
    DlopenArchiverLoader loader;
    if (!loader.Load()) GTEST_SKIP() << "libunlha32.so not built (ninja unlha32):\n" << loader.LastError();
    const auto sh = [&](const std::string& command) {
        ASSERT_EQ(std::system(("cd '" + tree.Root() + "' && " + command).c_str()), 0) << command;
    };
    struct Case {
        const char* name;
        std::string change;  // shell, in the tree's root, on case/x/f.bak after the search
        std::string kept;    // a file that must come through untouched ("" for none)
    };
    const Case cases[] = {
        {"folder swapped for a link to a folder with a namesake",
         "mv case/x case/x.old && mkdir -p other && printf OTHER > other/f.bak && ln -s ../other case/x",
         "other/f.bak"},
        {"replaced by another file", "printf NEW > case/x/f.bak.new && mv case/x/f.bak.new case/x/f.bak", ""},
        {"replaced by a file of the same size and time",
         "cp -p case/x/f.bak case/x/f.bak.new && mv case/x/f.bak.new case/x/f.bak", ""},
        {"rewritten in place", "printf CHANGED >> case/x/f.bak", ""},
        {"hard-linked to another file", "printf LINKED > elsewhere && ln -f elsewhere case/x/f.bak",
         "elsewhere"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.results.Clear();
        ui = ScriptedFileOperationUi();
        sh("rm -rf case other elsewhere lzh/* && mkdir -p case/x");
        Add("case/x/f.bak", "SEARCHED");
        ::utimensat(AT_FDCWD, tree.Path("case/x/f.bak").c_str(),
                    std::array<timespec, 2>{timespec{1000000000, 0}, timespec{1000000000, 0}}.data(), 0);
        state.results.Clear();
        Add("case/y.bak", "untouched");
        // The identity as the walker saw it, after the time was set.
        struct stat st {};
        ASSERT_EQ(::lstat(tree.Path("case/x/f.bak").c_str(), &st), 0);
        state.results.Append(tree.Path("case/x/f.bak"), st.st_size,
                             FileIdentity{st.st_dev, st.st_ino, st.st_mtim.tv_sec * 1000000000LL});
        sh(c.change);
        std::string keptBefore;
        if (!c.kept.empty()) keptBefore = Output("cat '" + tree.Path(c.kept) + "'");

        EXPECT_EQ(Compress(loader), 1);

        EXPECT_FALSE(Exists(tree.Path("case/y.bak")));
        ASSERT_EQ(ui.failures.size(), 1u);
        EXPECT_EQ(ui.failures[0].path, tree.Path("case/x/f.bak"));
        EXPECT_TRUE(ui.failures[0].changedSinceSearch);
        EXPECT_TRUE(Exists(tree.Path("case/x/f.bak")));
        if (!c.kept.empty()) {
            EXPECT_EQ(Output("cat '" + tree.Path(c.kept) + "'"), keptBefore);
        }
        const std::string archive = tree.Path("lzh/") + FinalArchiveName(clock.ToLocalTime(state.timeSearch));
        if (HasTool("bsdtar")) {
            EXPECT_EQ(Output("bsdtar -tf '" + archive + "'"), tree.Path("case/y.bak").substr(1) + "\n");
        }
        EXPECT_FALSE(Exists(tree.Path("work/__Vask__.---")));
    }
}

// A working archive left by a killed run is renamed aside after its own time, before the new run writes its
// own; both archives then hold exactly their members, a member of the same name included.
TEST_F(RealCompressionTest, ALeftoverWorkingArchiveIsNeverAddedTo) {
    DlopenArchiverLoader loader;
    if (!loader.Load()) GTEST_SKIP() << "libunlha32.so not built (ninja unlha32):\n" << loader.LastError();
    Add("src/same.bak", "first copy");
    state.timeSearch = 1141176030;
    ASSERT_EQ(Compress(loader), 0);
    const std::string first = tree.Path("lzh/") + FinalArchiveName(clock.ToLocalTime(state.timeSearch));
    // As a kill before the rename leaves it: under the working name, with a time of its own.
    ASSERT_EQ(::rename(first.c_str(), tree.Path("lzh/__Vask__.lzh").c_str()), 0);
    const timespec leftoverTime[2] = {{1141172430, 0}, {1141172430, 0}};  // an hour before the search
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.Path("lzh/__Vask__.lzh").c_str(), leftoverTime, 0), 0);
    const std::string aside = tree.Path("lzh/") + FinalArchiveName(clock.ToLocalTime(1141172430));
    ASSERT_TRUE(tree.File("lzh/" + FinalArchiveName(clock.ToLocalTime(1141172430)), "taken"));

    state.results.Clear();
    Add("src/same.bak", "second copy");
    ASSERT_EQ(Compress(loader), 0);

    const std::string asideNumbered = aside.substr(0, aside.size() - 4) + "_2.lzh";
    EXPECT_FALSE(Exists(tree.Path("lzh/__Vask__.lzh")));
    EXPECT_EQ(Output("cat '" + aside + "'"), "taken");
    const std::string member = tree.Path("src/same.bak").substr(1);
    if (HasTool("bsdtar")) {
        EXPECT_EQ(Output("bsdtar -xOf '" + asideNumbered + "' '" + member + "'"), "first copy");
        EXPECT_EQ(Output("bsdtar -xOf '" + first + "' '" + member + "'"), "second copy");
        EXPECT_EQ(Output("bsdtar -tf '" + first + "'"), member + "\n");
    }
}

// A FIFO, a link or another user's file named like the list file: refused at once with a message, nothing
// packed, the entry left as it was. An alarm ends the test if anything blocks.
TEST_F(RealCompressionTest, AListFileNameThatIsNoRegularFileOfOursIsRefusedWithoutHanging) {
    DlopenArchiverLoader loader;
    if (!loader.Load()) GTEST_SKIP() << "libunlha32.so not built (ninja unlha32):\n" << loader.LastError();
    const std::string list = tree.Path("work/__Vask__.---");
    std::vector<std::pair<std::string, std::function<bool()>>> plants = {
        {"FIFO", [&] { return ::mkfifo(list.c_str(), 0666) == 0; }},
        {"link", [&] { return ::symlink("../stolen", list.c_str()) == 0; }},
    };
    if (::geteuid() == 0) {
        plants.push_back({"another user's file", [&] {
                              ::chmod(tree.Path("work").c_str(), 01777);
                              return tree.File("work/__Vask__.---", "planted") &&
                                     ::chown(list.c_str(), 65534, 65534) == 0;
                          }});
    }
    ::alarm(30);
    for (auto& [name, plant] : plants) {
        SCOPED_TRACE(name);
        prompter.texts.clear();
        ::unlink(list.c_str());
        ASSERT_TRUE(plant());
        state.results.Clear();
        Add("src/a.tmp", "a");
        EXPECT_EQ(Compress(loader), 1);
        ASSERT_EQ(prompter.texts.size(), 1u);
        EXPECT_EQ(prompter.texts[0].rfind("ﾌｧｲﾙ __Vask__.--- が作成できません。\n", 0), 0u)
            << prompter.texts[0];
        EXPECT_TRUE(Exists(tree.Path("src/a.tmp")));
        EXPECT_TRUE(Exists(list));
        EXPECT_FALSE(Exists(tree.Path("stolen")));
    }
    ::alarm(0);
    if (::geteuid() != 0) GTEST_SKIP() << "the other-user case needs root to chown";
}

}  // namespace
}  // namespace vask
