#include "platform/linux/TemporaryJournal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "platform/fakes/MemoryEnvironment.h"
#include "tests/platform/FileHelpers.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using testing::TempTree;

using vask::testing::Exists;

std::set<std::string> Journals(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.insert(entry.path().filename());
    return names;
}

// The record of a file as it is now on disk; folderPath ends in "/".
TemporaryJournal::Record RecordOf(TemporaryJournal::Kind kind, const std::string& folderPath,
                                  const std::string& name, const std::string& filePath) {
    TemporaryJournal::Record record;
    record.kind = kind;
    record.folderPath = folderPath;
    record.name = name;
    struct stat st {};
    ::stat(folderPath.c_str(), &st);
    record.folderDevice = st.st_dev;
    record.folderInode = st.st_ino;
    if (!filePath.empty() && ::lstat(filePath.c_str(), &st) == 0) {
        record.fileDevice = st.st_dev;
        record.fileInode = st.st_ino;
    }
    return record;
}

TEST(TemporaryJournal, FolderFromTheEnvironment) {
    struct Case {
        std::map<std::string, std::string> variables;
        std::string folder;
    };
    for (const Case& c : std::vector<Case>{
             {{{"XDG_STATE_HOME", "/s/"}, {"HOME", "/h"}}, "/s/Velumark/"},
             {{{"XDG_STATE_HOME", "relative"}, {"HOME", "/h/"}}, "/h/.local/state/Velumark/"},
             {{{"HOME", "/h"}}, "/h/.local/state/Velumark/"},
             {{{"HOME", ""}}, ""},
         }) {
        MemoryEnvironment environment;
        environment.variables = c.variables;
        EXPECT_EQ(TemporaryJournalFolder(environment), c.folder);
    }
}

TEST(TemporaryJournal, RecordLinesCarryAnyBytesAndRefuseDamage) {
    TemporaryJournal::Record record;
    record.kind = TemporaryJournal::Kind::TrashInfo;
    record.folderPath = "/a b/%25/\n\xE6\x97\xA5/";
    record.name = ".x y.vask-Ab3dE9z0\t\xFF";
    record.folderDevice = 18446744073709551615ULL;
    record.folderInode = 2;
    record.fileDevice = 3;
    record.fileInode = 4;
    const std::string line = FormatJournalRecord('+', record);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    char sign = 0;
    TemporaryJournal::Record parsed;
    ASSERT_TRUE(ParseJournalRecord(line.substr(0, line.size() - 1), sign, parsed));
    EXPECT_EQ(sign, '+');
    EXPECT_EQ(parsed.kind, record.kind);
    EXPECT_EQ(parsed.folderPath, record.folderPath);
    EXPECT_EQ(parsed.name, record.name);
    EXPECT_EQ(parsed.folderDevice, record.folderDevice);
    EXPECT_EQ(parsed.fileInode, record.fileInode);

    const std::string whole = line.substr(0, line.size() - 1);
    for (const std::string& damaged :
         {whole.substr(0, whole.size() - 2), "*" + whole.substr(1), std::string("+ c 1 2 3 4 relative/ x"),
          std::string("+ c 1 2 3 4 /f/ a/b"), std::string("+ c 1 2 3 4 /f/ .."),
          std::string("+ c 1 2 3 /f/ x"), std::string("+ c 1 2 3 4x /f/ x"),
          std::string("+ c 1 2 3 4 /f/ %4")}) {
        EXPECT_FALSE(ParseJournalRecord(damaged, sign, parsed)) << damaged;
    }
}

