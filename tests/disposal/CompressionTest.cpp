#include "disposal/Compression.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "disposal/RunJournalWriter.h"
#include "platform/fakes/FakeArchiverLoader.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "tests/disposal/ScriptedFileOperationUi.h"

namespace vask {
namespace {

constexpr std::int64_t k20060301_102030 = 1141176030;  // 2006-03-01 10:20:30 at UTC+9
constexpr char kFolder[] = "/home/u/BackupLzh/";
constexpr char kListFile[] = "/cwd/__Vask__.---";

using Behaviour = FakeArchiverLoader::Behaviour;

class CompressionTest : public testing::Test {
  protected:
    void SetUp() override {
        state.timeSearch = k20060301_102030;
        fs.AddFolder(kFolder);
        fs.AddFolder("/cwd/");
    }

    // A found file, as the walker recorded it.
    void Add(const std::string& path, std::uint8_t checkState = 1) {
        auto node = fs.AddFile(path, 10);
        const std::size_t index = state.results.Append(
            path, 10, FileIdentity{node->device, node->inode, node->mtimeSeconds * 1000000000LL});
        state.results.SetCheckState(index, checkState);
    }

    int Compress(FakeArchiverLoader& loader, const std::string& folder = kFolder) {
        return CompressToArchive(fs, loader, prompter, ui, clock, state, folder);
    }

    bool AppendTo(const std::string& path, const std::string& text) {
        auto node = fs.Find(path);
        if (!node) return false;
        node->content += text;
        node->size = node->content.size();
        return true;
    }

    std::string Content(const std::string& path) const {
        auto node = fs.Find(path);
        return node ? MemoryFileSystem::ContentOf(*node) : "<missing>";
    }

    // The one message shown, or "" when none (or more than one) was.
    std::string OnlyMessage() const {
        if (prompter.Prompts().size() != 1) return "";
        const Prompt& p = prompter.Prompts()[0];
        EXPECT_EQ(p.buttons, PromptButtons::Ok);
        EXPECT_EQ(EffectivePromptIcon(p), PromptIcon::Exclamation);
        return p.text;
    }

