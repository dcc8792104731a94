// Sources are read and removed, and members extracted, without ever passing through a symbolic link: real
// files, real links, and swaps made at the worst moments.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "TestUtil.h"
#include "archiver/lha/Archive.h"
#include "archiver/lha/Folders.h"
#include "archiver/lha/Operations.h"

namespace vask::lha {
namespace {

using test::RunLine;

size_t MemberCount(const std::string& archive) {
    auto file = PosixFileIo().OpenRead(archive);
    if (!file) return 0;
    auto members = VerifyArchive(**file);
    return members ? members->size() : 0;
}

// Makes path another file (new inode) of the same size and modification time, as a copy over it would.
void ReplaceKeepingSizeAndTime(const std::string& path, const std::string& with) {
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    std::string content = test::ReadFile(path);
    std::fill(content.begin(), content.end(), 'z');
    test::WriteFile(with, content);
    timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, with.c_str(), times, 0), 0);
    ASSERT_EQ(::rename(with.c_str(), path.c_str()), 0);
}

// Three sources in src/d0..d2, an unrelated folder other/ with a file of the first source's name.
class SourceLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            files_.push_back(src_ / ("d" + std::to_string(i) + "/file " + std::to_string(i) + ".txt"));
            test::WriteFile(files_.back(), test::TextOf(3000 + i * 500, i));
        }
        other_ = src_ / "other/file 0.txt";
        test::WriteFile(other_, "someone else's file of the same name");
        archive_ = out_ / "__Vask__.lzh";
    }
    std::string Line() const {
        std::string line = "m -rxa " + archive_ + " ";
        for (const auto& f : files_)
            line += "\"" + f + "\" ";
        return line;
    }
    // d0 moved aside to d0.real and a link d0 -> other/ put in its place.
    void SwapFolderForLink() {
        ASSERT_EQ(::rename((src_ / "d0").c_str(), (src_ / "d0.real").c_str()), 0);
        ASSERT_EQ(::symlink((src_ / "other").c_str(), (src_ / "d0").c_str()), 0);
    }

    test::TempDir src_, out_;
    std::vector<std::string> files_;
    std::string other_, archive_;
};

TEST_F(SourceLinkTest, AFolderSwappedForALinkBeforeTheRunIsRefused) {
    SwapFolderForLink();
    Outcome o = RunLine(PosixFileIo(), Line());
    EXPECT_EQ(o.code, kSourceError) << o.text;
    EXPECT_NE(o.text.find("symbolic link"), std::string::npos) << o.text;
    EXPECT_EQ(test::ReadFile(other_), "someone else's file of the same name");
    EXPECT_TRUE(test::Exists(src_ / "d0.real/file 0.txt"));
    EXPECT_TRUE(test::Exists(files_[1]) && test::Exists(files_[2]));
    EXPECT_TRUE(test::Entries(out_.path()).empty()) << "no archive and no temporary file";
}

