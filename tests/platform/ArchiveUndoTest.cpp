// Archive runs on real files with the real libunlha32.so of the build tree: their journal, and their undo.
// Skipped, saying why, when the library has not been built.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "disposal/ArchiveUndo.h"
#include "disposal/Compression.h"
#include "disposal/RunJournalWriter.h"
#include "disposal/RunUndo.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "platform/linux/DlopenArchiverLoader.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SystemClock.h"
#include "tests/disposal/ScriptedFileOperationUi.h"
#include "tests/platform/FileHelpers.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using testing::TempTree;

bool QuietShell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

using vask::testing::Exists;
using vask::testing::ReadOrMissing;

// Bytes that do not compress, so that a member's packed data is as long as the file.
std::string Noise(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return bytes;
}

// Journals a recorder is given, with a way to die after the nth entry (a kill in mid-run).
class DyingRecorder : public DisposalRecorder {
  public:
    DyingRecorder(DisposalRecorder& inner, int dieAfter) : inner_(inner), left_(dieAfter) {}
    std::uint64_t Record(RunJournalEntry entry) override {
        const std::uint64_t seq = inner_.Record(std::move(entry));
        if (--left_ == 0) ::raise(SIGKILL);
        return seq;
    }
    void Settle(std::uint64_t seq) override { inner_.Settle(seq); }
    void Flush() override { inner_.Flush(); }

  private:
    DisposalRecorder& inner_;
    int left_;
};

// Each test in a current folder of its own (the list file's place) and with its own archiver lock.
class ArchiveUndoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(tree.Root().empty());
        ASSERT_TRUE(tree.Folder("work") && tree.Folder("lzh") && tree.Folder("run", 0700));
        ASSERT_TRUE(workPlace.Enter(tree.Path("work"), tree.Path("run")));
        if (!loader.Load())
            GTEST_SKIP() << "libunlha32.so not built (ninja unlha32):\n" << loader.LastError();
    }

    // A found file, ticked, with the identity the walker records.
    std::string Add(const std::string& relative, const std::string& bytes, mode_t mode = 0644) {
        EXPECT_TRUE(tree.File(relative, bytes, mode));
        Tick(tree.Path(relative));
        return tree.Path(relative);
    }
    void Tick(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0);
        state.results.Append(
            path, static_cast<std::uint64_t>(st.st_size),
            FileIdentity{st.st_dev, st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec});
    }

    // Packs the ticked files with a journal (dying after dieAfter entries when given, in a child process
    // then); the journal's name.
    std::string Pack(int dieAfter = 0) {
        const auto pack = [&] {
            auto writer = RunJournalWriter::Create(fs, runs, RunJournalHeader{1765000000, 3, false});
            if (!writer) return std::string();
            DyingRecorder dying(*writer.value(), dieAfter);
            DisposalRecorder* recorder = dieAfter > 0 ? static_cast<DisposalRecorder*>(&dying)
                                                      : static_cast<DisposalRecorder*>(writer.value().get());
            const int result =
                CompressToArchive(fs, loader, prompter, ui, clock, state, tree.Path("lzh/"), recorder);
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(writer.value()->Error().ok());
            return writer.value()->Name();
        };
        if (dieAfter == 0) return pack();
        const pid_t child = ::fork();
        if (child == 0) {
            pack();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        const std::vector<RunSummary> listed = ListRuns(fs, runs);
        return listed.empty() ? std::string() : listed[0].name;
    }

    UndoOutcome Undo(const std::string& name) { return UndoRun(fs, runs, name, nullptr, &loader); }

    std::optional<RunJournal> Journal(const std::string& name) {
        return ParseRunJournal(ReadOrMissing(runs + name));
    }

    // Anything an undo left in the folder besides the listed names.
    std::string Leftovers(const std::string& folder) {
        std::string out;
        if (FILE* pipe = ::popen(("ls -A '" + folder + "' | grep '^\\.vask' ").c_str(), "r")) {
            for (int c; (c = std::fgetc(pipe)) != EOF;)
                out += static_cast<char>(c);
            ::pclose(pipe);
        }
        return out;
    }

    TempTree tree;
    std::string runs = tree.Path("state/runs/");
    vask::testing::ArchiverWorkPlace workPlace;
    DlopenArchiverLoader loader;
    PosixFileSystem fs;
    SystemClock clock;
    ScriptedPrompter prompter;
    ScriptedFileOperationUi ui;
    SearchState state;
};

