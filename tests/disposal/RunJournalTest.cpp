#include "disposal/RunJournal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "disposal/RunUndo.h"

namespace vask {
namespace {

RunJournalEntry Entry(std::uint64_t seq, std::string path, JournalPlaceKind kind, std::string place,
                      std::string member) {
    RunJournalEntry e;
    e.seq = seq;
    e.originalPath = std::move(path);
    e.device = 2049 + seq;
    e.inode = 1234567890123ULL + seq;
    e.size = 5'000'000'000ULL + seq;
    e.mtimeNanoseconds = 1'700'000'000'123'456'789LL + static_cast<std::int64_t>(seq);
    e.mode = 0100644;
    e.kind = kind;
    e.place = std::move(place);
    e.member = std::move(member);
    e.placedDevice = 7 + seq;
    e.placedInode = 99 + seq;
    return e;
}

std::string Journal(const std::vector<RunJournalEntry>& entries) {
    std::string text = FormatJournalHeader({1'765'100'000, 3, true});
    for (const auto& e : entries)
        text += FormatJournalEntry(e);
    return text;
}

const std::vector<RunJournalEntry> kEntries = {
    Entry(0, "/home/u/a b\tc\nd%e.bak", JournalPlaceKind::Trash, "/home/u/.local/share/Trash/", "a b.bak"),
    Entry(1, "/home/u/\xE3\x83\xA1\xE3\x83\xA2\xFF.tmp", JournalPlaceKind::Move, "/backup/\xFF.tmp", ""),
    Entry(2, "/srv/x.log", JournalPlaceKind::Archive, "/lzh/2026.12.07_10.20.30.lzh", "srv/x.log"),
    Entry(3, "/srv/gone", JournalPlaceKind::Deleted, "", ""),
};

void ExpectSameEntry(const RunJournalEntry& a, const RunJournalEntry& b) {
    EXPECT_EQ(a.seq, b.seq);
    EXPECT_EQ(a.originalPath, b.originalPath);
    EXPECT_EQ(a.device, b.device);
    EXPECT_EQ(a.inode, b.inode);
    EXPECT_EQ(a.size, b.size);
    EXPECT_EQ(a.mtimeNanoseconds, b.mtimeNanoseconds);
    EXPECT_EQ(a.mode, b.mode);
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.place, b.place);
    EXPECT_EQ(a.member, b.member);
    EXPECT_EQ(a.placedDevice, b.placedDevice);
    EXPECT_EQ(a.placedInode, b.placedInode);
}

TEST(RunJournalTest, EveryFieldAndAwkwardBytesRoundTrip) {
    std::string text = Journal(kEntries) + FormatJournalRestored(2) + FormatJournalRestored(0);
    // One line per record: the awkward bytes never split a line.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
    std::string error;
    auto journal = ParseRunJournal(text, &error);
    ASSERT_TRUE(journal) << error;
    EXPECT_EQ(journal->header.startSeconds, 1'765'100'000);
    EXPECT_EQ(journal->header.method, 3);
    EXPECT_TRUE(journal->header.silent);
    ASSERT_EQ(journal->entries.size(), kEntries.size());
    for (std::size_t i = 0; i < kEntries.size(); ++i)
        ExpectSameEntry(journal->entries[i], kEntries[i]);
    EXPECT_EQ(journal->restored, (std::set<std::uint64_t>{0, 2}));
    EXPECT_FALSE(journal->truncated);
}

TEST(RunJournalTest, OnlyACutLastLineIsForgiven) {
    const std::string whole = Journal(kEntries);
    const std::size_t lastLineStart = whole.rfind('\n', whole.size() - 2) + 1;
    struct Case {
        const char* what;
        std::string text;
        bool usable;
        std::size_t entries;
    };
    std::string flipped = whole;
    flipped[whole.find("srv/x.log") + 1] = 'S';  // a changed byte in a complete line
    std::string foreign = "[Profile]\nnTrush=0\n";
    std::string newer = whole;
    newer.replace(newer.find("\t1\t"), 3, "\t2\t");
    const Case cases[] = {
        {"killed mid-line", whole.substr(0, lastLineStart + 10), true, 3},
        {"killed before the LF", whole.substr(0, whole.size() - 1), true, 4},
        {"damaged complete line", flipped, false, 0},
        {"foreign file", foreign, false, 0},
        {"empty file", "", false, 0},
        {"header cut short", whole.substr(0, 12), false, 0},
        {"unknown version", newer, false, 0},
        {"entries out of order", FormatJournalHeader({}) + FormatJournalEntry(kEntries[1]), false, 0},
        {"restore mark of no entry", FormatJournalHeader({}) + FormatJournalRestored(0), false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto journal = ParseRunJournal(c.text);
        ASSERT_EQ(journal.has_value(), c.usable);
        if (journal) {
            EXPECT_EQ(journal->entries.size(), c.entries);
            EXPECT_TRUE(journal->truncated);
        }
    }
}

// An archive run's entries for its working archive stand only until a later entry or a mark settles them.
TEST(RunJournalTest, ProvisionalArchiveEntriesGiveWayToWhatFollows) {
    const std::string working = "/lzh/__Vask__.lzh", final = "/lzh/2026.12.07_10.20.30.lzh";
    auto archive = [](std::uint64_t seq, const char* path, const std::string& place) {
        return Entry(seq, path, JournalPlaceKind::Archive, place, path + 1);
    };
    struct Case {
        const char* name;
        std::vector<RunJournalEntry> entries;
        std::vector<std::uint64_t> marks;
        std::vector<std::uint64_t> kept;      // seqs left, in order
        std::vector<std::uint64_t> restored;  // marks left
    };
    const Case cases[] = {
        {"killed before the final entries",
         {archive(0, "/a", working), archive(1, "/b", working)},
         {},
         {0, 1},
         {}},
        {"finished",
         {archive(0, "/a", working), archive(1, "/b", working), archive(2, "/a", final),
          archive(3, "/b", final)},
         {},
         {2, 3},
         {}},
        {"one file stayed",
         {archive(0, "/a", working), archive(1, "/b", working), archive(2, "/a", final)},
         {1},
         {2},
         {}},
        {"kept the working name", {archive(0, "/a", working), archive(1, "/a", working)}, {}, {1}, {}},
        {"an undone final entry stays marked",
         {archive(0, "/a", working), archive(1, "/a", final)},
         {1},
         {1},
         {1}},
        {"a final entry is never superseded",
         {archive(0, "/a", final), archive(1, "/a", final)},
         {},
         {0, 1},
         {}},
        {"only the working name is provisional",
         {archive(0, "/a", "/lzh/x__Vask__.lzh"), archive(1, "/a", "/lzh/__Vask__.lzh.old"),
          archive(2, "/a", final)},
         {},
         {0, 1, 2},
         {}},
        {"a move is not provisional",
         {Entry(0, "/a", JournalPlaceKind::Move, working, ""), archive(1, "/a", final)},
         {},
         {0, 1},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = Journal(c.entries);
        for (std::uint64_t seq : c.marks)
            text += FormatJournalRestored(seq);
        const auto journal = ParseRunJournal(text);
        ASSERT_TRUE(journal);
        std::vector<std::uint64_t> kept;
        for (const RunJournalEntry& e : journal->entries)
            kept.push_back(e.seq);
        EXPECT_EQ(kept, c.kept);
        EXPECT_EQ(std::vector<std::uint64_t>(journal->restored.begin(), journal->restored.end()), c.restored);
    }
}

TEST(RunJournalTest, NamesSortByTimeAndNothingElseIsAJournal) {
    const std::string early = RunJournalName(999, 1), late = RunJournalName(1'765'100'000, 0);
    EXPECT_LT(early, late);
    EXPECT_TRUE(IsRunJournalName(early));
    EXPECT_TRUE(IsRunJournalName(late));
    for (const char* other :
         {"run-1-1.journal", "run-00000000001765100000-.journal", "Vask.Log",
          "run-00000000001765100000-1.journal.tmp", ".run-00000000001765100000-1.journal"})
        EXPECT_FALSE(IsRunJournalName(other)) << other;
}

}  // namespace
}  // namespace vask

namespace vask {
namespace {

// A run is named with what it can still give back; one with nothing left is not offered, one that cannot
// be read always is.
TEST(RunLabelTest, NamesWhatIsLeftAndOffersOnlyWhatCanComeBack) {
    struct Case {
        bool usable;
        int method;
        std::size_t count, restored, deleted;
        const char* label;
        bool offered;
    };
    const Case cases[] = {
        {true, 3, 12, 0, 0, "2026/12/07 08:30 圧縮 12 個", true},
        {true, 3, 12, 9, 0, "2026/12/07 08:30 圧縮 残り 3 個", true},
        {true, 0, 12, 12, 0, "2026/12/07 08:30 ごみ箱 残り 0 個", false},
        {true, 2, 4, 0, 4, "2026/12/07 08:30 削除 0 個", false},
        {true, 1, 0, 0, 0, "2026/12/07 08:30 移動 0 個", false},
        {false, 0, 0, 0, 0, "2026/12/07 08:30 (元に戻せません)", true},
    };
    for (const Case& c : cases) {
        RunSummary run;
        run.usable = c.usable;
        run.header.method = c.method;
        run.count = c.count;
        run.restored = c.restored;
        run.deleted = c.deleted;
        EXPECT_EQ(RunLabel(run, LocalTime{2026, 12, 7, 8, 30, 0}), c.label);
        EXPECT_EQ(run.Offered(), c.offered) << c.label;
    }
}

}  // namespace
}  // namespace vask

namespace vask {
namespace {

// A file the undo could not put back is reported with the reason in Vask's words where it has them.
TEST(UndoReasonTextTest, FailuresSayWhyInJapanese) {
    const struct {
        int code;
        std::string expected;
    } rows[] = {
        {ENOSPC, "元に戻せません (ﾃﾞｨｽｸの空き領域が不足しています)"},
        {ENOTDIR, "元に戻せません (ﾌｫﾙﾀﾞではありません (ﾘﾝｸまたはﾌｧｲﾙです))"},
        {EMLINK, "元に戻せません (" + Status::Error(EMLINK, "", "").ErrorText() + ")"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(
            UndoReasonText(UndoProblem{"/a", UndoReason::Failed, Status::Error(row.code, "/a", "link")}),
            row.expected);
    }
}

}  // namespace
}  // namespace vask
