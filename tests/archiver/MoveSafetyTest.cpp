// "m" must never lose a file: every failure before the new archive is in place leaves sources and any earlier
// archive untouched and no temporary file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>

#include "TestUtil.h"
#include "archiver/lha/Archive.h"
#include "archiver/lha/Operations.h"

namespace vask::lha {
namespace {

using test::RunLine;

std::vector<MemberHeader> Members(const std::string& archive) {
    auto file = PosixFileIo().OpenRead(archive);
    EXPECT_TRUE(file.ok());
    auto members = VerifyArchive(**file);
    EXPECT_TRUE(members.ok()) << members.status().ToString();
    return members.ok() ? *members : std::vector<MemberHeader>{};
}

class MoveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            std::string path = src_ / ("d" + std::to_string(i) + "/file " + std::to_string(i) + ".txt");
            test::WriteFile(path, test::TextOf(20000 + i * 7000, i));
            files_.push_back(path);
        }
        archive_ = out_ / "__Vask__.lzh";
    }
    std::string Line(const std::vector<std::string>& files) const {
        std::string line = "m -rxa " + archive_ + " ";
        for (const auto& f : files)
            line += "\"" + f + "\" ";
        return line;
    }
    // Runs a move that must fail and checks that nothing was lost or left behind.
    void ExpectHarmlessFailure(test::FaultyFileIo& io, const std::vector<std::string>& files) {
        std::map<std::string, std::string> before;
        for (const auto& f : files_)
            before[f] = test::ReadFile(f);
        bool had_archive = test::Exists(archive_);
        std::string archive_bytes = test::ReadFile(archive_);
        auto entries = test::Entries(out_.path());
        Outcome o = RunLine(io, Line(files));
        EXPECT_NE(o.code, kOk) << o.text;
        EXPECT_NE(o.text.find("error: "), std::string::npos);
        for (const auto& [path, bytes] : before) {
            // A file that the fault itself removed or changed is not ours to keep intact.
            if (path == io.vanish_on_open) continue;
            EXPECT_TRUE(test::Exists(path)) << path;
            if (path != io.modify_while_read) {
                EXPECT_TRUE(test::ReadFile(path) == bytes) << path;
            }
        }
        EXPECT_EQ(test::Exists(archive_), had_archive);
        EXPECT_TRUE(test::ReadFile(archive_) == archive_bytes) << "the earlier archive changed";
        EXPECT_EQ(test::Entries(out_.path()), entries) << "a temporary file was left behind";
    }
    void MakeEarlierArchive() {
        std::string old = src_ / "old.txt";
        test::WriteFile(old, test::TextOf(9000, 42));
        ASSERT_EQ(RunLine(PosixFileIo(), "a -rxa " + archive_ + " \"" + old + "\"").code, kOk);
    }

    test::TempDir src_, out_;
    std::vector<std::string> files_;
    std::string archive_;
};

TEST_F(MoveTest, MovedFilesAreInTheArchiveAndGoneFromTheirFolders) {
    MakeEarlierArchive();
    Outcome o =
        RunLine(PosixFileIo(), Line({files_[0], files_[1], files_[0], files_[2]}));  // one named twice
    ASSERT_EQ(o.code, kOk) << o.text;
    for (const auto& f : files_)
        EXPECT_FALSE(test::Exists(f)) << f;
    auto members = Members(archive_);
    ASSERT_EQ(members.size(), 4u);  // the earlier member and each file once
    EXPECT_EQ(members[1].path, files_[0].substr(1));
    test::TempDir back;
    ASSERT_EQ(RunLine(PosixFileIo(), "x " + archive_ + " " + back.path()).code, kOk);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(test::ReadFile(back.path() + files_[i].substr(1)) == test::TextOf(20000 + i * 7000, i));
    EXPECT_EQ(test::Entries(out_.path()), std::vector<std::string>{"__Vask__.lzh"});
}