// The journal names the archive under the name it got in the end (here "_2": the first is taken) and
// each member; the undo brings each file back byte for byte with its mode and its time,
// into a folder removed meanwhile too, leaves no hidden folder and the archive as it was; a second undo
// restores nothing, and the settled run is neither offered nor kept.
TEST_F(ArchiveUndoTest, ArchiveRunComesBackWhole) {
    ASSERT_TRUE(tree.File("data/a b.txt", "first file\n", 0640));
    const std::string first = tree.Path("data/a b.txt");
    ASSERT_TRUE(QuietShell("touch -d '2020-02-03 04:05:06.789' '" + first + "'"));
    Tick(first);
    const std::string second = Add("data/sub dir/deep/c.bin", Noise(300000, 7), 0600);
    struct stat st {};
    const std::string bytes[] = {ReadOrMissing(first), ReadOrMissing(second)};
    state.timeSearch = 1141176030;
    const std::string taken = tree.Path("lzh/") + FinalArchiveName(clock.ToLocalTime(state.timeSearch));
    ASSERT_TRUE(tree.File("lzh/" + FinalArchiveName(clock.ToLocalTime(state.timeSearch)), "older archive"));

    const std::string name = Pack();
    ASSERT_FALSE(Exists(first));
    const auto journal = Journal(name);
    ASSERT_TRUE(journal);
    EXPECT_EQ(journal->header.method, 3);
    ASSERT_EQ(journal->entries.size(), 2u);
    const std::string archive = tree.Path("lzh/") + FinalArchiveName(clock.ToLocalTime(state.timeSearch), 2);
    for (const RunJournalEntry& entry : journal->entries) {
        EXPECT_EQ(entry.kind, JournalPlaceKind::Archive);
        EXPECT_EQ(entry.place, archive);
        EXPECT_EQ(entry.member, entry.originalPath.substr(1));
    }
    EXPECT_EQ(journal->entries[0].mtimeNanoseconds % 1000000000, 789000000);
    EXPECT_EQ(journal->entries[1].mode, 0600u);
    const std::string archiveBytes = ReadOrMissing(archive);
    ASSERT_TRUE(QuietShell("rm -r '" + tree.Path("data/sub dir") + "'"));

    UndoOutcome undone = Undo(name);
    EXPECT_TRUE(undone.usable);
    EXPECT_EQ(undone.restored, 2u);
    EXPECT_TRUE(undone.stayed.empty()) << UndoResultText(undone);
    EXPECT_TRUE(undone.cleanupError.ok()) << undone.cleanupError.ToString();
    EXPECT_EQ(ReadOrMissing(first), bytes[0]);
    EXPECT_EQ(ReadOrMissing(second), bytes[1]);
    ASSERT_EQ(::lstat(first.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec, journal->entries[0].mtimeNanoseconds);
    ASSERT_EQ(::lstat(second.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(Leftovers(tree.Path("data/")), "");
    EXPECT_EQ(Leftovers(tree.Path("data/sub dir/deep/")), "");
    EXPECT_EQ(ReadOrMissing(archive), archiveBytes);
    EXPECT_EQ(ReadOrMissing(taken), "older archive");

    undone = Undo(name);
    EXPECT_EQ(undone.restored, 0u);
    EXPECT_TRUE(undone.stayed.empty());
    EXPECT_TRUE(ListOfferedRuns(fs, runs).empty());
    EXPECT_EQ(RemoveSettledRuns(fs, runs, 1765000000), 1u);
}

// An undo killed after extracting left its hidden folder with copies of the files. The next undo brings the
// files back, then removes those copies (they equal the files now back) and the folders they leave empty;
// anything else in the hidden folder stays, and the folder with it.
TEST_F(ArchiveUndoTest, TheNextUndoRemovesTheCopiesAKilledUndoLeft) {
    struct Case {
        const char* name;
        const char* folder;
        bool strangerFile;
    };
    const Case cases[] = {{"only copies", "one/", false},
                          {"a file of someone else's among them", "two/", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.results.Clear();
        const std::string folder = c.folder;
        const std::string a = Add(folder + "a.txt", "first\n");
        const std::string b = Add(folder + "b.bin", Noise(70000, 3));
        const std::string bytes[] = {ReadOrMissing(a), ReadOrMissing(b)};
        const std::string name = Pack();
        ASSERT_FALSE(Exists(a));
        // What the killed undo had extracted: each member under the hidden folder at its member path.
        const std::string hidden = folder + ".vask-undo-0/" + tree.Path(folder).substr(1);
        ASSERT_TRUE(tree.File(hidden + "a.txt", bytes[0]) && tree.File(hidden + "b.bin", bytes[1]));
        if (c.strangerFile) {
            ASSERT_TRUE(tree.File(hidden + "notes.txt", "not Vask's"));
        }

        const UndoOutcome undone = Undo(name);
        EXPECT_EQ(undone.restored, 2u) << UndoResultText(undone);
        EXPECT_EQ(ReadOrMissing(a), bytes[0]);
        EXPECT_EQ(ReadOrMissing(b), bytes[1]);
        EXPECT_FALSE(Exists(tree.Path(hidden + "a.txt")));
        EXPECT_FALSE(Exists(tree.Path(hidden + "b.bin")));
        EXPECT_EQ(Leftovers(tree.Path(folder)), c.strangerFile ? ".vask-undo-0\n" : "");
        if (c.strangerFile) {
            EXPECT_EQ(ReadOrMissing(tree.Path(hidden + "notes.txt")), "not Vask's");
        }
    }
}

// What stands in the way of an archive undo is reported per file and left alone; the rest comes back.
TEST_F(ArchiveUndoTest, ProblemsAreReportedPerFile) {
    struct Case {
        const char* name;
        // Run in the tree's root after the packing, before the undo; the archive's path is $A.
        std::string change;
        std::map<std::string, UndoReason> stayed;  // by file name
        std::size_t restored;
    };
    const Case cases[] = {
        {"a file took a path", "printf other > data/one", {{"one", UndoReason::Taken}}, 2},
        {"a file came back by hand", "cp -p keep/one data/one", {{"one", UndoReason::AlreadyBack}}, 2},
        // The last member's data ends just before the archive's end mark: a byte in it fails its CRC.
        {"a damaged member",
         "printf '\\377' | dd of=\"$A\" bs=1 seek=$(( $(stat -c %s \"$A\") - 100 )) conv=notrunc",
         {{"three", UndoReason::MemberDamaged}},
         2},
        {"the archive is gone",
         "rm \"$A\"",
         {{"one", UndoReason::ArchiveMissing},
          {"two", UndoReason::ArchiveMissing},
          {"three", UndoReason::ArchiveMissing}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(
            QuietShell("rm -rf '" + tree.Path("data") + "' '" + tree.Path("lzh") + "'/* '" + runs + "'"));
        state.results.Clear();
        const std::string one = Add("data/one", "one\n");
        Add("data/two", Noise(5000, 2));
        Add("data/three", Noise(50000, 3));
        ASSERT_TRUE(QuietShell("mkdir -p '" + tree.Path("keep") + "' && cp -p '" + one + "' '" +
                               tree.Path("keep/") + "'"));
        const std::string bytes = ReadOrMissing(tree.Path("data/three"));
        const std::string name = Pack();
        const auto journal = Journal(name);
        ASSERT_TRUE(journal && journal->entries.size() == 3);
        ASSERT_TRUE(
            QuietShell("cd '" + tree.Root() + "' && A='" + journal->entries[0].place + "' && " + c.change));
        const std::string before = ReadOrMissing(one);

        const UndoOutcome undone = Undo(name);
        EXPECT_EQ(undone.restored, c.restored);
        std::map<std::string, UndoReason> reasons;
        for (const UndoProblem& problem : undone.stayed)
            reasons[problem.path.substr(tree.Path("data/").size())] = problem.reason;
        EXPECT_EQ(reasons, c.stayed) << UndoResultText(undone);
        if (c.stayed.count("one") != 0) {
            EXPECT_EQ(ReadOrMissing(one), before);
        }
        if (c.stayed.count("three") == 0) {
            EXPECT_EQ(ReadOrMissing(tree.Path("data/three")), bytes);
        }
        EXPECT_EQ(Leftovers(tree.Path("data/")), "");
        EXPECT_TRUE(undone.cleanupError.ok()) << undone.cleanupError.ToString();
    }
}

// A member the archive does not hold (a journal of another archive) is reported as such.
TEST_F(ArchiveUndoTest, AMemberTheArchiveLacksIsReported) {
    const std::string path = Add("data/one", "one\n");
    const std::string name = Pack();
    auto journal = Journal(name);
    ASSERT_TRUE(journal && journal->entries.size() == 1);
    auto writer = RunJournalWriter::Create(fs, runs, RunJournalHeader{1765000001, 3, false});
    ASSERT_TRUE(writer);
    RunJournalEntry entry = journal->entries[0];
    entry.originalPath = tree.Path("data/other");
    entry.member = entry.originalPath.substr(1);
    writer.value()->Record(entry);
    writer.value()->Flush();
    const UndoOutcome undone = Undo(writer.value()->Name());
    ASSERT_EQ(undone.stayed.size(), 1u);
    EXPECT_EQ(undone.stayed[0].reason, UndoReason::MemberMissing);
    EXPECT_FALSE(Exists(tree.Path("data/other")));
    EXPECT_EQ(Leftovers(tree.Path("data/")), "");
}

// A run killed while it journals keeps every whole entry it wrote. Before the archiver runs every file is
// journaled provisionally with the working archive (all still in place then: an undo finds them back and
// touches nothing); a kill among the final entries leaves those files with the archive's final name and
// the rest with the working name, which the rename has taken away: reported, never guessed.
TEST_F(ArchiveUndoTest, AKilledRunsJournalHoldsWhatItRecorded) {
    struct Case {
        const char* name;
        int dieAfter;
        bool packed;
        std::size_t journaled;
        std::size_t restored;
        std::vector<UndoReason> stayed;  // for a, b, c in order, of those that did not come back
    };
    const Case cases[] = {
        {"among the provisional entries", 2, false, 2, 0, {UndoReason::AlreadyBack, UndoReason::AlreadyBack}},
        {"before the archiver",
         3,
         false,
         3,
         0,
         {UndoReason::AlreadyBack, UndoReason::AlreadyBack, UndoReason::AlreadyBack}},
        {"among the final entries", 5, true, 3, 2, {UndoReason::ArchiveMissing}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.results.Clear();
        for (const char* file : {"a", "b", "c"})
            Add(std::string("data/") + file, file);
        const std::string name = Pack(c.dieAfter);
        ASSERT_FALSE(name.empty());
        const auto journal = Journal(name);
        ASSERT_TRUE(journal);
        EXPECT_EQ(journal->entries.size(), c.journaled);
        for (const char* file : {"a", "b", "c"})
            EXPECT_EQ(Exists(tree.Path(std::string("data/") + file)), !c.packed);

        const UndoOutcome undone = Undo(name);
        EXPECT_EQ(undone.restored, c.restored);
        std::vector<UndoReason> stayed;
        for (const UndoProblem& problem : undone.stayed)
            stayed.push_back(problem.reason);
        EXPECT_EQ(stayed, c.stayed);
        for (const char* file : {"a", "b"})
            EXPECT_EQ(ReadOrMissing(tree.Path(std::string("data/") + file)), file);
        EXPECT_EQ(Exists(tree.Path("data/c")), !c.packed);  // packed: still in the archive
        ASSERT_EQ(::system(("rm -rf '" + tree.Path("data") + "' '" + runs + "'").c_str()), 0);
    }
}

// On a full disk the files that do not fit stay in the archive, nothing is left half-written, and they
// come back once there is room.
TEST_F(ArchiveUndoTest, AFullDiskKeepsWhatDoesNotFitInTheArchive) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a tmpfs";
    ASSERT_TRUE(tree.Folder("small"));
    ASSERT_TRUE(QuietShell("mount -t tmpfs -o size=512k tmpfs '" + tree.Path("small") + "'"));
    for (const char* file : {"one", "two", "three"})
        Add(std::string("small/") + file, Noise(100000, file[1]));
    const std::string name = Pack();
    ASSERT_TRUE(QuietShell("dd if=/dev/zero bs=1k count=400 of='" + tree.Path("small/filler") + "'"));

    UndoOutcome undone = Undo(name);
    EXPECT_EQ(undone.restored, 1u) << UndoResultText(undone);
    EXPECT_EQ(undone.stayed.size(), 2u);
    for (const UndoProblem& problem : undone.stayed) {
        EXPECT_EQ(problem.reason, UndoReason::ExtractFailed);
        EXPECT_FALSE(Exists(problem.path));
    }
    EXPECT_EQ(Leftovers(tree.Path("small/")), "");
    EXPECT_TRUE(undone.cleanupError.ok()) << undone.cleanupError.ToString();

    ASSERT_TRUE(QuietShell("rm '" + tree.Path("small/filler") + "'"));
    undone = Undo(name);
    EXPECT_EQ(undone.restored, 2u) << UndoResultText(undone);
    for (const char* file : {"one", "two", "three"})
        EXPECT_EQ(ReadOrMissing(tree.Path(std::string("small/") + file)), Noise(100000, file[1]));
    QuietShell("umount -l '" + tree.Path("small") + "'");
}

// The command line carries blanks inside quotes and refuses what it cannot quote.
TEST(ExtractCommandLineTest, QuotesWhatItCanAndRefusesTheRest) {
    EXPECT_EQ(ExtractCommandLine("/l/a.lzh", "/d/.vask-undo-0/", {"d/x", "d/y z"}),
              "x -a -w=/d/.vask-undo-0/ \"/l/a.lzh\" \"d/x\" \"d/y z\"");
    EXPECT_EQ(ExtractCommandLine("/my l/a.lzh", "/my d/.vask-undo-0/", {"my d/x"}),
              "x -a \"/my l/a.lzh\" \"/my d/.vask-undo-0/\" \"my d/x\"");
    EXPECT_FALSE(ExtractCommandLine("/l/a\".lzh", "/d/", {"d/x"}));
    EXPECT_FALSE(ExtractCommandLine("/l/a.lzh", "/d/", {"d/\"x"}));
}

}  // namespace
}  // namespace vask
