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

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "disposal/Compression.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SystemClock.h"
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

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        for (int c; (c = std::fgetc(pipe)) != EOF;)
            out += static_cast<char>(c);
        ::pclose(pipe);
    }
    return out;
}

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
        char previous[4096];
        ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
        previousFolder = previous;
        ASSERT_EQ(::chdir(tree.Path("work").c_str()), 0);
        if (const char* run = std::getenv("XDG_RUNTIME_DIR")) previousRuntime = run;
        ::setenv("XDG_RUNTIME_DIR", tree.Path("run").c_str(), 1);
    }
    void TearDown() override {
        if (!previousFolder.empty() && ::chdir(previousFolder.c_str()) != 0) ADD_FAILURE() << "chdir back";
        if (previousRuntime)
            ::setenv("XDG_RUNTIME_DIR", previousRuntime->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

    void Add(const std::string& relative, const std::string& bytes) {
        ASSERT_TRUE(tree.File(relative, bytes));
        state.results.Append(tree.Path(relative), bytes.size(), FileIdentity{});
    }

    TempTree tree;
    std::string previousFolder;
    std::optional<std::string> previousRuntime;
    PosixFileSystem fs;
    SystemClock clock;
    RecordingPrompter prompter;
    SearchState state;
};

TEST_F(RealCompressionTest, TwoFilesEndInANamedStampedArchiveThatTheToolsRead) {
    DlopenArchiverLoader loader;
    if (!loader.Load()) GTEST_SKIP() << "libunlha32.so not built (ninja unlha32):\n" << loader.LastError();
    Add("src/with blank.txt", std::string(5000, 'a') + "end");
    Add("src/second.bak", "second file\n");
    state.timeSearch = 1141176030;  // a fixed past time, to see the stamp

    ASSERT_EQ(CompressToArchive(fs, loader, prompter, clock, state, tree.Path("lzh/")), 0);

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

    const int result = CompressToArchive(fs, loader, prompter, clock, state, tree.Path("lzh/"));
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
    EXPECT_EQ(CompressToArchive(fs, loader, prompter, clock, state, tree.Path("lzh/")), 1);
    EXPECT_EQ(prompter.texts, std::vector<std::string>{"Unlha32.Dllが見つかりません。"});
    EXPECT_TRUE(Exists(tree.Path("src/a.tmp")));
    EXPECT_FALSE(Exists(tree.Path("work/__Vask__.---")));
    EXPECT_NE(loader.LastError().find("nowhere"), std::string::npos) << loader.LastError();
    EXPECT_NE(loader.LastError().find("lacks"), std::string::npos) << loader.LastError();
}

}  // namespace
}  // namespace vask