    MemoryFileSystem fs;
    FakeClock clock;  // UTC+9
    ScriptedPrompter prompter;
    ScriptedFileOperationUi ui;
    SearchState state;
};

TEST_F(CompressionTest, TickedFilesAreMovedIntoAnArchiveNamedAndStampedAfterTheSearch) {
    Add("/d/a b.bak");
    Add("/d/kept.tmp", 0);
    Add("/d/c.tmp");
    Add("/d/state-two.tmp", 2);
    fs.AddFile(kListFile, 500);  // left by a run that was killed; emptied, not appended to
    FakeArchiverLoader loader(Behaviour::Move, &fs);

    EXPECT_EQ(Compress(loader), 0);

    ASSERT_EQ(loader.commandLines, std::vector<std::string>{"@__Vask__.---"});
    EXPECT_EQ(loader.listFileTexts[0], "m -rxa /home/u/BackupLzh/__Vask__.lzh \"/d/a b.bak\" \"/d/c.tmp\" ");
    auto archive = fs.Find("/home/u/BackupLzh/2006.03.01_10.20.30.lzh");
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(MemoryFileSystem::ContentOf(*archive), "/d/a b.bak\n/d/c.tmp\n");
    EXPECT_EQ(archive->mtimeSeconds, k20060301_102030);
    EXPECT_EQ(fs.Find("/home/u/BackupLzh/__Vask__.lzh"), nullptr);
    EXPECT_EQ(fs.Find("/d/a b.bak"), nullptr);
    EXPECT_NE(fs.Find("/d/kept.tmp"), nullptr);
    EXPECT_NE(fs.Find("/d/state-two.tmp"), nullptr);
    EXPECT_EQ(fs.Find(kListFile), nullptr);
    EXPECT_EQ(loader.liveLibraries, 0);
    EXPECT_TRUE(prompter.Prompts().empty());
}

TEST_F(CompressionTest, ATakenFinalNameIsNeitherReplacedNorStampedTheNewArchiveTakesTheNextFreeOne) {
    // A second and a third compression within the same two seconds.
    auto earlier = fs.AddFile("/home/u/BackupLzh/2006.03.01_10.20.30.lzh", 3, 5, 0640);
    earlier->content = "old";
    Add("/d/a");
    FakeArchiverLoader loader(Behaviour::Move, &fs);
    EXPECT_EQ(Compress(loader), 0);
    Add("/d/b");
    state.results.SetCheckState(0, 0);
    EXPECT_EQ(Compress(loader), 0);

    EXPECT_EQ(fs.Find("/home/u/BackupLzh/__Vask__.lzh"), nullptr);
    EXPECT_EQ(fs.Find("/home/u/BackupLzh/2006.03.01_10.20.30.lzh"), earlier);
    EXPECT_EQ(Content("/home/u/BackupLzh/2006.03.01_10.20.30.lzh"), "old");
    EXPECT_EQ(earlier->mtimeSeconds, 5);
    EXPECT_EQ(Content("/home/u/BackupLzh/2006.03.01_10.20.30_2.lzh"), "/d/a\n");
    EXPECT_EQ(Content("/home/u/BackupLzh/2006.03.01_10.20.30_3.lzh"), "/d/b\n");
    EXPECT_EQ(fs.Find("/home/u/BackupLzh/2006.03.01_10.20.30_3.lzh")->mtimeSeconds, k20060301_102030);
    EXPECT_EQ(fs.Find(kListFile), nullptr);
}

TEST_F(CompressionTest, ALeftoverWorkingArchiveGoesAsideAfterItsOwnTimeAndIsNeverAddedTo) {
    // Left by a run killed before its rename; its member exists nowhere else. Its own time names it; that
    // name and the next are taken already.
    auto leftover = fs.AddFile("/home/u/BackupLzh/__Vask__.lzh", 0, k20060301_102030 - 3600);
    leftover->content = "/d/only-copy\n";
    leftover->size = leftover->content.size();
    fs.AddFile("/home/u/BackupLzh/2006.03.01_09.20.30.lzh")->content = "";
    fs.AddFile("/home/u/BackupLzh/2006.03.01_09.20.30_2.lzh")->content = "";
    Add("/d/only-copy");  // a new file of the same name as the leftover's member
    FakeArchiverLoader loader(Behaviour::Move, &fs);

    EXPECT_EQ(Compress(loader), 0);

    EXPECT_EQ(fs.Find("/home/u/BackupLzh/2006.03.01_09.20.30_3.lzh"), leftover);
    EXPECT_EQ(Content("/home/u/BackupLzh/2006.03.01_09.20.30_3.lzh"), "/d/only-copy\n");
    EXPECT_EQ(Content("/home/u/BackupLzh/2006.03.01_10.20.30.lzh"), "/d/only-copy\n");
    EXPECT_NE(fs.Find("/home/u/BackupLzh/2006.03.01_10.20.30.lzh"), leftover);
    EXPECT_EQ(fs.Find("/home/u/BackupLzh/__Vask__.lzh"), nullptr);

    // A working name that is not a regular file cannot go aside: nothing is packed.
    for (bool folder : {true, false}) {
        prompter = ScriptedPrompter();
        if (folder) {
            fs.AddFolder("/home/u/BackupLzh/__Vask__.lzh/");
        } else {
            fs.Remove("/home/u/BackupLzh/__Vask__.lzh");
            fs.AddSymlink("/home/u/BackupLzh/__Vask__.lzh");
        }
        Add("/d/next");
        const int loads = loader.loads;
        EXPECT_EQ(Compress(loader), 1);
        EXPECT_EQ(OnlyMessage(),
                  "ﾌｧｲﾙ /home/u/BackupLzh/__Vask__.lzh の名前を変更できません。\n圧縮を中止します。");
        EXPECT_EQ(loader.loads, loads);
        EXPECT_NE(fs.Find("/d/next"), nullptr);
    }
}

TEST_F(CompressionTest, FilesThatAreNoLongerWhatTheSearchSawAreReportedAndKept) {
    struct Case {
        const char* name;
        std::function<void(MemoryFileSystem&)> change;  // applied to /d/x/f after the search
    };
    const Case cases[] = {
        {"folder swapped for a link",
         [](MemoryFileSystem& fs) {
             fs.Remove("/d/x");
             fs.AddSymlink("/d/x");
         }},
        {"replaced by another file",
         [](MemoryFileSystem& fs) {
             fs.Remove("/d/x/f");
             fs.AddFile("/d/x/f", 10);
         }},
        {"rewritten in place, longer", [](MemoryFileSystem& fs) { fs.Find("/d/x/f")->size = 11; }},
        {"rewritten in place, newer", [](MemoryFileSystem& fs) { ++fs.Find("/d/x/f")->mtimeSeconds; }},
        {"moved to another volume", [](MemoryFileSystem& fs) { fs.SetDevice("/d/x/", 9); }},
        {"replaced by a folder",
         [](MemoryFileSystem& fs) {
             fs.Remove("/d/x/f");
             fs.AddFolder("/d/x/f/");
         }},
        {"gone", [](MemoryFileSystem& fs) { fs.Remove("/d/x/f"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.results.Clear();
        ui = ScriptedFileOperationUi();
        prompter = ScriptedPrompter();
        fs.Remove("/d/x");
        Add("/d/x/f");
        Add("/d/kept-going");
        c.change(fs);
        FakeArchiverLoader loader(Behaviour::Move, &fs);

        EXPECT_EQ(Compress(loader), 1);

        ASSERT_EQ(loader.listFileTexts.size(), 1u);
        EXPECT_EQ(loader.listFileTexts[0], "m -rxa /home/u/BackupLzh/__Vask__.lzh \"/d/kept-going\" ");
        ASSERT_EQ(ui.failures.size(), 1u);
        EXPECT_EQ(ui.failures[0].path, "/d/x/f");
        EXPECT_TRUE(ui.failures[0].changedSinceSearch);
        EXPECT_TRUE(prompter.Prompts().empty());
        fs.Remove("/home/u/BackupLzh/2006.03.01_10.20.30.lzh");
    }

    // Nothing left to pack: the library is not even loaded.
    state.results.Clear();
    fs.Remove("/d/x");
    Add("/d/x/f");
    fs.Find("/d/x/f")->size = 3;
    FakeArchiverLoader loader(Behaviour::Move, &fs);
    EXPECT_EQ(Compress(loader), 1);
    EXPECT_EQ(loader.loads, 0);
    EXPECT_EQ(fs.Find(kListFile), nullptr);
    EXPECT_NE(fs.Find("/d/x/f"), nullptr);
}

TEST_F(CompressionTest, AFileListedTwiceIsPackedOnce) {
    Add("/d/n1.vbak");
    Add("/d/n2.vbak");
    state.results.Append("/d/n1.vbak", 10, state.results[0].identity);
    FakeArchiverLoader loader(Behaviour::Move, &fs);
    EXPECT_EQ(Compress(loader), 0);
    EXPECT_EQ(loader.listFileTexts[0],
              "m -rxa /home/u/BackupLzh/__Vask__.lzh \"/d/n1.vbak\" \"/d/n2.vbak\" ");
    EXPECT_TRUE(ui.failures.empty());
}

TEST_F(CompressionTest, AListFileNameTakenByAnythingButARegularFileOfOursIsRefused) {
    struct Case {
        const char* name;
        std::function<void(MemoryFileSystem&)> plant;
        const char* reason;
    };
    const Case cases[] = {
        {"FIFO", [](MemoryFileSystem& fs) { fs.AddOther(kListFile); },
         "同じ名前の特殊ﾌｧｲﾙ(FIFOなど)があります。"},
        {"link", [](MemoryFileSystem& fs) { fs.AddSymlink(kListFile); }, "同じ名前のｼﾝﾎﾞﾘｯｸﾘﾝｸがあります。"},
        {"folder", [](MemoryFileSystem& fs) { fs.AddFolder(kListFile); }, "同じ名前のﾌｫﾙﾀﾞがあります。"},
        {"another user's file", [](MemoryFileSystem& fs) { fs.AddFile(kListFile, 3)->ownerId = 1001; },
         "同じ名前の他のﾕｰｻﾞｰのﾌｧｲﾙがあります。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompter = ScriptedPrompter();
        fs.Remove(kListFile);
        c.plant(fs);
        auto planted = fs.Find(kListFile);
        Add("/d/a");
        FakeArchiverLoader loader(Behaviour::Move, &fs);
        EXPECT_EQ(Compress(loader), 1);
        EXPECT_EQ(OnlyMessage(), std::string("ﾌｧｲﾙ __Vask__.--- が作成できません。\n") + c.reason);
        EXPECT_EQ(loader.loads, 0);
        EXPECT_EQ(fs.Find(kListFile), planted);  // left as it was
        EXPECT_NE(fs.Find("/d/a"), nullptr);
    }
}

TEST_F(CompressionTest, MissingBusyAndFailingLibrariesEndWithOneAndNoListFile) {
    Add("/d/a");
    {
        FakeArchiverLoader missing(Behaviour::Missing);
        EXPECT_EQ(Compress(missing), 1);
        EXPECT_EQ(OnlyMessage(), "Unlha32.Dllが見つかりません。");
        EXPECT_EQ(fs.Find(kListFile), nullptr);
    }
    {
        prompter = ScriptedPrompter();
        FakeArchiverLoader busy(Behaviour::Busy, &fs);
        EXPECT_EQ(Compress(busy), 1);
        EXPECT_EQ(OnlyMessage(), "Unlha32.Dllが使用中です。");
        EXPECT_TRUE(busy.commandLines.empty());  // asked, not run
        EXPECT_EQ(busy.liveLibraries, 0);
        EXPECT_EQ(fs.Find(kListFile), nullptr);
    }
    {
        prompter = ScriptedPrompter();
        FakeArchiverLoader failing(Behaviour::Fail, &fs);
        EXPECT_EQ(Compress(failing), 1);
        EXPECT_TRUE(prompter.Prompts().empty());
        ASSERT_EQ(failing.listFileTexts.size(), 1u);
        EXPECT_EQ(failing.listFileTexts[0], "m -rxa /home/u/BackupLzh/__Vask__.lzh \"/d/a\" ");
        EXPECT_EQ(failing.liveLibraries, 0);
        EXPECT_EQ(fs.Find(kListFile), nullptr);
    }
    EXPECT_NE(fs.Find("/d/a"), nullptr);
    EXPECT_EQ(fs.Find("/home/u/BackupLzh/2006.03.01_10.20.30.lzh"), nullptr);
}

TEST_F(CompressionTest, AListFileThatCannotBeWrittenWholeNeverReachesTheArchiver) {
    Add("/d/a");
    FakeArchiverLoader loader(Behaviour::Move, &fs);
    fs.FailNthCall(FsOperation::Write, 1, ENOSPC);
    EXPECT_EQ(Compress(loader), 1);
    EXPECT_EQ(OnlyMessage(), "ﾌｧｲﾙ __Vask__.--- が作成できません。");
    EXPECT_EQ(loader.loads, 0);
    EXPECT_EQ(fs.Find(kListFile), nullptr);

    prompter = ScriptedPrompter();
    fs.FailNthCall(FsOperation::CloseFile, 1, EDQUOT);  // a quota error reported only at close
    EXPECT_EQ(Compress(loader), 1);
    EXPECT_EQ(loader.loads, 0);
    EXPECT_EQ(fs.Find(kListFile), nullptr);

    prompter = ScriptedPrompter();
    fs.Find("/cwd/")->mode = 0555;  // a read-only current folder
    EXPECT_EQ(Compress(loader), 1);
    EXPECT_EQ(OnlyMessage(), "ﾌｧｲﾙ __Vask__.--- が作成できません。");
    EXPECT_EQ(loader.loads, 0);
    EXPECT_NE(fs.Find("/d/a"), nullptr);
}

TEST_F(CompressionTest, APathWithADoubleQuoteIsRefusedBeforeAnythingIsWritten) {
    Add("/d/ok");
    Add("/d/say \"hi\".txt");
    Add("/d/\"unticked\"", 0);
    FakeArchiverLoader loader(Behaviour::Move, &fs);
    EXPECT_EQ(Compress(loader), 1);
    EXPECT_EQ(OnlyMessage(), "ﾌｧｲﾙ名に \" を含む /d/say \"hi\".txt は圧縮できません。");
    EXPECT_EQ(fs.CallCount(FsOperation::CreateFile), 0);
    EXPECT_EQ(loader.loads, 0);
    EXPECT_NE(fs.Find("/d/ok"), nullptr);

    // An unticked one does not stop the run.
    state.results.SetCheckState(1, 0);
    prompter = ScriptedPrompter();
    EXPECT_EQ(Compress(loader), 0);
    EXPECT_TRUE(prompter.Prompts().empty());
}

TEST_F(CompressionTest, AnArchiveFolderWithBlanksWorksUnlessTheArchiverWouldMisreadIt) {
    fs.AddFolder("/home/u/My Backup/");
    Add("/d/a");
    FakeArchiverLoader loader(Behaviour::Move, &fs);
    EXPECT_EQ(Compress(loader, "/home/u/My Backup/"), 0);
    EXPECT_EQ(loader.listFileTexts[0], "m -rxa /home/u/My Backup/__Vask__.lzh \"/d/a\" ");
    EXPECT_NE(fs.Find("/home/u/My Backup/2006.03.01_10.20.30.lzh"), nullptr);

    // Each of these would be read back as another archive, a switch, or with a different blank.
    for (const char* folder : {"/home/u/old -x/", "/home/u/a.LZH b/", "/home/u/two  blanks/",
                               "/home/u/tab\there/", "/home/u/\"q\"/", "relative/", ""}) {
        prompter = ScriptedPrompter();
        Add("/d/b");
        FakeArchiverLoader refused(Behaviour::Move, &fs);
        EXPECT_EQ(Compress(refused, folder), 1) << folder;
        EXPECT_EQ(OnlyMessage(), std::string("ﾌｫﾙﾀﾞ ") + folder + " は圧縮先に使えません。");
        EXPECT_EQ(refused.loads, 0) << folder;
        EXPECT_EQ(fs.Find(kListFile), nullptr);
    }
}

TEST(FinalArchiveName, TwoDigitFieldsAcrossDayAndYearBoundaries) {
    FakeClock clock;  // UTC+9
    EXPECT_EQ(FinalArchiveName(clock.ToLocalTime(1141176030)), "2006.03.01_10.20.30.lzh");
    // The search time of a search started at 23:59:59 is already the next day's 00:00:00.
    EXPECT_EQ(FinalArchiveName(clock.ToLocalTime(1141225200)), "2006.03.02_00.00.00.lzh");
    EXPECT_EQ(FinalArchiveName(clock.ToLocalTime(1709218798)), "2024.02.29_23.59.58.lzh");
    EXPECT_EQ(FinalArchiveName(LocalTime{2006, 1, 2, 3, 4, 6}), "2006.01.02_03.04.06.lzh");
    clock.utcOffsetSeconds = 0;
    EXPECT_EQ(FinalArchiveName(clock.ToLocalTime(-1)), "1969.12.31_23.59.59.lzh");
}

TEST(StampFileTimes, StampsOnlyAnExistingRegularFileAndKeepsItsMode) {
    MemoryFileSystem fs;
    auto file = fs.AddFile("/f/a.lzh", 4, 100, 0604);
    fs.AddFolder("/f/sub/");
    EXPECT_EQ(StampFileTimes(fs, "/f/", "a.lzh", 1141176030), 0);
    EXPECT_EQ(file->mtimeSeconds, 1141176030);
    EXPECT_EQ(file->mode, 0604u);
    EXPECT_EQ(file->size, 4u);

    EXPECT_EQ(StampFileTimes(fs, "/f/", "missing.lzh", 1), 1);
    EXPECT_EQ(fs.Find("/f/missing.lzh"), nullptr);
    EXPECT_EQ(StampFileTimes(fs, "/f/", "sub", 1), 1);
    EXPECT_EQ(StampFileTimes(fs, "/nowhere/", "a.lzh", 1), 1);
    fs.FailNthCall(FsOperation::SetTimesAndMode, 1, EPERM);
    EXPECT_EQ(StampFileTimes(fs, "/f/", "a.lzh", 7), 1);
}

}  // namespace
}  // namespace vask

namespace vask {
namespace {

// Keeps what the compression records, and counts the flushes.
class CollectingRecorder : public DisposalRecorder {
  public:
    std::uint64_t Record(RunJournalEntry entry) override {
        entry.seq = entries.size();
        text += FormatJournalEntry(entry);
        entries.push_back(std::move(entry));
        return entries.back().seq;
    }
    void Settle(std::uint64_t seq) override {
        settled.push_back(seq);
        text += FormatJournalRestored(seq);
    }
    void Flush() override { ++flushes; }
    // The entries a journal of what was recorded so far reads back as.
    std::vector<RunJournalEntry> Journaled() const {
        auto journal = ParseRunJournal(text);
        return journal ? journal->entries : std::vector<RunJournalEntry>{};
    }
    std::vector<RunJournalEntry> entries;
    std::vector<std::uint64_t> settled;
    std::string text = FormatJournalHeader({0, 3, false});
    int flushes = 0;
};

// A library that moves as the fake does, then puts a file back in place and reports it kept (the real
// library's result 6: the archive is written, a source could not be removed).
class KeepingLoader : public ArchiverLoader {
  public:
    KeepingLoader(MemoryFileSystem& fs, std::string kept)
        : inner_(Behaviour::Move, &fs), fs_(fs), kept_(kept) {}
    std::unique_ptr<ArchiverLibrary> Load() override {
        struct Library : ArchiverLibrary {
            std::unique_ptr<ArchiverLibrary> inner;
            KeepingLoader* owner = nullptr;
            int GetRunning() override { return 0; }
            int Run(const std::string& line, std::string& output) override {
                if (inner->Run(line, output) != 0) return 4;
                owner->fs_.AddFile(owner->kept_, 10);
                return 6;
            }
        };
        auto library = std::make_unique<Library>();
        library->inner = inner_.Load();
        library->owner = this;
        return library;
    }

  private:
    FakeArchiverLoader inner_;
    MemoryFileSystem& fs_;
    std::string kept_;
};

// Only files gone from their place once the archive has its name are recorded, under that name.
TEST_F(CompressionTest, RecordsTheFilesGoneIntoTheNamedArchive) {
    struct Case {
        const char* name;
        Behaviour behaviour;
        bool keepB;           // the library keeps /d/b and fails
        bool firstNameTaken;  // an archive of the run's first name exists
        int result;
        std::vector<std::string> recorded;
        std::string archiveName;
    };
    const Case cases[] = {
        {"all moved", Behaviour::Move, false, false, 0, {"/d/a", "/d/b"}, "2006.03.01_10.20.30.lzh"},
        {"first name taken", Behaviour::Move, false, true, 0, {"/d/a", "/d/b"}, "2006.03.01_10.20.30_2.lzh"},
        {"one kept", Behaviour::Move, true, false, 1, {"/d/a"}, "2006.03.01_10.20.30.lzh"},
        {"library failed", Behaviour::Fail, false, false, 1, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs.Remove("/home/u/BackupLzh");
        fs.AddFolder(kFolder);
        state.results.Clear();
        Add("/d/a");
        Add("/d/b");
        if (c.firstNameTaken) fs.AddFile(std::string(kFolder) + "2006.03.01_10.20.30.lzh", 3);
        FakeArchiverLoader plain(c.behaviour, &fs);
        KeepingLoader keeping(fs, "/d/b");
        ArchiverLoader& loader = c.keepB ? static_cast<ArchiverLoader&>(keeping) : plain;
        CollectingRecorder recorder;

        EXPECT_EQ(CompressToArchive(fs, loader, prompter, ui, clock, state, kFolder, &recorder), c.result);

        std::vector<std::string> recorded;
        for (const RunJournalEntry& entry : recorder.Journaled()) {
            recorded.push_back(entry.originalPath);
            EXPECT_EQ(entry.kind, JournalPlaceKind::Archive);
            EXPECT_EQ(entry.place, kFolder + c.archiveName);
            EXPECT_EQ(entry.member, entry.originalPath.substr(1));
            EXPECT_EQ(entry.size, 10u);
            EXPECT_NE(fs.Find(entry.place), nullptr);
        }
        EXPECT_EQ(recorded, c.recorded);
        EXPECT_EQ(recorder.flushes, 2);  // the provisional entries before the run, the outcome after it
        fs.Remove("/d/a");
        fs.Remove("/d/b");
    }
}

// The library removes the sources only after the archive is complete, one by one; a kill at any point of
// that leaves a journal that names every file handed to it, with the archive they are in.
TEST_F(CompressionTest, AKillWhileTheLibraryRemovesLeavesEveryFileJournaled) {
    Add("/d/a");
    Add("/d/b");
    CollectingRecorder recorder;
    std::vector<RunJournalEntry> atKill;
    // Moves as the real library does, and notes what a kill right after its removals would leave.
    struct SnapshotLoader : ArchiverLoader {
        FakeArchiverLoader inner;
        CollectingRecorder& recorder;
        std::vector<RunJournalEntry>& atKill;
        SnapshotLoader(MemoryFileSystem& fs, CollectingRecorder& r, std::vector<RunJournalEntry>& k)
            : inner(Behaviour::Move, &fs), recorder(r), atKill(k) {}
        std::unique_ptr<ArchiverLibrary> Load() override {
            struct Library : ArchiverLibrary {
                std::unique_ptr<ArchiverLibrary> inner;
                SnapshotLoader* owner = nullptr;
                int GetRunning() override { return 0; }
                int Run(const std::string& line, std::string& output) override {
                    const int result = inner->Run(line, output);
                    owner->atKill = owner->recorder.Journaled();
                    return result;
                }
            };
            auto library = std::make_unique<Library>();
            library->inner = inner.Load();
            library->owner = this;
            return library;
        }
    } loader(fs, recorder, atKill);

    EXPECT_EQ(CompressToArchive(fs, loader, prompter, ui, clock, state, kFolder, &recorder), 0);

    ASSERT_EQ(atKill.size(), 2u);
    EXPECT_EQ(atKill[0].originalPath, "/d/a");
    EXPECT_EQ(atKill[1].originalPath, "/d/b");
    for (const RunJournalEntry& entry : atKill) {
        EXPECT_EQ(entry.place, std::string(kFolder) + "__Vask__.lzh");
        EXPECT_EQ(entry.member, entry.originalPath.substr(1));
    }
    const std::vector<RunJournalEntry> after = recorder.Journaled();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].place, std::string(kFolder) + "2006.03.01_10.20.30.lzh");
}

// The working archive a killed run left goes aside under a new name before the next run packs; the killed
// run's journal follows it, so its files can still be undone. Other journals, entries of other folders and
// entries already restored are left as they are.
TEST_F(CompressionTest, AKilledRunsJournalFollowsItsArchiveAside) {
    const std::string working = std::string(kFolder) + "__Vask__.lzh";
    auto leftover = fs.AddFile(working, 0, k20060301_102030 - 3600);
    leftover->content = "/d/x\n/d/y\n";
    leftover->size = leftover->content.size();
    fs.AddFolder("/runs/");
    auto killed = RunJournalWriter::Create(fs, "/runs/", RunJournalHeader{1, 3, false});
    auto other = RunJournalWriter::Create(fs, "/runs/", RunJournalHeader{1, 0, false});
    ASSERT_TRUE(killed) << killed.status().ToString();
    ASSERT_TRUE(other) << other.status().ToString();
    RunJournalEntry entry;
    entry.kind = JournalPlaceKind::Archive;
    entry.place = working;
    for (const char* path : {"/d/x", "/d/y", "/d/z"}) {
        entry.originalPath = path;
        entry.member = path + 1;
        killed.value()->Record(entry);
    }
    entry.originalPath = "/e/w";
    entry.place = "/elsewhere/__Vask__.lzh";
    killed.value()->Record(entry);
    const std::string killedName = killed.value()->Name();
    killed.value().reset();
    // /d/z came back by an earlier undo (from the archive while it still had its working name).
    ASSERT_TRUE(AppendTo("/runs/" + killedName, FormatJournalRestored(2)));
    entry.kind = JournalPlaceKind::Trash;
    entry.place = "/home/u/.local/share/Trash/";
    other.value()->Record(entry);
    const std::string otherText = Content("/runs/" + other.value()->Name());

    Add("/d/a");
    FakeArchiverLoader loader(Behaviour::Move, &fs);
    auto writer = RunJournalWriter::Create(fs, "/runs/", RunJournalHeader{2, 3, false});
    ASSERT_TRUE(writer);
    EXPECT_EQ(CompressToArchive(fs, loader, prompter, ui, clock, state, kFolder, writer.value().get()), 0);

    const std::string aside = std::string(kFolder) + "2006.03.01_09.20.30.lzh";
    EXPECT_EQ(fs.Find(aside), leftover);
    const auto journal = ParseRunJournal(Content("/runs/" + killedName));
    ASSERT_TRUE(journal);
    std::vector<std::string> places;
    for (const RunJournalEntry& e : journal->entries)
        places.push_back(e.originalPath + " " + e.place);
    // /d/z is settled and no longer listed; it gets no entry naming the renamed archive.
    EXPECT_EQ(places,
              (std::vector<std::string>{"/e/w /elsewhere/__Vask__.lzh", "/d/x " + aside, "/d/y " + aside}));
    EXPECT_EQ(journal->nextSeq, 6u);
    EXPECT_EQ(Content("/runs/" + other.value()->Name()), otherText);
    const auto own = ParseRunJournal(Content("/runs/" + writer.value()->Name()));
    ASSERT_TRUE(own);
    ASSERT_EQ(own->entries.size(), 1u);
    EXPECT_EQ(own->entries[0].place, std::string(kFolder) + "2006.03.01_10.20.30.lzh");
}

// The files went into the archive but it could not take its final name: the run stands, the journal
// names the archive where it is, and the user is told where to look.
TEST_F(CompressionTest, AnArchiveThatKeepsItsWorkingNameIsJournaledThereAndSaidSo) {
    Add("/d/a");
    fs.FailOnPath(FsOperation::Rename, std::string(kFolder) + "__Vask__.lzh", EACCES);
    FakeArchiverLoader loader(Behaviour::Move, &fs);
    CollectingRecorder recorder;

    EXPECT_EQ(CompressToArchive(fs, loader, prompter, ui, clock, state, kFolder, &recorder), 0);

    EXPECT_EQ(Content(std::string(kFolder) + "__Vask__.lzh"), "/d/a\n");
    const std::vector<RunJournalEntry> journaled = recorder.Journaled();
    ASSERT_EQ(journaled.size(), 1u);
    EXPECT_EQ(journaled[0].place, std::string(kFolder) + "__Vask__.lzh");
    EXPECT_EQ(OnlyMessage(),
              "ﾌｧｲﾙ /home/u/BackupLzh/__Vask__.lzh の名前を変更できません。\nｱｸｾｽが拒否されました。\n"
              "圧縮したﾌｧｲﾙはこの書庫に入っています。");
}

}  // namespace
}  // namespace vask
