#include "disposal/RunJournalWriter.h"

#include <gtest/gtest.h>

#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "tests/disposal/ScriptedFileOperationUi.h"

namespace vask {
namespace {

TEST(RunJournalWriterTest, FolderFollowsTheStateHome) {
    struct Case {
        const char* xdgStateHome;  // null: unset
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/state", "/home/u", "/state/Velumark/runs/"},
        {"/state/", "/home/u", "/state/Velumark/runs/"},
        {"relative", "/home/u", "/home/u/.local/state/Velumark/runs/"},
        {nullptr, "/home/u/", "/home/u/.local/state/Velumark/runs/"},
        {"", "", ""},
        {nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        MemoryEnvironment environment;
        if (c.xdgStateHome) environment.variables["XDG_STATE_HOME"] = c.xdgStateHome;
        if (c.home) environment.variables["HOME"] = c.home;
        EXPECT_EQ(RunJournalFolder(environment), c.expected) << (c.xdgStateHome ? c.xdgStateHome : "unset");
    }
}

class RunJournalWriterEngineTest : public ::testing::Test {
  protected:
    RunJournalWriterEngineTest() {
        fs.AddFolder("/runs");
        fs.AddFolder("/state");  // runs/ in it is made by the writer
    }
    FileOperationItem File(const std::string& path) {
        auto node = fs.AddFile(path, 4, 1000000000, 0640);
        node->content = "data";
        return FileOperationItem{path, node->size,
                                 FileIdentity{node->device, node->inode, 1000000000LL * 1000000000LL}};
    }
    RunJournal Journal(const std::string& name) {
        auto parsed = ParseRunJournal(MemoryFileSystem::ContentOf(*fs.Find("/runs/" + name)));
        EXPECT_TRUE(parsed);
        return parsed ? *parsed : RunJournal{};
    }

    MemoryFileSystem fs;
    ScriptedFileOperationUi ui;
};

// Every method records each disposed file with where it went; a file the engine could not dispose of is
// not recorded.
TEST_F(RunJournalWriterEngineTest, EachMethodRecordsWhereFilesWent) {
    struct Case {
        FileOperationKind kind;
        JournalPlaceKind recorded;
        const char* place;  // of /d/b
        const char* member;
    };
    const Case cases[] = {
        {FileOperationKind::Trash, JournalPlaceKind::Trash, "/trash/", "1"},
        {FileOperationKind::Move, JournalPlaceKind::Move, "/to/b", ""},
        {FileOperationKind::Delete, JournalPlaceKind::Deleted, "", ""},
    };
    std::int64_t start = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        fs.AddFolder("/to");
        const std::vector<FileOperationItem> items = {File("/d/a"), File("/d/b"),
                                                      FileOperationItem{"/d/missing", 1, {}}};
        auto writer = RunJournalWriter::Create(fs, "/runs/",
                                               RunJournalHeader{start++, static_cast<int>(c.kind), false});
        ASSERT_TRUE(writer) << writer.status().ToString();
        FileOperationEngine engine(fs, ui);
        engine.SetRecorder(writer.value().get());
        engine.Run(c.kind, items, "/to/");
        const RunJournal journal = Journal(writer.value()->Name());
        ASSERT_EQ(journal.entries.size(), 2u);
        const RunJournalEntry& b = journal.entries[1];
        EXPECT_EQ(b.originalPath, "/d/b");
        EXPECT_EQ(b.kind, c.recorded);
        EXPECT_EQ(b.place, c.place);
        EXPECT_EQ(b.member, c.member);
        EXPECT_EQ(b.inode, items[1].identity.inode);
        EXPECT_EQ(b.size, 4u);
        EXPECT_EQ(b.mode, 0640u);
        fs.Remove("/to/a");
        fs.Remove("/to/b");
    }
}

// A journal that cannot be written any more ends there: the disposal goes on, and no later line claims a
// file after a lost one.
TEST_F(RunJournalWriterEngineTest, WriteFailureEndsTheJournalNotTheRun) {
    auto writer = RunJournalWriter::Create(fs, "/runs/", RunJournalHeader{1, 1, true});
    ASSERT_TRUE(writer) << writer.status().ToString();
    fs.AddFolder("/to");
    const std::vector<FileOperationItem> items = {File("/d/a"), File("/d/b"), File("/d/c")};
    fs.FailNthCall(FsOperation::Write, 2, ENOSPC);  // b's line
    FileOperationEngine engine(fs, ui);
    engine.SetRecorder(writer.value().get());
    EXPECT_EQ(engine.MoveUnattended(items, "/to/").done, 3u);
    EXPECT_EQ(writer.value()->Error().code(), ENOSPC);
    EXPECT_EQ(Journal(writer.value()->Name()).entries.size(), 1u);
}

// Notes how many entries were in the trash when each file was recorded.
class MoveCountingRecorder : public DisposalRecorder {
  public:
    explicit MoveCountingRecorder(MemoryFileSystem& fs) : fs_(fs) {}
    std::uint64_t Record(RunJournalEntry) override {
        movesAtRecord.push_back(fs_.CallCount(FsOperation::MoveToTrash));
        return movesAtRecord.size() - 1;
    }
    void Settle(std::uint64_t) override {}
    void Flush() override {}
    std::vector<int> movesAtRecord;

