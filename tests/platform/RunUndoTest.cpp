// Runs disposed of by the engine on real files, with their journal, and undone.
#include "disposal/RunUndo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "disposal/FileOperation.h"
#include "disposal/RunJournalWriter.h"
#include "platform/linux/FreedesktopTrash.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/disposal/AgreeingFileOperationUi.h"
#include "tests/platform/FileHelpers.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using testing::TempTree;

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

using vask::testing::Exists;
using vask::testing::ItemOf;
using vask::testing::Output;
using vask::testing::ReadOrMissing;

class CreatingUi : public AgreeingFileOperationUi {
  public:
    bool OfferCreateFolder(const std::string&) override { return true; }
};

// A home with its trash, a runs folder, and a file system that trashes there.
struct Bench {
    TempTree tree;
    std::string runs = tree.Path("state/runs/");
    PosixFileSystem fs{
        TrashContext{tree.Path("home/Trash"), ::geteuid(), [] { return std::string("2026-12-07T08:30:00"); }},
        tree.Path("state/tmp/"), true};
    CreatingUi ui;

    // Disposes of the paths by kind (into target for a move) with a journal; the journal's name.
    std::string Dispose(FileOperationKind kind, const std::vector<std::string>& paths,
                        const std::string& target = "") {
        auto writer =
            RunJournalWriter::Create(fs, runs, RunJournalHeader{1765000000, static_cast<int>(kind), false});
        EXPECT_TRUE(writer) << writer.status().ToString();
        if (!writer) return "";
        std::vector<FileOperationItem> items;
        for (const std::string& path : paths)
            items.push_back(ItemOf(path));
        FileOperationEngine engine(fs, ui);
        engine.SetRecorder(writer.value().get());
        const FileOperationOutcome outcome = engine.Run(kind, items, target);
        EXPECT_EQ(outcome.done, paths.size());
        EXPECT_TRUE(writer.value()->Error().ok());
        return writer.value()->Name();
    }
    UndoOutcome Undo(const std::string& name) { return UndoRun(fs, runs, name, nullptr); }
};

struct Stamp {
    std::string bytes;
    mode_t mode;
    std::int64_t mtime;
};

