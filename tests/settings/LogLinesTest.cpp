#include "settings/LogLines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "disposal/DeletionLog.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/MemoryFileSystem.h"

namespace vask {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Items(const LogLines& lines) {
    std::vector<std::string> items;
    for (std::size_t i = 0; i < lines.Count(); ++i)
        items.emplace_back(lines.Item(i));
    return items;
}

TEST(LogLines, SplitsLinesIntoItemsOfAtMost259Bytes) {
    const std::string a259(259, 'a');
    const std::string b258(258, 'b');
    const struct {
        std::string text;
        std::vector<std::string> items;
    } cases[] = {
        {"", {}},
        {"one\r\ntwo\r\n", {"one", "two"}},
        {"one\r\ntwo", {"one", "two"}},  // the end of the file adds no item
        {"\r\n\n", {"", ""}},
        {"a\rb\r\n", {"a\rb"}},  // only the CR of a line end goes
        {std::string(300, 'x') + "\r\n", {std::string(259, 'x'), std::string(41, 'x')}},
        {a259 + "\r\nnext\r\n", {a259, "", "next"}},  // the line end needs a read of its own
        {a259, {a259}},
        {b258 + "\r\n", {b258}},
        // A UTF-8 character across byte 259 moves whole into the next item.
        {b258 + "あい\r\n", {b258, "あい"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Items(LogLines(c.text)), c.items) << c.text.substr(0, 20);
    const LogLines lines("ab\r\n" + std::string(300, 'x') + "\r\nabc\r\n" + a259);
    EXPECT_EQ(lines.LongestItem(), 1u);
}

TEST(LogLines, ItemsAcrossTheReadBufferAreWholeAndInOrder) {
    // About 3 MB of lines of every length up to 700 bytes, so items start and end at every offset of the
    // 1 MB read buffer; a few lines of three-byte characters cross its edges too.
    std::string text;
    std::size_t expected = 0;
    std::string joined;
    for (std::size_t i = 0; text.size() < 3'000'000; ++i) {
        const std::size_t length = (i * 37) % 701;
        std::string line = i % 50 == 0 ? std::string() : std::string(length, static_cast<char>('a' + i % 26));
        if (i % 50 == 0) {
            for (std::size_t k = 0; k < length / 3; ++k)
                line += "あ";
        }
        text += line + "\r\n";
        joined += line;
        if (i % 50 != 0) expected += line.size() / LogLines::kItemBytes + 1;
    }
    const LogLines lines(text);
    std::string rebuilt;
    std::size_t asciiItems = 0;
    for (std::size_t i = 0; i < lines.Count(); ++i) {
        const std::string item = lines.Item(i);
        ASSERT_LE(item.size(), LogLines::kItemBytes);
        ASSERT_TRUE(item.empty() || (static_cast<unsigned char>(item[0]) & 0xC0) != 0x80) << i;
        if (item.empty() || static_cast<unsigned char>(item[0]) < 0x80) ++asciiItems;
        rebuilt += item;
    }
    EXPECT_EQ(rebuilt, joined);
    EXPECT_GE(asciiItems, expected);
}

class DeletionLogReadTest : public ::testing::Test {
  protected:
    LogLines Read() { return ReadDeletionLog(fs); }
    MemoryFileSystem fs;
};

TEST_F(DeletionLogReadTest, ShowsEveryLineOfTwoRecordsInOrder) {
    FakeClock clock;
    SearchState state;
    state.timeSearch = 1700000000;
    state.results.Append("/v/a.bak", 10, FileIdentity{});
    ASSERT_TRUE(WriteDeletionLog(fs, clock, state, false, false).ok());
    ASSERT_TRUE(WriteDeletionLog(fs, clock, state, false, true).ok());
    const std::vector<std::string> items = Items(Read());
    ASSERT_EQ(items.size(), 6u);
    EXPECT_THAT(items[0], ::testing::EndsWith("---<Normal>------"));
    EXPECT_EQ(items[1], "/v/a.bak");
    EXPECT_EQ(items[5], "<1file(s), 10Bytes>");
}

TEST_F(DeletionLogReadTest, AMissingLogIsCreatedEmpty) {
    EXPECT_EQ(Read().Count(), 0u);
    const auto log = fs.Find("/cwd/Vask.Log");
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->kind, EntryKind::Regular);
    EXPECT_EQ(log->size, 0u);
}

TEST_F(DeletionLogReadTest, ALinkAFifoOrAFolderUnderTheNameShowsNothingAndIsLeftAlone) {
    for (const EntryKind kind : {EntryKind::Symlink, EntryKind::Other, EntryKind::Directory}) {
        fs.Remove("/cwd/Vask.Log");
        if (kind == EntryKind::Symlink) fs.AddSymlink("/cwd/Vask.Log");
        if (kind == EntryKind::Other) fs.AddOther("/cwd/Vask.Log");
        if (kind == EntryKind::Directory) fs.AddFolder("/cwd/Vask.Log/");
        EXPECT_EQ(Read().Count(), 0u);
        EXPECT_EQ(fs.Find("/cwd/Vask.Log")->kind, kind);
    }
}

TEST_F(DeletionLogReadTest, AnUnopenableFolderShowsNothing) {
    fs.FailNthCall(FsOperation::OpenCurrentFolder, 1, EACCES);
    EXPECT_EQ(Read().Count(), 0u);
    fs.FailOnPath(FsOperation::CreateFile, "/cwd/Vask.Log", EROFS);
    EXPECT_EQ(Read().Count(), 0u);
    EXPECT_EQ(fs.Find("/cwd/Vask.Log"), nullptr);
}

TEST_F(DeletionLogReadTest, RemovingTakesTheLinkNotItsTarget) {
    fs.AddFile("/home/ann/precious.txt", 5);
    fs.AddSymlink("/cwd/Vask.Log");
    RemoveDeletionLog(fs);
    EXPECT_EQ(fs.Find("/cwd/Vask.Log"), nullptr);
    EXPECT_NE(fs.Find("/home/ann/precious.txt"), nullptr);
    RemoveDeletionLog(fs);  // nothing left to remove: no harm, no report
}

}  // namespace
}  // namespace vask