  private:
    MemoryFileSystem& fs_;
};

// Trashing goes in batches, yet each file is journaled right after it is in the trash, before the next
// one moves: a kill in mid-batch leaves no trashed file the journal does not name. A file that changed
// since the search is moved nowhere and journaled nowhere.
TEST_F(RunJournalWriterEngineTest, EachTrashedFileIsJournaledBeforeTheNextMoves) {
    std::vector<FileOperationItem> items;
    for (int i = 0; i < 300; ++i)  // more than one batch
        items.push_back(File("/d/f" + std::to_string(i)));
    fs.Find("/d/f5")->size = 5;  // grown since the search
    MoveCountingRecorder recorder(fs);
    FileOperationEngine engine(fs, ui);
    engine.SetRecorder(&recorder);
    engine.Run(FileOperationKind::Trash, items, "");
    std::vector<int> expected;
    for (int moves = 1; moves <= 299; ++moves)
        expected.push_back(moves);
    EXPECT_EQ(recorder.movesAtRecord, expected);
}

// Settling marks only what was written, counts what it marked, and a failed write ends the marks too.
TEST_F(RunJournalWriterEngineTest, SettleMarksWrittenEntriesOnly) {
    auto writer = RunJournalWriter::Create(fs, "/runs/", RunJournalHeader{1, 3, false});
    ASSERT_TRUE(writer) << writer.status().ToString();
    RunJournalWriter& w = *writer.value();
    RunJournalEntry entry;
    entry.originalPath = "/d/a";
    entry.kind = JournalPlaceKind::Archive;
    entry.place = "/lzh/2026.01.01_00.00.00.lzh";
    EXPECT_EQ(w.Record(entry), 0u);
    EXPECT_EQ(w.Record(entry), 1u);
    w.Settle(1);
    w.Settle(7);  // never written
    EXPECT_EQ(w.Count(), 2u);
    EXPECT_EQ(w.Settled(), 1u);
    EXPECT_EQ(Journal(w.Name()).restored, std::set<std::uint64_t>{1});
    fs.FailNthCall(FsOperation::Write, 1, ENOSPC);
    w.Settle(0);
    w.Settle(0);
    EXPECT_EQ(w.Settled(), 1u);
    EXPECT_EQ(w.Error().code(), ENOSPC);
}

// Two runs in the same second get journals of their own.
TEST_F(RunJournalWriterEngineTest, RunsInOneSecondDoNotShare) {
    auto first = RunJournalWriter::Create(fs, "/state/runs/", RunJournalHeader{7, 0, false});
    auto second = RunJournalWriter::Create(fs, "/state/runs/", RunJournalHeader{7, 0, false});
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.value()->Name(), second.value()->Name());
    EXPECT_TRUE(IsRunJournalName(second.value()->Name()));
}

}  // namespace
}  // namespace vask
