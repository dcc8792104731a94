// Archives written through the C interface, checked with other LZH readers (lhasa's lha, bsdtar, 7-Zip).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>

#include "TestUtil.h"
#include "archiver/Unlha.h"
#include "archiver/lha/Lock.h"
#include "archiver/lha/Operations.h"

namespace vask::lha {
namespace {

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command; returns its exit status and fills *out with its standard output.
int Shell(const std::string& command, std::string* out = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        text.append(buf.data(), n);
    int status = ::pclose(pipe);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

int CallUnlha(const std::string& line, std::string* text = nullptr) {
    char out[256];
    int rc = Unlha(nullptr, line.c_str(), out, sizeof out);
    if (text) *text = out;
    return rc;
}

class ToolsTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        // A lock of our own: tests running in parallel must not see each other as busy.
        ::setenv("XDG_RUNTIME_DIR", run_.path().c_str(), 1);
        std::mt19937 rng(5);
        std::string noise(70000, '\0');
        for (char& c : noise)
            c = static_cast<char>(rng());
        Add("docs/manual.txt", test::TextOf(200000, 1), 0644);
        Add("bin/noise.bin", noise, 0750);
        Add("empty", "", 0600);
        Add("a b/\xC3\xBC ber \xE6\x97\xA5\xE6\x9C\xAC.txt", "blanks and UTF-8\n", 0644);
        Add("deep/er/and/deeper/x.txt", test::TextOf(3000, 2), 0444);
        // A name length that puts the header size on a multiple of 256 unless the writer avoids it:
        // 26 fixed + 5 CRC + (3 + name) + (3 + folder with trailing separator) + 5 mode + 7 owner.
        std::string folder = (src_ / "pad").substr(1) + "/";
        size_t base = 26 + 5 + 3 + 3 + folder.size() + 5 + 7;
        size_t name_len = (512 - base % 256) % 256;
        if (name_len == 0) name_len = 256;
        Add("pad/" + std::string(std::min<size_t>(name_len, 255), 'p'), "padding probe\n", 0644);
    }
    void Add(const std::string& rel, const std::string& content, mode_t mode) {
        std::string path = src_ / rel;
        test::WriteFile(path, content);
        ::chmod(path.c_str(), mode);
        timespec times[2] = {{1141208430, 0}, {1141208430 + static_cast<time_t>(files_.size()) * 2, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        files_.push_back(path);
        contents_.push_back(content);
    }
    std::string MakeArchive() {
        const std::string archive = work_ / "test.lzh";
        std::string text;
        EXPECT_EQ(CallUnlha(AddLine(archive), &text), kOk) << text;
        return archive;
    }
    std::string AddLine(const std::string& archive) const {
        std::string line = std::string("a -rxa ") + GetParam() + " " + archive;
        for (const auto& f : files_)
            line += " \"" + f + "\"";
        return line;
    }

    test::TempDir run_, src_, work_;
    std::vector<std::string> files_;
    std::vector<std::string> contents_;
};

TEST_P(ToolsTest, LhasaTestsListsAndRestoresAtTheFullPaths) {
    if (!HaveTool("lha")) GTEST_SKIP() << "lha (Debian package lhasa) is not installed";
    const std::string archive = MakeArchive();
    std::string out;
    EXPECT_EQ(Shell("lha -t " + Quote(archive), &out), 0) << out;
    // lhasa lists a broken level-2 header as an empty archive, so count the members too.
    ASSERT_EQ(Shell("lha -l " + Quote(archive), &out), 0) << out;
    EXPECT_NE(out.find(" Total         " + std::to_string(files_.size()) + " files"), std::string::npos)
        << out;

    const std::string root = work_ / "restore";
    ASSERT_EQ(Shell("lha -xw=" + Quote(root) + " " + Quote(archive), &out), 0) << out;
    for (size_t i = 0; i < files_.size(); ++i) {
        std::string back = root + files_[i];
        EXPECT_TRUE(test::ReadFile(back) == contents_[i]) << back;
        struct stat a, b;
        ASSERT_EQ(::stat(files_[i].c_str(), &a), 0);
        ASSERT_EQ(::stat(back.c_str(), &b), 0) << back;
        EXPECT_EQ(a.st_mode, b.st_mode) << back;
        EXPECT_EQ(a.st_mtime, b.st_mtime) << back;
    }
}

TEST_P(ToolsTest, BsdtarExtractsEveryMember) {
    if (!HaveTool("bsdtar")) GTEST_SKIP() << "bsdtar (libarchive-tools) is not installed";
    const std::string archive = MakeArchive();
    std::string out;
    EXPECT_EQ(Shell("bsdtar -xOf " + Quote(archive) + " >/dev/null"), 0);
    // The bytes must come out as they went in, not only without an error.
    ASSERT_EQ(Shell("bsdtar -xOf " + Quote(archive) + " " + Quote(files_[0].substr(1)), &out), 0);
    EXPECT_TRUE(out == contents_[0]);
}

TEST_P(ToolsTest, SevenZipTestsTheArchive) {
    if (!HaveTool("7z")) GTEST_SKIP() << "7z (p7zip-full) is not installed";
    const std::string archive = MakeArchive();
    std::string out;
    EXPECT_EQ(Shell("7z t " + Quote(archive), &out), 0) << out;
    EXPECT_NE(out.find("Files: " + std::to_string(files_.size())), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Methods, ToolsTest, ::testing::Values("-m5", "-m6", "-m7"),
                         [](const auto& info) { return std::string("lh") + (info.param + 2); });

class CInterfaceTest : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("XDG_RUNTIME_DIR", run_.path().c_str(), 1); }
    test::TempDir run_, dir_;
};

TEST_F(CInterfaceTest, TheLibraryExportsOnlyTheTwoCalls) {
    void* lib = ::dlopen(VASK_UNLHA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << ::dlerror();
    EXPECT_NE(::dlsym(lib, "Unlha"), nullptr);
    EXPECT_NE(::dlsym(lib, "UnlhaGetRunning"), nullptr);
    // The core stays inside: a caller cannot bind to it, and it cannot clash with the caller's symbols.
    EXPECT_EQ(::dlsym(lib, "_ZN4vask3lha10RunCommandERKNS0_7CommandERNS0_6FileIoE"), nullptr);
    ::dlclose(lib);
}

TEST_F(CInterfaceTest, MoveThroughAListFileInTheCurrentFolder) {
    std::string a = dir_ / "src/first file.txt", b = dir_ / "src/second.txt";
    test::WriteFile(a, test::TextOf(5000, 1));
    test::WriteFile(b, "second\n");
    std::string archive = dir_ / "lzh/__Vask__.lzh";
    ::mkdir((dir_ / "lzh").c_str(), 0755);
    test::WriteFile(dir_ / "__Vask__.---", "m -rxa " + archive + " \"" + a + "\" \"" + b + "\" ");
    std::string cwd = PosixFileIo().CurrentDir().value();
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    std::string text;
    int rc = CallUnlha("@__Vask__.---", &text);
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    ASSERT_EQ(rc, kOk) << text;
    EXPECT_FALSE(test::Exists(a));
    EXPECT_FALSE(test::Exists(b));
    EXPECT_EQ(CallUnlha("t " + archive, &text), kOk) << text;
    EXPECT_NE(text.find("2 member(s)"), std::string::npos) << text;
    if (HaveTool("7z")) {
        EXPECT_EQ(Shell("7z t " + Quote(archive)), 0);
    }
}

TEST_F(CInterfaceTest, OutputIsCutToTheBufferAndAlwaysTerminated) {
    std::string line = "l " + dir_ / "missing.lzh";
    char buf[8];
    std::memset(buf, 'z', sizeof buf);
    EXPECT_NE(Unlha(nullptr, line.c_str(), buf, sizeof buf), kOk);
    EXPECT_EQ(buf[7], '\0');
    EXPECT_EQ(std::strlen(buf), 7u);
    char untouched = 'q';
    EXPECT_NE(Unlha(nullptr, line.c_str(), &untouched, 0), kOk);
    EXPECT_EQ(untouched, 'q');
    EXPECT_NE(Unlha(nullptr, line.c_str(), nullptr, 256), kOk);
    EXPECT_EQ(Unlha(nullptr, nullptr, buf, sizeof buf), kBadCommand);
}

TEST_F(CInterfaceTest, AnotherProcessHoldingTheLockMeansBusy) {
    EXPECT_EQ(UnlhaGetRunning(), 0);
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        OperationLock lock;
        char c = lock.TryAcquire(LockFilePath()).ok() ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(release[0], &c, 1);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    EXPECT_EQ(UnlhaGetRunning(), 1);
    test::WriteFile(dir_ / "f", "x");
    std::string text;
    EXPECT_EQ(CallUnlha("m " + dir_ / "a.lzh \"" + dir_ / "f\"", &text), kBusy) << text;
    EXPECT_TRUE(test::Exists(dir_ / "f"));
    (void)!::write(release[1], &c, 1);
    int status;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(UnlhaGetRunning(), 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        ::close(fd);
}

}  // namespace
}  // namespace vask::lha