// A run that ended with records open left its journal; a later run removes exactly the files that are
// still the ones recorded, and leaves everything else, whatever its name.
TEST(TemporaryJournal, RemovesOnlyWhatAnEndedRunProvablyMade) {
    TempTree tree;
    const std::string state = tree.Path("state/Velumark/");
    const std::string move = tree.Path("move/");
    const std::string info = tree.Path("Trash/info/");
    using Kind = TemporaryJournal::Kind;
    for (const char* file : {"move/.a.vask-AAAAAAAA", "move/.b.vask-BBBBBBBB", "move/.c.vask-CCCCCCCC",
                             "move/.d.vask-DDDDDDDD", "move/.budget.vask-2024Q1v2", "Trash/info/x.trashinfo",
                             "Trash/info/y.trashinfo", "Trash/files/y", "elsewhere/.e.vask-EEEEEEEE"}) {
        ASSERT_TRUE(tree.File(file, "bytes"));
    }
    {
        TemporaryJournal ended(state);
        // Still the recorded file: removed.
        ASSERT_TRUE(
            ended.Note(RecordOf(Kind::Copy, move, ".a.vask-AAAAAAAA", move + ".a.vask-AAAAAAAA"), true));
        // Replaced by another file of the same name since: stays.
        ASSERT_TRUE(
            ended.Note(RecordOf(Kind::Copy, move, ".b.vask-BBBBBBBB", move + ".b.vask-BBBBBBBB"), false));
        // (The recorded file is kept alive elsewhere, or the new one might get its inode number again.)
        ASSERT_EQ(::rename((move + ".b.vask-BBBBBBBB").c_str(), tree.Path("b-recorded").c_str()), 0);
        ASSERT_TRUE(tree.File("move/.b.vask-BBBBBBBB", "someone else's"));
        // Recorded before it existed, identity never known: stays.
        ASSERT_TRUE(ended.Note(RecordOf(Kind::Copy, move, ".c.vask-CCCCCCCC", ""), false));
        // Settled (published or removed by the run itself): stays.
        const auto settled = RecordOf(Kind::Copy, move, ".d.vask-DDDDDDDD", move + ".d.vask-DDDDDDDD");
        ASSERT_TRUE(ended.Note(settled, false));
        ended.Settle(settled);
        // An info file without its entry: removed; one whose entry reached files/: a real one, stays.
        ASSERT_TRUE(ended.Note(RecordOf(Kind::TrashInfo, info, "x", info + "x.trashinfo"), false));
        ASSERT_TRUE(ended.Note(RecordOf(Kind::TrashInfo, info, "y", info + "y.trashinfo"), false));
        // The recorded folder was replaced by another holding the same name: stays.
        ASSERT_TRUE(ended.Note(RecordOf(Kind::Copy, tree.Path("elsewhere/"), ".e.vask-EEEEEEEE",
                                        tree.Path("elsewhere/.e.vask-EEEEEEEE")),
                               false));
        ASSERT_EQ(::rename(tree.Path("elsewhere").c_str(), tree.Path("elsewhere-old").c_str()), 0);
        ASSERT_TRUE(tree.File("elsewhere/.e.vask-EEEEEEEE", "new"));
    }  // ended without settling: its journal stays, unlocked
    ASSERT_EQ(Journals(state).size(), 1u);

    // A live run's journal is locked and left alone, with what it names.
    ASSERT_TRUE(tree.File("move/.l.vask-LLLLLLLL"));
    TemporaryJournal live(state);
    ASSERT_TRUE(live.Note(RecordOf(Kind::Copy, move, ".l.vask-LLLLLLLL", move + ".l.vask-LLLLLLLL"), false));

    TemporaryJournal next(state);
    EXPECT_EQ(next.RemoveLeftovers(), 2u);
    EXPECT_FALSE(Exists(move + ".a.vask-AAAAAAAA"));
    EXPECT_FALSE(Exists(info + "x.trashinfo"));
    for (const char* kept :
         {"move/.b.vask-BBBBBBBB", "move/.c.vask-CCCCCCCC", "move/.d.vask-DDDDDDDD",
          "move/.budget.vask-2024Q1v2", "move/.l.vask-LLLLLLLL", "Trash/info/y.trashinfo", "Trash/files/y",
          "elsewhere/.e.vask-EEEEEEEE", "elsewhere-old/.e.vask-EEEEEEEE"}) {
        EXPECT_TRUE(Exists(tree.Path(kept))) << kept;
    }
    EXPECT_EQ(Journals(state).size(), 1u);  // the ended run's journal went; the live one stays
    live.Settle(RecordOf(Kind::Copy, move, ".l.vask-LLLLLLLL", ""));
    EXPECT_TRUE(Journals(state).empty());  // nothing open: a settled copy closes its journal
}

}  // namespace
}  // namespace vask