// A run killed while the archive is written (sources read, nothing put in place): a new archive leaves
// nothing behind, a named temporary file stays as litter. The next run removes no file by its name, however
// much it looks like one of ours, and still succeeds.
TEST_F(MoveTest, AKilledRunLeavesNoArchiveAndTheNextRunRemovesNothingByName) {
    struct Case {
        const char* name;
        bool earlier_archive, without_unnamed_files;
        size_t litter;
    } const cases[] = {
        {"new archive", false, false, 0},
        {"new archive, no O_TMPFILE", false, true, 1},
        {"replacing an archive", true, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir out;
        archive_ = out / "__Vask__.lzh";
        if (c.earlier_archive) MakeEarlierArchive();
        const std::string archive_bytes = test::ReadFile(archive_);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            test::FaultyFileIo io;
            if (c.without_unnamed_files) io.unnamed_errno = EOPNOTSUPP;
            io.after_close = [] { ::kill(::getpid(), SIGKILL); };
            RunLine(io, Line(files_));
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        for (const auto& f : files_)
            EXPECT_TRUE(test::Exists(f)) << f;
        EXPECT_TRUE(test::ReadFile(archive_) == archive_bytes);
        std::vector<std::string> litter;
        for (const std::string& name : test::Entries(out.path()))
            if (name.rfind(".__Vask__.lzh.vask-", 0) == 0) litter.push_back(name);
        EXPECT_EQ(litter.size(), c.litter);

        // Names that look like ours, and the real litter, all stay through the next run.
        test::WriteFile(out / ".__Vask__.lzh.vask-AbCd1234", "someone's file");
        test::WriteFile(out / ".budget.lzh.vask-2024Q1v2", "someone else's");
        ASSERT_EQ(RunLine(PosixFileIo(), Line({files_[0]})).code, kOk);
        auto entries = test::Entries(out.path());
        for (const std::string& name : litter)
            EXPECT_NE(std::find(entries.begin(), entries.end(), name), entries.end()) << name;
        EXPECT_EQ(test::ReadFile(out / ".__Vask__.lzh.vask-AbCd1234"), "someone's file");
        EXPECT_EQ(test::ReadFile(out / ".budget.lzh.vask-2024Q1v2"), "someone else's");
        EXPECT_EQ(entries.size(), litter.size() + 3);
        test::WriteFile(files_[0], test::TextOf(20000, 0));  // back for the next case
    }
}

// While a new archive is written it has no name at all; with no O_TMPFILE it has a hidden one.
TEST_F(MoveTest, ANewArchiveIsUnnamedUntilComplete) {
    for (bool without_unnamed_files : {false, true}) {
        SCOPED_TRACE(without_unnamed_files ? "no O_TMPFILE" : "O_TMPFILE");
        test::TempDir out;
        archive_ = out / "__Vask__.lzh";
        test::FaultyFileIo io;
        if (without_unnamed_files) io.unnamed_errno = EOPNOTSUPP;
        std::vector<std::string> while_written;
        io.after_close = [&] { while_written = test::Entries(out.path()); };
        ASSERT_EQ(RunLine(io, Line(files_)).code, kOk);
        EXPECT_EQ(while_written.size(), without_unnamed_files ? 1u : 0u);
        EXPECT_EQ(test::Entries(out.path()), std::vector<std::string>{"__Vask__.lzh"});
        EXPECT_EQ(Members(archive_).size(), 3u);
        for (int i = 0; i < 3; ++i)
            test::WriteFile(files_[i], test::TextOf(20000 + i * 7000, i));
    }
}

// An archive that appears while the new one is written is never replaced: the move fails, nothing removed.
TEST_F(MoveTest, AnArchiveThatAppearsMeanwhileIsKept) {
    test::FaultyFileIo io;
    io.after_close = [&] { test::WriteFile(archive_, "arrived meanwhile"); };
    Outcome o = RunLine(io, Line(files_));
    EXPECT_EQ(o.code, kWriteError) << o.text;
    EXPECT_EQ(test::ReadFile(archive_), "arrived meanwhile");
    for (const auto& f : files_)
        EXPECT_TRUE(test::Exists(f)) << f;
    EXPECT_EQ(test::Entries(out_.path()), std::vector<std::string>{"__Vask__.lzh"});
}

TEST_F(MoveTest, APrivateSourceMakesThePrivateArchive) {
    ::chmod(files_[0].c_str(), 0644);
    ASSERT_EQ(RunLine(PosixFileIo(), Line({files_[0]})).code, kOk);
    struct stat st;
    ASSERT_EQ(::stat(archive_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ::chmod(files_[1].c_str(), 0600);
    ASSERT_EQ(RunLine(PosixFileIo(), Line({files_[1]})).code, kOk);
    ASSERT_EQ(::stat(archive_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(MoveTest, AddingAgainReplacesTheMemberOfTheSameName) {
    ASSERT_EQ(
        RunLine(PosixFileIo(), "a -rxa " + archive_ + " \"" + files_[0] + "\" \"" + files_[1] + "\"").code,
        kOk);
    test::WriteFile(files_[0], "new content");
    ASSERT_EQ(RunLine(PosixFileIo(), "a -rxa " + archive_ + " \"" + files_[0] + "\"").code, kOk);
    auto members = Members(archive_);
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[1].path, files_[0].substr(1));
    EXPECT_EQ(members[1].original_size, 11u);
}

struct Fault {
    const char* name;
    std::function<void(test::FaultyFileIo&, std::vector<std::string>&, const std::string& archive)> setup;
};

// The archive the run writes to: a new one without a name, a new one with a hidden name (no O_TMPFILE), or
// the replacement of an earlier archive.
enum class Target { NewArchive, NewArchiveNamed, WithArchive };

const char* TargetName(Target t) {
    switch (t) {
        case Target::NewArchive:
            return "_NewArchive";
        case Target::NewArchiveNamed:
            return "_NewArchiveNamed";
        case Target::WithArchive:
            return "_WithArchive";
    }
    return "";
}

class MoveFaultTest : public MoveTest, public ::testing::WithParamInterface<std::tuple<Fault, Target>> {};

TEST_P(MoveFaultTest, FailureRemovesNothingAndKeepsTheEarlierArchive) {
    auto [fault, target] = GetParam();
    if (target == Target::WithArchive) MakeEarlierArchive();
    test::FaultyFileIo io;
    if (target == Target::NewArchiveNamed) io.unnamed_errno = EOPNOTSUPP;
    std::vector<std::string> files = files_;
    fault.setup(io, files, archive_);
    ExpectHarmlessFailure(io, files);
    if (std::string(fault.name).rfind("DiskFull", 0) == 0) {
        // The report blames the archive being written, not the source being read at the time.
        Outcome o = RunLine(io, Line(files));
        const std::string blamed = target == Target::NewArchive ? archive_ : ".__Vask__.lzh.vask-";
        EXPECT_NE(o.text.find(blamed), std::string::npos) << o.text;
    }
}

const Fault kFaults[] = {
    {"DiskFullEarly", [](auto& io, auto&, auto&) { io.fail_writes_after = 10; }},
    {"DiskFullLate", [](auto& io, auto&, auto&) { io.fail_writes_after = 5000; }},
    {"IoErrorOnWrite",
     [](auto& io, auto&, auto&) {
         io.fail_writes_after = 3000;
         io.write_errno = EIO;
     }},
    {"IoErrorOnFlush", [](auto& io, auto&, auto&) { io.sync_errno = EIO; }},
    {"UnreadableSource", [](auto& io, auto& files, auto&) { io.open_errno[files[1]] = EACCES; }},
    {"SourceVanishes", [](auto& io, auto& files, auto&) { io.vanish_on_open = files[2]; }},
    {"SourceChangesWhileRead", [](auto& io, auto& files, auto&) { io.modify_while_read = files[1]; }},
    {"MissingSource", [](auto&, auto& files, auto&) { files.push_back(files[0] + ".missing"); }},
    {"DirectoryInList",
     [](auto&, auto& files, auto&) { files.push_back(files[0].substr(0, files[0].rfind('/'))); }},
    {"DeviceInList", [](auto&, auto& files, auto&) { files.push_back("/dev/null"); }},
    {"FolderNotWritable", [](auto& io, auto&, auto&) { io.create_errno = EACCES; }},
    {"RenameFails", [](auto& io, auto&, auto&) { io.rename_errno = EXDEV; }},
    {"ArchiveFolderMissing",
     [](auto&, auto&, auto& archive) { const_cast<std::string&>(archive) += ".d/x.lzh"; }},
};

INSTANTIATE_TEST_SUITE_P(Faults, MoveFaultTest,
                         ::testing::Combine(::testing::ValuesIn(kFaults),
                                            ::testing::Values(Target::NewArchive, Target::NewArchiveNamed,
                                                              Target::WithArchive)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    TargetName(std::get<1>(info.param));
                         });

TEST_F(MoveTest, DamagedEarlierArchiveStopsTheMove) {
    MakeEarlierArchive();
    std::string bytes = test::ReadFile(archive_);
    // Member data damaged: found when the new archive is read back.
    std::string damaged = bytes;
    damaged[damaged.size() - 40] ^= 0x55;
    test::WriteFile(archive_, damaged);
    test::FaultyFileIo io;
    ExpectHarmlessFailure(io, files_);
    // Cut short: found when the earlier archive is opened.
    test::WriteFile(archive_, bytes.substr(0, bytes.size() / 2));
    ExpectHarmlessFailure(io, files_);
}

TEST_F(MoveTest, ListFileMissingAndSameNameTwiceFail) {
    test::FaultyFileIo io;
    auto entries = test::Entries(out_.path());
    EXPECT_NE(RunLine(io, "@" + out_ / "none.---").code, kOk);
    EXPECT_EQ(test::Entries(out_.path()), entries);
    // Without -x two files of one name in different folders would share a member; refused.
    std::string other = src_ / "e/file 0.txt";
    test::WriteFile(other, "other");
    Outcome o = RunLine(io, "m " + archive_ + " \"" + files_[0] + "\" \"" + other + "\"");
    EXPECT_EQ(o.code, kSourceError) << o.text;
    EXPECT_TRUE(test::Exists(files_[0]) && test::Exists(other));
}

TEST_F(MoveTest, RealFolderWithoutWritePermission) {
    ::chmod(out_.path().c_str(), 0555);
    if (::geteuid() != 0) {
        test::FaultyFileIo io;
        ExpectHarmlessFailure(io, files_);
        return;
    }
    // Root writes into any folder: run the move as "nobody", who may read the sources but not write there.
    for (const std::string& dir : {src_.path(), src_ / "d0", src_ / "d1", src_ / "d2"})
        ::chmod(dir.c_str(), 0755);
    auto entries = test::Entries(out_.path());
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
        // Our working folder may be closed to nobody; only the archive folder should make the move fail.
        if (::chdir("/") != 0) ::_exit(101);
        Outcome o = RunLine(PosixFileIo(), Line(files_));
        ::_exit(o.code == kOk ? 0 : o.code == kWriteError ? 1 : 2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 100) GTEST_SKIP() << "cannot switch to another user here";
    EXPECT_EQ(WEXITSTATUS(status), 1) << "the move should have failed on the archive folder";
    for (const auto& f : files_)
        EXPECT_TRUE(test::Exists(f)) << f;
    EXPECT_EQ(test::Entries(out_.path()), entries);
}

TEST_F(MoveTest, SourcesStayWhenTheFolderEntryCannotBeFlushed) {
    test::FaultyFileIo io;
    io.sync_dir_errno = EIO;
    Outcome o = RunLine(io, Line(files_));
    EXPECT_EQ(o.code, kWriteError) << o.text;
    for (const auto& f : files_)
        EXPECT_TRUE(test::Exists(f)) << f;
    EXPECT_EQ(Members(archive_).size(), 3u);
}

TEST_F(MoveTest, ASourceThatCannotBeRemovedIsReportedAndStaysInTheArchive) {
    test::FaultyFileIo io;
    io.unlink_errno[files_[1]] = EPERM;
    Outcome o = RunLine(io, Line(files_));
    EXPECT_EQ(o.code, kSourcesKept);
    EXPECT_NE(o.text.find(files_[1]), std::string::npos) << o.text;
    EXPECT_FALSE(test::Exists(files_[0]));
    EXPECT_TRUE(test::Exists(files_[1]));
    EXPECT_FALSE(test::Exists(files_[2]));
    EXPECT_EQ(Members(archive_).size(), 3u);
}

}  // namespace
}  // namespace vask::lha
