#include "disposal/DeletionLog.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "platform/fakes/FakeClock.h"
#include "platform/fakes/MemoryFileSystem.h"

namespace vask {
namespace {

constexpr std::int64_t kLogged102030 = 1141176030;  // 2006-03-01 10:20:30 at UTC+9
constexpr std::int64_t kLogged090508 = 1141171508;  // 2006-03-01 09:05:08 at UTC+9

class DeletionLogTest : public testing::Test {
  protected:
    void SetUp() override { state.timeSearch = kLogged102030; }

    void Add(const std::string& path, std::uint64_t size, std::uint8_t checkState = 1) {
        const std::size_t index = state.results.Append(path, size, FileIdentity{});
        state.results.SetCheckState(index, checkState);
    }

    std::string Log() const {
        auto node = fs.Find("/cwd/Vask.Log");
        return node ? MemoryFileSystem::ContentOf(*node) : "<missing>";
    }

    MemoryFileSystem fs;
    FakeClock clock;  // UTC+9
    SearchState state;
};

TEST_F(DeletionLogTest, RecordsAreAppendedOneAfterTheOther) {
    Add("/home/u/a.bak", 1280);
    Add("/home/u/b c.tmp", 0);
    ASSERT_TRUE(WriteDeletionLog(fs, clock, state, /*bLogUpdate=*/false, /*silent=*/false).ok());
    state.results.Clear();
    state.timeSearch = kLogged090508;
    Add("/tmp/x", 0);
    ASSERT_TRUE(WriteDeletionLog(fs, clock, state, false, /*silent=*/true).ok());

    EXPECT_EQ(Log(),
              "---<<< 2006/03/01 10:20:30 >>>------<Normal>------\r\n"
              "/home/u/a.bak\r\n"
              "/home/u/b c.tmp\r\n"
              "<2file(s), 1.3KBytes>\r\n"
              "---<<< 2006/03/01 09:05:08 >>>------<Silent>------\r\n"
              "/tmp/x\r\n"
              "<1file(s), 0Byte>\r\n");
    // Each line went out in a write of its own, and the record reached the disk.
    EXPECT_EQ(fs.CallCount(FsOperation::Write), 7);
    EXPECT_TRUE(fs.Find("/cwd/Vask.Log")->synced);
}

TEST_F(DeletionLogTest, UpdateModeKeepsOnlyTheNewestRecord) {
    fs.AddFile("/cwd/Vask.Log");
    {
        auto folder = fs.OpenCurrentFolder();
        auto file = (*folder)->CreateFile("Vask.Log", FileCreation::Append, 0644);
        ASSERT_TRUE((*file)->Write("an older record, long enough to outlast a shorter one\r\n").ok());
    }
    Add("/a", 1);
    ASSERT_TRUE(WriteDeletionLog(fs, clock, state, /*bLogUpdate=*/true, false).ok());
    ASSERT_TRUE(WriteDeletionLog(fs, clock, state, true, false).ok());
    EXPECT_EQ(Log(), "---<<< 2006/03/01 10:20:30 >>>------<Normal>------\r\n/a\r\n<1file(s), 1Byte>\r\n");
}

TEST_F(DeletionLogTest, OnlyTickedPathsCountAndTheTotalCarriesPastThirtyTwoBits) {
    Add("/big/1", 3000000000ULL);
    Add("/big/unticked", 5000, 0);
    Add("/big/2", 3000000000ULL);
    Add("/big/state-two", 7000, 2);
    ASSERT_TRUE(WriteDeletionLog(fs, clock, state, false, false).ok());
    EXPECT_EQ(Log(),
              "---<<< 2006/03/01 10:20:30 >>>------<Normal>------\r\n"
              "/big/1\r\n/big/2\r\n"
              "<2file(s), 5.6GBytes>\r\n");
}

TEST_F(DeletionLogTest, PathBytesAreWrittenAsTheListHoldsThem) {
    // CP932 with a 0x5C trail byte, invalid UTF-8, and a CR inside a name: none is altered or re-encoded.
    const std::string odd = "/d/\x95\x5c\x8e\xa6/\xff\xfe name\r.txt";
    Add(odd, 2);
    ASSERT_TRUE(WriteDeletionLog(fs, clock, state, false, false).ok());
    EXPECT_EQ(Log(),
              "---<<< 2006/03/01 10:20:30 >>>------<Normal>------\r\n" + odd + "\r\n<1file(s), 2Bytes>\r\n");
}

TEST_F(DeletionLogTest, HeaderShowsTheSearchTimeInLocalTimeWithTwoDigitFields) {
    clock.utcOffsetSeconds = -5 * 3600;  // the same instant west of Greenwich is the previous evening
    state.timeSearch = kLogged090508;
    Add("/a", 0);
    ASSERT_TRUE(WriteDeletionLog(fs, clock, state, false, false).ok());
    EXPECT_EQ(Log().substr(0, 50), "---<<< 2006/02/28 19:05:08 >>>------<Normal>------");
}

TEST_F(DeletionLogTest, AFailedWriteStopsTheRecordWithoutAGap) {
    Add("/a", 1);
    Add("/b", 1);
    Add("/c", 1);
    fs.FailNthCall(FsOperation::Write, 3, ENOSPC);  // the line of /b
    const Status status = WriteDeletionLog(fs, clock, state, false, false);
    EXPECT_EQ(status.code(), ENOSPC);
    // /c is not written after the missing /b, and no footer claims a complete record.
    EXPECT_EQ(Log(), "---<<< 2006/03/01 10:20:30 >>>------<Normal>------\r\n/a\r\n");
    EXPECT_EQ(fs.CallCount(FsOperation::CloseFile), 1);
}

TEST_F(DeletionLogTest, ARecordCutShortDoesNotSwallowTheNextHeader) {
    const std::string header =
        "---<<< 2006/03/01 10:20:30 >>>------<Normal>------\r\n/a\r\n<1file(s), 1Byte>\r\n";
    struct Case {
        std::string before;  // what an earlier run left
        std::string between;
    };
    const Case cases[] = {
        {"", ""},
        {"<1file(s), 1Byte>\r\n", ""},  // complete
        {"---<<< 2006/02/01 00:00:00 >>>---\r\n/home/u/cut-in-the-mid", "\r\n"},
        {"/home/u/cut-after-cr\r", "\n"},  // the line end itself was cut in two
        {"\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        fs.Remove("/cwd/Vask.Log");
        if (!c.before.empty()) {
            auto log = fs.AddFile("/cwd/Vask.Log", c.before.size());
            log->content = c.before;
        }
        state.results.Clear();
        Add("/a", 1);
        ASSERT_TRUE(WriteDeletionLog(fs, clock, state, false, false).ok());
        EXPECT_EQ(Log(), c.before + c.between + header);
    }
    // Emptied first, the file needs no separating line end.
    ASSERT_TRUE(WriteDeletionLog(fs, clock, state, true, false).ok());
    EXPECT_EQ(Log(), header);
}

TEST_F(DeletionLogTest, ALogNameTakenByAnythingButARegularFileOfOursIsNeverWritten) {
    struct Case {
        const char* name;
        std::function<void(MemoryFileSystem&)> plant;
        int error;
    };
    const Case cases[] = {
        {"FIFO", [](MemoryFileSystem& fs) { fs.AddOther("/cwd/Vask.Log"); }, ENXIO},
        {"link", [](MemoryFileSystem& fs) { fs.AddSymlink("/cwd/Vask.Log"); }, ELOOP},
        {"folder", [](MemoryFileSystem& fs) { fs.AddFolder("/cwd/Vask.Log/"); }, EISDIR},
        {"another user's file", [](MemoryFileSystem& fs) { fs.AddFile("/cwd/Vask.Log", 2)->ownerId = 0; },
         EPERM},
    };
    Add("/a", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs.Remove("/cwd/Vask.Log");
        c.plant(fs);
        auto planted = fs.Find("/cwd/Vask.Log");
        for (bool update : {false, true}) {
            EXPECT_EQ(WriteDeletionLog(fs, clock, state, update, false).code(), c.error);
            EXPECT_EQ(fs.Find("/cwd/Vask.Log"), planted);
            EXPECT_EQ(planted->size, c.error == EPERM ? 2u : 0u);
        }
    }
}

TEST_F(DeletionLogTest, AnUnwritableCurrentFolderWritesNothingAndDoesNotFail) {
    fs.AddFolder("/cwd/", 0555);
    Add("/a", 1);
    EXPECT_EQ(WriteDeletionLog(fs, clock, state, false, false).code(), EACCES);
    EXPECT_EQ(fs.Find("/cwd/Vask.Log"), nullptr);
}

}  // namespace
}  // namespace vask
