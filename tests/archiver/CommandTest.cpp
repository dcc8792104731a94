#include <gtest/gtest.h>
#include <sys/wait.h>

#include <functional>
#include <iostream>

#include "TestUtil.h"
#include "archiver/lha/Command.h"
#include "archiver/lha/Operations.h"

namespace vask::lha {
namespace {

Command Parse(const std::string& line) {
    auto r = ParseCommand(line, PosixFileIo());
    EXPECT_TRUE(r.ok()) << line << ": " << r.status().ToString();
    return r.ok() ? *r : Command{};
}

TEST(CommandTest, WordsSplitAtBlanksAndQuotesGroupBytesUnchanged) {
    auto words = SplitWords(" m\t-rxa  \"/a b/c\"\r\n\"\" plain \"\x83\x5C.txt\"x ");
    ASSERT_EQ(words.size(), 6u);
    EXPECT_EQ(words[0].text, "m");
    EXPECT_EQ(words[2].text, "/a b/c");
    EXPECT_TRUE(words[2].quoted);
    EXPECT_EQ(words[3].text, "");
    EXPECT_FALSE(words[4].quoted);
    // A CP932 character with trail byte 0x5C ("\") and a quote in mid-word pass through as bytes.
    EXPECT_EQ(words[5].text, "\x83\x5C.txtx");
}

TEST(CommandTest, TheCallersMoveLineParses) {
    Command c = Parse("m -rxa /home/u/BackupLzh/__Vask__.lzh \"/home/u/a b.txt\" \"/tmp/-x\" ");
    EXPECT_EQ(c.verb, 'm');
    EXPECT_TRUE(c.recurse && c.full_paths && c.attributes);
    EXPECT_EQ(c.method, Method::kLh7);
    EXPECT_EQ(c.archive, "/home/u/BackupLzh/__Vask__.lzh");
    // A quoted word is a path even when it starts with "-".
    EXPECT_EQ(c.files, (std::vector<std::string>{"/home/u/a b.txt", "/tmp/-x"}));
}

TEST(CommandTest, AnUnquotedArchivePathWithBlanksIsKeptWhole) {
    Command c = Parse("m -rxa /home/my user/Backup Lzh/__Vask__.lzh \"/f\" ");
    EXPECT_EQ(c.archive, "/home/my user/Backup Lzh/__Vask__.lzh");
    EXPECT_EQ(c.files, (std::vector<std::string>{"/f"}));
}

TEST(CommandTest, SwitchesMethodsAndTargetRoot) {
    EXPECT_EQ(Parse("a -m5 x.lzh f").method, Method::kLh5);
    EXPECT_EQ(Parse("A -M6 x.lzh f").method, Method::kLh6);
    EXPECT_EQ(Parse("a -m0 x.lzh f").method, Method::kStored);
    EXPECT_EQ(Parse("x a.lzh /restore/").target_root, "/restore/");
    EXPECT_EQ(Parse("x -w=/restore a.lzh").target_root, "/restore");
    Command c = Parse("x a.lzh dir/member");
    EXPECT_TRUE(c.target_root.empty());
    EXPECT_EQ(c.files, (std::vector<std::string>{"dir/member"}));
    for (const char* bad : {"", "q a.lzh", "a -z a.lzh f", "a -m9 a.lzh f", "a -rxa", "x -w= a.lzh"})
        EXPECT_EQ(ParseCommand(bad, PosixFileIo()).status().code(), EINVAL) << bad;
}

TEST(CommandTest, ListFileHoldsTheCommand) {
    test::TempDir dir;
    test::WriteFile(dir / "__Vask__.---", "m -rxa " + dir / "w.lzh" + " \"" + dir / "a b" + "\" ");
    Command c = Parse("@" + dir / "__Vask__.---");
    EXPECT_EQ(c.verb, 'm');
    EXPECT_EQ(c.archive, dir / "w.lzh");
    EXPECT_EQ(c.files, (std::vector<std::string>{dir / "a b"}));
    EXPECT_EQ(ParseCommand("@" + dir / "missing.---", PosixFileIo()).status().code(), ENOENT);
    test::WriteFile(dir / "loop", "@" + dir / "loop");
    EXPECT_EQ(ParseCommand("@" + dir / "loop", PosixFileIo()).status().code(), EINVAL);
}

// Someone else's list file could make the archiver pack or remove files of their choosing, and a FIFO would
// block for ever. Each case runs in a child with an alarm, so that a hang fails the test instead of stopping
// it.
TEST(CommandTest, OnlyARegularListFileOfOurOwnIsRead) {
    test::TempDir dir;
    const std::string good = dir / "good.---";
    test::WriteFile(good, "l " + dir / "w.lzh");
    ::chmod(good.c_str(), 0600);
    struct Case {
        const char* name;
        std::function<bool(const std::string&)> make;  // false: cannot be set up here (skipped)
        int error;                                     // 0: accepted
    };
    const Case cases[] = {
        {"own", [&](const std::string& p) { return ::link(good.c_str(), p.c_str()) == 0; }, 0},
        {"link", [&](const std::string& p) { return ::symlink(good.c_str(), p.c_str()) == 0; }, ELOOP},
        {"fifo", [](const std::string& p) { return ::mkfifo(p.c_str(), 0600) == 0; }, EINVAL},
        {"folder", [](const std::string& p) { return ::mkdir(p.c_str(), 0700) == 0; }, EINVAL},
        {"everybody-writable",
         [](const std::string& p) {
             test::WriteFile(p, "l x.lzh");
             return ::chmod(p.c_str(), 0666) == 0;
         },
         EPERM},
        {"other-user",
         [](const std::string& p) {
             test::WriteFile(p, "l x.lzh");
             return ::geteuid() == 0 && ::chown(p.c_str(), 65534, 65534) == 0;
         },
         EPERM},
    };
    for (const Case& c : cases) {
        const std::string path = dir / c.name;
        if (!c.make(path)) {
            std::cout << "skipped " << c.name << " (needs root)\n";
            continue;
        }
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(5);
            auto r = ParseCommand("@" + path, PosixFileIo());
            ::_exit(r.ok() ? 0 : r.status().code());
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << c.name << ": hung or crashed";
        EXPECT_EQ(WEXITSTATUS(status), c.error) << c.name;
    }
}

TEST(PathTest, AbsoluteAndMemberPathsAreCleaned) {
    EXPECT_EQ(AbsolutePath("a/./b/../c", "/home/u"), "/home/u/a/c");
    EXPECT_EQ(AbsolutePath("//x//y/", "/cwd"), "/x/y");
    EXPECT_EQ(AbsolutePath("../../..", "/a"), "/");
    EXPECT_EQ(SafeMemberPath("/home/u/./f.txt"), "home/u/f.txt");
    EXPECT_EQ(SafeMemberPath("a/../../etc/passwd"), "");
    EXPECT_EQ(SafeMemberPath(".."), "");
    EXPECT_EQ(SafeMemberPath("/"), "");
}

}  // namespace
}  // namespace vask::lha