Stamp StampOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return Stamp{ReadOrMissing(path), st.st_mode & 07777,
                 st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

// Each method's run comes back byte for byte, with its mode and time, into a folder removed meanwhile too;
// the trash keeps no info file; a second undo restores nothing.
TEST(RunUndoTest, EachMethodComesBackWhole) {
    struct Case {
        const char* name;
        FileOperationKind kind;
        bool otherVolume;  // the files (trash) or the move folder (move) on a tmpfs of their own
    };
    const Case cases[] = {
        {"home trash", FileOperationKind::Trash, false},
        {"topdir trash", FileOperationKind::Trash, true},
        {"move", FileOperationKind::Move, false},
        {"move across volumes", FileOperationKind::Move, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        std::string data = bench.tree.Path("data/");
        std::string target = bench.tree.Path("moved/");
        const bool mountData = c.otherVolume && c.kind == FileOperationKind::Trash;
        if (c.otherVolume) {
            if (::geteuid() != 0) GTEST_SKIP() << "needs root for a tmpfs";
            const std::string where = mountData ? data : target;
            ::mkdir(where.c_str(), 0755);
            ASSERT_TRUE(Shell("mount -t tmpfs -o size=8m tmpfs '" + where + "'"));
        }
        ASSERT_TRUE(bench.tree.File("data/a b.txt", "first file\n", 0640));
        ASSERT_TRUE(bench.tree.File("data/sub/deep/c.bin", std::string(300000, '\x7f'), 0600));
        ASSERT_TRUE(Shell("touch -d '2020-02-03 04:05:06.789' '" + data + "a b.txt'"));
        const std::vector<std::string> paths = {data + "a b.txt", data + "sub/deep/c.bin"};
        const Stamp before[] = {StampOf(paths[0]), StampOf(paths[1])};

        const std::string name = bench.Dispose(c.kind, paths, target);
        ASSERT_FALSE(Exists(paths[0]));
        ASSERT_TRUE(Shell("rm -r '" + data + "sub'"));  // the folder goes with it: recreated by the undo

        UndoOutcome undone = bench.Undo(name);
        EXPECT_TRUE(undone.usable);
        EXPECT_EQ(undone.restored, 2u);
        EXPECT_TRUE(undone.stayed.empty());
        EXPECT_TRUE(undone.journalError.ok()) << undone.journalError.ToString();
        for (int i = 0; i < 2; ++i) {
            const Stamp after = StampOf(paths[i]);
            EXPECT_EQ(after.bytes, before[i].bytes);
            EXPECT_EQ(after.mode, before[i].mode);
            EXPECT_EQ(after.mtime, before[i].mtime);
        }
        if (c.kind == FileOperationKind::Trash) {
            const std::string trash = mountData ? data + ".Trash-" + std::to_string(::geteuid()) + "/"
                                                : bench.tree.Path("home/Trash/");
            EXPECT_TRUE(Shell("test -z \"$(find '" + trash + "files' '" + trash + "info' -mindepth 1)\""))
                << Output("ls -lAR '" + trash + "'");
        } else {
            EXPECT_TRUE(Shell("test -z \"$(ls -A '" + target + "')\""));
        }
        undone = bench.Undo(name);
        EXPECT_EQ(undone.restored, 0u);
        EXPECT_TRUE(undone.stayed.empty());
        // Fully restored: removed at the next start-up.
        EXPECT_EQ(RemoveSettledRuns(bench.fs, bench.runs, 1765000000), 1u);
        if (c.otherVolume) Shell("umount -l '" + (mountData ? data : target) + "'");
    }
}

// What stands in the way is reported and left alone; the rest still comes back.
TEST(RunUndoTest, ConflictsAreReportedAndTouchNothing) {
    Bench bench;
    const std::string data = bench.tree.Path("data/");
    for (const char* name : {"back", "taken", "gone", "changed", "fine"})
        ASSERT_TRUE(bench.tree.File(std::string("data/") + name, name));
    std::vector<std::string> paths;
    for (const char* name : {"back", "taken", "gone", "changed", "fine"})
        paths.push_back(data + name);
    const std::string run = bench.Dispose(FileOperationKind::Move, paths, bench.tree.Path("moved/"));
    const std::string moved = bench.tree.Path("moved/");
    ASSERT_TRUE(Shell("mv '" + moved + "back' '" + data + "back'"));  // put back by hand
    ASSERT_TRUE(bench.tree.File("data/taken", "someone else's"));
    ASSERT_TRUE(Shell("rm '" + moved + "gone'"));
    ASSERT_TRUE(bench.tree.File("moved/changed", "edited since"));

    const UndoOutcome undone = bench.Undo(run);
    EXPECT_EQ(undone.restored, 1u);
    EXPECT_EQ(ReadOrMissing(data + "fine"), "fine");
    std::map<std::string, UndoReason> reasons;
    for (const UndoProblem& problem : undone.stayed)
        reasons[problem.path.substr(data.size())] = problem.reason;
    EXPECT_EQ(reasons, (std::map<std::string, UndoReason>{{"back", UndoReason::AlreadyBack},
                                                          {"taken", UndoReason::Taken},
                                                          {"gone", UndoReason::GoneFromFolder},
                                                          {"changed", UndoReason::Changed}}));
    EXPECT_EQ(ReadOrMissing(data + "taken"), "someone else's");
    EXPECT_EQ(ReadOrMissing(moved + "taken"), "taken");
    EXPECT_EQ(ReadOrMissing(moved + "changed"), "edited since");
    EXPECT_FALSE(Exists(data + "changed"));

    // Once the path is free again, a second undo brings back what stayed, and only that.
    ASSERT_TRUE(Shell("rm '" + data + "taken'"));
    const UndoOutcome again = bench.Undo(run);
    EXPECT_EQ(again.restored, 1u);
    EXPECT_EQ(ReadOrMissing(data + "taken"), "taken");
    EXPECT_EQ(again.stayed.size(), 2u);  // gone and changed; "back" was marked the first time
}

// A trash entry replaced by another file of the same name is not taken for ours, nor is its info file
// removed.
TEST(RunUndoTest, TrashEntryNoLongerOursStays) {
    Bench bench;
    ASSERT_TRUE(bench.tree.File("data/f", "mine"));
    const std::string run = bench.Dispose(FileOperationKind::Trash, {bench.tree.Path("data/f")});
    const std::string trash = bench.tree.Path("home/Trash/");
    ASSERT_TRUE(Shell("rm '" + trash + "files/f' && printf someone-else > '" + trash + "files/f'"));
    const UndoOutcome undone = bench.Undo(run);
    ASSERT_EQ(undone.stayed.size(), 1u);
    EXPECT_EQ(undone.stayed[0].reason, UndoReason::Changed);
    EXPECT_FALSE(Exists(bench.tree.Path("data/f")));
    EXPECT_TRUE(Exists(trash + "info/f.trashinfo"));
}

// A killed run's journal (last line cut) undoes what it holds; a damaged one touches nothing and is listed
// as not undoable; a deletion run lists its files as deleted.
TEST(RunUndoTest, KilledDamagedAndDeletedJournals) {
    Bench bench;
    for (const char* name : {"a", "b", "c"})
        ASSERT_TRUE(bench.tree.File(std::string("data/") + name, name));
    const std::string killed =
        bench.Dispose(FileOperationKind::Trash, {bench.tree.Path("data/a"), bench.tree.Path("data/b")});
    const std::string journal = bench.runs + killed;
    const std::string text = ReadOrMissing(journal);
    // As a kill in the middle of writing b's line leaves it.
    ASSERT_TRUE(Shell("truncate -s " + std::to_string(text.size() - 20) + " '" + journal + "'"));
    UndoOutcome undone = bench.Undo(killed);
    EXPECT_TRUE(undone.usable);
    EXPECT_EQ(undone.restored, 1u);
    EXPECT_EQ(ReadOrMissing(bench.tree.Path("data/a")), "a");
    EXPECT_FALSE(Exists(bench.tree.Path("data/b")));

    const std::string damagedRun = bench.Dispose(FileOperationKind::Trash, {bench.tree.Path("data/c")});
    std::string damaged = ReadOrMissing(bench.runs + damagedRun);
    damaged[damaged.find("/data/c") + 1] = 'D';
    std::ofstream(bench.runs + damagedRun, std::ios::binary | std::ios::trunc) << damaged;
    undone = bench.Undo(damagedRun);
    EXPECT_FALSE(undone.usable);
    EXPECT_FALSE(Exists(bench.tree.Path("data/c")));
    ASSERT_TRUE(bench.tree.File("data/d", "d"));
    ASSERT_TRUE(bench.tree.File("state/runs/run-00000000001765000000-99.journal", "not a journal"));
    const std::string deletedRun = bench.Dispose(FileOperationKind::Delete, {bench.tree.Path("data/d")});
    undone = bench.Undo(deletedRun);
    ASSERT_EQ(undone.stayed.size(), 1u);
    EXPECT_EQ(undone.stayed[0].reason, UndoReason::Deleted);

    const std::vector<RunSummary> runs = ListRuns(bench.fs, bench.runs);
    ASSERT_EQ(runs.size(), 4u);
    int usable = 0;
    for (const RunSummary& run : runs) {
        usable += run.usable;
        if (run.name == damagedRun) {
            EXPECT_FALSE(run.usable);
        }
        if (run.name == deletedRun) {
            EXPECT_EQ(run.deleted, 1u);
        }
    }
    EXPECT_EQ(usable, 2);
    // Start-up: the deletion run can give nothing back and the killed one gave back all it knows of; the
    // damaged and the foreign one are kept until they age out.
    EXPECT_EQ(RemoveSettledRuns(bench.fs, bench.runs, 1765000000), 2u);
    EXPECT_EQ(ListRuns(bench.fs, bench.runs).size(), 2u);
    EXPECT_EQ(RemoveSettledRuns(bench.fs, bench.runs, 1765000000 + 61LL * 86400), 2u);
}

}  // namespace
}  // namespace vask