TEST_F(SourceLinkTest, AFinalLinkFifoOrDeviceIsNeverOpened) {
    test::WriteFile(src_ / "target", "target");
    ASSERT_EQ(::symlink((src_ / "target").c_str(), (src_ / "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((src_ / "fifo").c_str(), 0600), 0);
    for (const std::string& bad : {src_ / "link", src_ / "fifo"}) {
        Outcome o = RunLine(PosixFileIo(), "m " + archive_ + " \"" + files_[0] + "\" \"" + bad + "\"");
        EXPECT_EQ(o.code, kSourceError) << bad << ": " << o.text;
        EXPECT_TRUE(test::Exists(files_[0]) && test::Exists(bad)) << bad;
        EXPECT_FALSE(test::Exists(archive_)) << bad;
    }
    EXPECT_EQ(test::ReadFile(src_ / "target"), "target");
}

// A source changed after it was read and before the archive is put in place: the move stops with nothing
// removed and no archive; an earlier archive stays as it was.
struct Change {
    const char* name;
    std::function<void(const std::string& file, const std::string& spare)> apply;
};

class SourceChangeTest : public SourceLinkTest, public ::testing::WithParamInterface<Change> {};

TEST_P(SourceChangeTest, ChangedAfterReadingStopsTheMove) {
    ASSERT_EQ(RunLine(PosixFileIo(), "a " + archive_ + " \"" + other_ + "\"").code, kOk);
    const std::string earlier = test::ReadFile(archive_);
    test::FaultyFileIo io;
    io.after_close = [&] { GetParam().apply(files_[1], src_ / "spare"); };
    Outcome o = RunLine(io, Line());
    EXPECT_EQ(o.code, kSourceError) << o.text;
    EXPECT_NE(o.text.find(files_[1]), std::string::npos) << o.text;
    EXPECT_TRUE(test::Exists(files_[0]) && test::Exists(files_[2])) << "an unchanged source was removed";
    EXPECT_TRUE(test::ReadFile(archive_) == earlier);
    EXPECT_EQ(test::Entries(out_.path()), std::vector<std::string>{"__Vask__.lzh"});
}

const Change kChanges[] = {
    {"ReplacedSameSizeAndTime", [](auto& file, auto& spare) { ReplaceKeepingSizeAndTime(file, spare); }},
    {"RewrittenInPlace",
     [](auto& file, auto&) {
         struct stat st;
         ::stat(file.c_str(), &st);
         test::WriteFile(file, "rewritten");  // same inode, other size and time
         timespec later[2] = {{0, UTIME_OMIT}, {st.st_mtim.tv_sec + 10, 0}};
         ::utimensat(AT_FDCWD, file.c_str(), later, 0);
     }},
    {"RewrittenSameSize",
     [](auto& file, auto&) {
         std::string content = test::ReadFile(file);
         content[0] ^= 1;
         test::WriteFile(file, content);
         timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
         ::utimensat(AT_FDCWD, file.c_str(), later, 0);
     }},
    {"HardLinkOfAnotherFile",
     [](auto& file, auto& spare) {
         test::WriteFile(spare, test::ReadFile(file));
         ::unlink(file.c_str());
         ::link(spare.c_str(), file.c_str());
     }},
    {"Removed", [](auto& file, auto&) { ::unlink(file.c_str()); }},
};

INSTANTIATE_TEST_SUITE_P(Changes, SourceChangeTest, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SourceLinkTest, ChangedAfterTheArchiveIsInPlaceIsKeptAndReported) {
    test::FaultyFileIo io;
    io.after_rename = [&] { ReplaceKeepingSizeAndTime(files_[1], src_ / "spare"); };
    Outcome o = RunLine(io, Line());
    EXPECT_EQ(o.code, kSourcesKept) << o.text;
    EXPECT_FALSE(test::Exists(files_[0]));
    EXPECT_EQ(test::ReadFile(files_[1]), std::string(3500, 'z'));
    EXPECT_FALSE(test::Exists(files_[2]));
    EXPECT_EQ(MemberCount(archive_), 3u);
}

// Once a folder is open, its files are read and removed there even when its path is taken over by a link:
// the file that was read goes, the file the link leads to stays.
TEST_F(SourceLinkTest, AFolderSwappedAfterReadingLosesOnlyTheFileThatWasRead) {
    test::FaultyFileIo io;
    io.after_rename = [&] { SwapFolderForLink(); };
    Outcome o = RunLine(io, Line());
    EXPECT_EQ(o.code, kOk) << o.text;
    EXPECT_FALSE(test::Exists(src_ / "d0.real/file 0.txt"));
    EXPECT_EQ(test::ReadFile(other_), "someone else's file of the same name");
    EXPECT_EQ(MemberCount(archive_), 3u);
}

// A folder the cache had to close is opened again by its path: a link now there is refused, and so is
// another folder put in its place.
TEST(FolderCacheTest, AFolderOpenedAgainMustBeTheSameFolder) {
    struct Case {
        const char* name;
        std::function<void(const std::string& base)> swap;
        int error;
    };
    const Case cases[] = {
        {"untouched", [](auto&) {}, 0},
        {"link",
         [](auto& base) {
             ::rename((base + "/a").c_str(), (base + "/a.old").c_str());
             ::symlink((base + "/b").c_str(), (base + "/a").c_str());
         },
         ELOOP},
        {"other-folder",
         [](auto& base) {
             ::rename((base + "/a").c_str(), (base + "/a.old").c_str());
             ::mkdir((base + "/a").c_str(), 0755);
         },
         vask::Status::kChanged},
        {"parent-link",
         [](auto& base) {
             ::rename(base.c_str(), (base + ".old").c_str());
             ::symlink((base + ".old").c_str(), base.c_str());
         },
         ELOOP},
    };
    for (const Case& c : cases) {
        test::TempDir tmp;
        const std::string base = tmp / "base";
        ::mkdir(base.c_str(), 0755);
        ::mkdir((base + "/a").c_str(), 0755);
        ::mkdir((base + "/b").c_str(), 0755);
        FolderCache folders(PosixFileIo(), 1);
        ASSERT_TRUE(folders.Get(base + "/a", false).ok()) << c.name;
        ASSERT_TRUE(folders.Get(base + "/b", false).ok()) << c.name;  // closes the others
        c.swap(base);
        auto again = folders.Get(base + "/a", false);
        EXPECT_EQ(again.ok() ? 0 : again.status().code(), c.error) << c.name;
        std::error_code ec;
        std::filesystem::remove_all(base + ".old", ec);
    }
}

// Members whose way passes through a link are refused; the others are extracted.
TEST(ExtractLinkTest, NoMemberIsWrittenThroughALink) {
    test::TempDir root, outside;
    MemorySink sink;
    for (const char* name : {"ok/a.txt", "tmp/b.txt", "in/c.txt", "final.txt"}) {
        std::string text = std::string("member ") + name;
        MemorySource src(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        MemberHeader h;
        h.path = name;
        h.mtime = 1141208430;
        h.unix_mode = 0100640;
        ASSERT_TRUE(AppendMember(sink, h, Method::kLh5, src, text.size()).ok());
    }
    ASSERT_TRUE(AppendEndMark(sink).ok());
    const std::string archive = outside / "a.lzh";
    test::WriteFile(archive, std::string(sink.bytes().begin(), sink.bytes().end()));
    const std::string dir = root / "r";
    ::mkdir(dir.c_str(), 0755);
    ::mkdir((dir + "/inside").c_str(), 0755);
    ::symlink(outside.path().c_str(), (dir + "/tmp").c_str());    // leads out of the root
    ::symlink((dir + "/inside").c_str(), (dir + "/in").c_str());  // leads to a folder inside it
    test::WriteFile(outside / "final.txt", "outside file");
    ::symlink((outside / "final.txt").c_str(), (dir + "/final.txt").c_str());  // a final link is replaced

    Outcome o = RunLine(PosixFileIo(), "x -w=" + dir + " " + archive);
    EXPECT_EQ(o.code, kMemberSkipped) << o.text;
    EXPECT_EQ(test::ReadFile(dir + "/ok/a.txt"), "member ok/a.txt");
    struct stat st;
    ASSERT_EQ(::stat((dir + "/ok/a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1141208430);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_FALSE(test::Exists(outside / "b.txt"));
    EXPECT_TRUE(test::Entries(dir + "/inside").empty());
    EXPECT_EQ(test::ReadFile(outside / "final.txt"), "outside file");
    EXPECT_EQ(test::ReadFile(dir + "/final.txt"), "member final.txt");

    // A link on the way to the root itself is not followed either.
    ::symlink(dir.c_str(), (root / "via").c_str());
    o = RunLine(PosixFileIo(), "x " + archive + " " + root / "via/sub/");
    EXPECT_NE(o.code, kOk) << o.text;
    EXPECT_FALSE(test::Exists(dir + "/sub"));
}

}  // namespace
}  // namespace vask::lha
