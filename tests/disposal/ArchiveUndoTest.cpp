#include "disposal/ArchiveUndo.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/fakes/FakeArchiverLoader.h"
#include "platform/fakes/MemoryFileSystem.h"

namespace vask {
namespace {

using Behaviour = FakeArchiverLoader::Behaviour;

RunJournalEntry ArchiveEntry(const std::string& path) {
    RunJournalEntry entry;
    entry.originalPath = path;
    entry.size = 3;
    entry.mtimeNanoseconds = 1000000000LL * 1000000000LL;
    entry.kind = JournalPlaceKind::Archive;
    entry.place = "/lzh/run.lzh";
    entry.member = path.substr(1);
    return entry;
}

// When the archiver cannot extract, every file stays with the reason, nothing is left in the folders, and
// files that need nothing never reach the archiver.
TEST(ArchiveRestorerTest, AnArchiverThatCannotExtractLeavesEveryFileWithItsReason) {
    struct Case {
        const char* name;
        Behaviour behaviour;
        bool archivePresent;
        UndoReason reason;
        std::size_t runs;  // calls of the library's Run
    };
    const Case cases[] = {
        {"library missing", Behaviour::Missing, true, UndoReason::ArchiverMissing, 0},
        {"library busy", Behaviour::Busy, true, UndoReason::ArchiverBusy, 1},
        // The failed extraction is tried once more per file, to tell a damaged member from a lost one.
        {"extraction fails", Behaviour::Fail, true, UndoReason::ExtractFailed, 3},
        {"archive gone", Behaviour::Fail, false, UndoReason::ArchiveMissing, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem fs;
        fs.AddFolder("/d");
        fs.AddFolder("/lzh");
        if (c.archivePresent) fs.AddFile("/lzh/run.lzh", 100);
        fs.AddFile("/d/taken", 9);
        fs.AddFile("/d/back", 3, 1000000000);
        fs.AddFolder("/d/.vask-undo-0");  // a leftover of a killed undo: another name is taken
        FakeArchiverLoader loader(c.behaviour, &fs);
        ArchiveRestorer restorer(fs, &loader);
        for (const char* path : {"/d/x", "/d/taken", "/d/back", "/d/y"})
            restorer.Add(ArchiveEntry(path));

        std::map<std::string, UndoReason> reasons;
        std::size_t settled = 0;
        EXPECT_FALSE(restorer.Restore(nullptr, [&](const RunJournalEntry&, std::optional<UndoProblem> p) {
            ++settled;
            if (p) reasons[p->path] = p->reason;
        }));

        EXPECT_EQ(settled, 4u);
        EXPECT_EQ(reasons, (std::map<std::string, UndoReason>{{"/d/x", c.reason},
                                                              {"/d/taken", UndoReason::Taken},
                                                              {"/d/back", UndoReason::AlreadyBack},
                                                              {"/d/y", c.reason}}));
        EXPECT_EQ(loader.commandLines.size(), c.runs);
        if (c.runs > 0) {
            EXPECT_EQ(loader.commandLines[0], "x -a -w=/d/.vask-undo-1/ \"/lzh/run.lzh\" \"d/x\" \"d/y\"");
        }
        EXPECT_EQ(fs.Find("/d/x"), nullptr);
        EXPECT_EQ(fs.Find("/d/.vask-undo-1"), nullptr);
        EXPECT_NE(fs.Find("/d/.vask-undo-0"), nullptr);
        EXPECT_TRUE(restorer.CleanupError().ok()) << restorer.CleanupError().ToString();
        EXPECT_EQ(loader.liveLibraries, c.runs > 0 ? 1 : 0);  // loaded only when something is extracted
    }
}

// A stop asked for before a file leaves that file and the rest unsettled.
TEST(ArchiveRestorerTest, AStopLeavesTheRestUnsettled) {
    MemoryFileSystem fs;
    fs.AddFolder("/d");
    FakeArchiverLoader loader(Behaviour::Missing);
    ArchiveRestorer restorer(fs, &loader);
    for (const char* path : {"/d/a", "/d/b", "/d/c"})
        restorer.Add(ArchiveEntry(path));
    int asked = 0;
    std::size_t settled = 0;
    EXPECT_TRUE(restorer.Restore([&](const std::string&) { return ++asked < 2; },
                                 [&](const RunJournalEntry&, std::optional<UndoProblem>) { ++settled; }));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(settled, 1u);
    EXPECT_EQ(restorer.Queued(), 0u);
}

}  // namespace
}  // namespace vask
