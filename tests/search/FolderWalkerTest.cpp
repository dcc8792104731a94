#include "search/FolderWalker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "platform/fakes/FakeClock.h"
#include "platform/fakes/MemoryFileSystem.h"

namespace vask {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RecordingHost : public WalkerHost {
  public:
    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump();
    }
    void ShowStatusText(const std::string& text) override { statuses.push_back(text); }

    int pumps = 0;
    std::function<void()> onPump;
    std::vector<std::string> statuses;
};

class FolderWalkerTest : public ::testing::Test {
  protected:
    FolderWalkerTest() { settings.strOutFolderEdit[0] = "/usr/"; }

    FolderWalker& Walker() {
        walker = std::make_unique<FolderWalker>(fs, clock, host, state, settings);
        return *walker;
    }
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < state.results.Size(); ++i)
            paths.emplace_back(state.results[i].Path());
        return paths;
    }

    MemoryFileSystem fs;
    FakeClock clock;
    RecordingHost host;
    SearchState state;
    WalkerSettings settings;
    std::unique_ptr<FolderWalker> walker;
};

TEST_F(FolderWalkerTest, OwnHitsPatternByPatternThenSubfoldersDepthFirstInByteOrder) {
    fs.AddFile("/v/b.tmp", 1);
    fs.AddFile("/v/a.bak", 2);
    fs.AddFile("/v/z/old.bak", 3);
    fs.AddFile("/v/Z/up.bak", 4);  // "Z" sorts before "a" and "z" in byte order
    fs.AddFile("/v/a/deep/x.bak", 5);
    fs.AddFile("/v/a/y.tmp", 6);
    fs.AddFile("/v/keep.txt", 7);
    state.listPattern = {"*.bak", "*.tmp"};
    Walker().WalkFolder("/v");
    EXPECT_THAT(Paths(), ElementsAre("/v/a.bak", "/v/b.tmp", "/v/Z/up.bak", "/v/a/y.tmp", "/v/a/deep/x.bak",
                                     "/v/z/old.bak"));
    EXPECT_EQ(state.sizeFoundTotal, 2u + 1 + 4 + 6 + 5 + 3);
    for (std::size_t i = 0; i < state.results.Size(); ++i)
        EXPECT_EQ(state.results[i].checkState, 1);
    EXPECT_EQ(fs.OpenDirectoryCount(), 0);
}

TEST_F(FolderWalkerTest, AFileFoundTwiceIsOneResultCountedOnce) {
    // Two patterns over one folder, and a drive walk reaching the temporary and recent-files folders again.
    fs.AddFile("/v/old.bak", 3000000000ULL);
    fs.AddFile("/v/w/new.bak", 3000000000ULL);
    fs.AddFile("/v/w/other.b", 1);
    fs.AddFile("/v/tmp/t.bak", 10);
    fs.AddFile("/v/recent/r.bak", 20);
    state.listPattern = {"*.bak", "*.b*"};
    FolderWalker& w = Walker();
    w.CollectAllFiles("/v/recent/");
    w.WalkTempFolder("/v/tmp/");
    w.WalkFolder("/v/");
    EXPECT_THAT(Paths(),
                ElementsAre("/v/recent/r.bak", "/v/tmp/t.bak", "/v/old.bak", "/v/w/new.bak", "/v/w/other.b"));
    EXPECT_EQ(state.sizeFoundTotal, 6000000031ULL);
    ASSERT_FALSE(host.statuses.empty());
    EXPECT_EQ(host.statuses.back(), "検索中... 5個のﾌｧｲﾙが見つかりました。削除対象容量=5.6GBytes");
}

TEST_F(FolderWalkerTest, SkipsHiddenReadOnlyAvoidedOtherVolumeFoldersLinksAndSpecialFiles) {
    fs.AddFile("/v/.cache/a.bak");
    fs.AddFolder("/v/ro", 0555);
    fs.AddFile("/v/ro/a.bak");      // entered with the option, but a file cannot be removed from it
    fs.AddFile("/v/ro/w/b.bak");    // its writable subfolder is searched with the option
    fs.AddFile("/v/usr/kept.bak");  // not the avoid folder: that is /usr/
    fs.AddFile("/usr/lib/a.bak");
    fs.AddFile("/v/mnt/a.bak");
    fs.SetDevice("/v/mnt", 7);
    fs.AddSymlink("/v/link.bak");
    fs.AddSymlink("/v/linkdir");
    fs.AddOther("/v/fifo.bak");
    fs.AddFile("/v/.hidden.bak");  // hidden files in a walked folder are results
    state.listPattern = {"*.bak"};
    Walker().WalkFolder("/v/");
    Walker().WalkFolder("/");
    EXPECT_THAT(Paths(),
                ElementsAre("/v/.hidden.bak", "/v/usr/kept.bak", "/v/.hidden.bak", "/v/usr/kept.bak"));

    state.results.Clear();
    settings.bReadOnlyFolder = true;
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/.hidden.bak", "/v/ro/w/b.bak", "/v/usr/kept.bak"));
}

TEST_F(FolderWalkerTest, TemporaryFilesOfACopyOrArchiveAreNeverResults) {
    fs.AddFile("/v/.a.bak.vask-Ab3dE9z0");  // ours: "." name ".vask-" and eight letters or digits
    fs.AddFile("/v/.a.bak.vask-Ab3dE9z");   // one character short: somebody else's file
    fs.AddFile("/v/.a.bak.vask-Ab3dE9z_");
    fs.AddFile("/v/a.bak");
    state.listPattern = {"*"};
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/.a.bak.vask-Ab3dE9z", "/v/.a.bak.vask-Ab3dE9z_", "/v/a.bak"));
    state.results.Clear();
    Walker().WalkTempFolder("/v/");
    EXPECT_EQ(state.results.Size(), 3u);
}

TEST_F(FolderWalkerTest, MoveDestinationIsAvoidedOnlyForTheMoveMethod) {
    fs.AddFile("/v/Backup/a.bak");
    settings.strFolderEdit = "/v/Backup";  // hand-edited without its slash still counts
    state.listPattern = {"*.bak"};
    settings.nTrush = 0;
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/Backup/a.bak"));
    state.results.Clear();
    settings.nTrush = 1;
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), IsEmpty());
}

TEST_F(FolderWalkerTest, AllFilesFolderTakesEveryFileButOnlyItsOwn) {
    fs.AddFile("/v/all/a.txt");
    fs.AddFile("/v/all/b.bak");
    fs.AddFile("/v/all/sub/c.txt");
    fs.AddFile("/v/all/sub/d.bak");
    fs.AddFile("/v/both/e.txt");
    settings.strAllFolderEdit[3] = "/v/all/";
    settings.strAllFolderEdit[4] = "/v/both/";
    settings.strOutFolderEdit[2] = "/v/both/";  // avoiding wins
    state.listPattern = {"*.bak"};
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/all/a.txt", "/v/all/b.bak", "/v/all/sub/d.bak"));
}

TEST_F(FolderWalkerTest, TempFolderListsEverythingBelowItAndRecentOnlyItsOwnFiles) {
    fs.AddFile("/tmp/x.dat", 1, /*mtime*/ clock.nowSeconds);
    fs.AddFile("/tmp/s/y.log");
    fs.AddFile("/tmp/.h/z");
    fs.AddFolder("/tmp/ro", 0555);
    fs.AddFile("/tmp/ro/q");
    fs.AddFile("/r/doc.txt");
    fs.AddFile("/r/sub/inner.txt");
    settings.strOutFolderEdit[1] = "/r/";  // an avoid folder does not stop the recent-files source
    state.listPattern = {"*.bak"};
    state.ageCheck = true;
    state.ageDays = 30;
    state.timeSearch = clock.nowSeconds;
    FolderWalker& w = Walker();
    w.CollectAllFiles("/r/");
    w.WalkTempFolder("/tmp/");
    EXPECT_THAT(Paths(), ElementsAre("/r/doc.txt", "/tmp/x.dat", "/tmp/s/y.log"));
}

TEST_F(FolderWalkerTest, AgeCondition) {
    const std::int64_t now = 1700000000;
    fs.AddFile("/v/new.bak", 0, now - 30 * 86400 + 1);
    fs.AddFile("/v/old.bak", 0, now - 30 * 86400);
    fs.AddFile("/v/unknown.bak", 0, 0);
    fs.AddFile("/v/future.bak", 0, now + 1);
    state.listPattern = {"*.bak"};
    state.timeSearch = now;
    state.ageCheck = true;
    state.ageDays = 30;
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/old.bak", "/v/unknown.bak"));

    state.results.Clear();
    state.ageDays = 0;
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/new.bak", "/v/old.bak", "/v/unknown.bak"));

    state.results.Clear();
    state.ageCheck = false;
    state.ageDays = 99999;
    Walker().WalkFolder("/v/");
    EXPECT_EQ(state.results.Size(), 4u);
}

TEST_F(FolderWalkerTest, OnlyFilesThisUserCanOpenForWritingAndRemove) {
    fs.SetEffectiveUserId(1000);
    fs.AddFile("/v/ro.bak", 0, 1000000000, 0444);
    fs.AddFile("/v/ok.bak");
    fs.AddFile("/v/busy.bak")->busy = true;
    fs.AddFolder("/v/locked", 0755)->ownerId = 0;  // cannot remove entries here
    fs.AddFile("/v/locked/mine.bak", 0, 1000000000, 0666);
    auto sticky = fs.AddFolder("/v/sticky", 01777);
    sticky->ownerId = 0;
    fs.AddFile("/v/sticky/mine.bak");
    fs.AddFile("/v/sticky/theirs.bak", 0, 1000000000, 0666)->ownerId = 1001;
    settings.bReadOnlyFolder = true;  // enter the locked folder so its files are judged
    state.listPattern = {"*.bak"};
    FolderWalker& w = Walker();
    w.WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/ok.bak", "/v/sticky/mine.bak"));
    EXPECT_TRUE(w.IsFileWritable("/v/ok.bak"));
    EXPECT_FALSE(w.IsFileWritable("/v/sticky/theirs.bak"));
    EXPECT_FALSE(w.IsFileWritable("/v/"));
    EXPECT_FALSE(w.IsFileWritable("/v/missing.bak"));
}

TEST_F(FolderWalkerTest, FailuresAnywhereLeaveTheRestOfTheWalkIntact) {
    fs.AddFile("/v/a/1.bak");
    fs.AddFile("/v/b/2.bak");
    fs.AddFile("/v/c/3.bak");
    fs.AddFile("/v/c/4.bak");
    fs.AddFile("/v/d/5.bak");
    fs.AddFile("/v/e/6.bak");
    fs.FailOnPath(FsOperation::ReadEntries, "/v/a/", EIO);
    fs.FailOnPath(FsOperation::OpenSubfolder, "/v/b/", EACCES);
    fs.FailOnPath(FsOperation::ProbeWritable, "/v/c/3.bak", ENOENT);
    fs.FailOnPath(FsOperation::ProbeWritable, "/v/d/5.bak", ETXTBSY);
    // A folder vanishes between the listing and the walk into it.
    fs.SetHook([&](FsOperation op, const std::string& path) {
        if (op == FsOperation::OpenSubfolder && path == "/v/e/") fs.Remove("/v/e");
    });
    state.listPattern = {"*.bak"};
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/c/4.bak"));
    EXPECT_EQ(fs.OpenDirectoryCount(), 0);

    state.results.Clear();
    fs.FailOnPath(FsOperation::OpenFolder, "/v/", ENOENT);
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), IsEmpty());
}

TEST_F(FolderWalkerTest, AFolderSwappedForALinkDuringTheWalkIsNotFollowed) {
    fs.AddFile("/v/a/1.bak");
    fs.AddFile("/v/b/2.bak");
    fs.AddFile("/outside/secret.bak");
    fs.SetHook([&](FsOperation op, const std::string& path) {
        if (op == FsOperation::ReadEntries && path == "/v/a/") {
            fs.Remove("/v/b");
            fs.AddSymlink("/v/b");
        }
    });
    state.listPattern = {"*.bak"};
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/a/1.bak"));
}

TEST_F(FolderWalkerTest, AbortStopsAtTheNextEntryAndClosesEverything) {
    for (int i = 0; i < 50; ++i)
        fs.AddFile("/v/d" + std::to_string(i) + "/f.bak");
    clock.stepMs = 5;  // every fourth clock reading passes the pump interval
    std::size_t countAtAbort = 0;
    host.onPump = [&] {
        if (state.results.Size() >= 10 && !state.bAbort) {
            state.bAbort = true;
            countAtAbort = state.results.Size();
        }
    };
    state.listPattern = {"*.bak"};
    FolderWalker& w = Walker();
    w.WalkFolder("/v/");
    EXPECT_GT(countAtAbort, 0u);
    EXPECT_EQ(state.results.Size(), countAtAbort);
    EXPECT_EQ(fs.OpenDirectoryCount(), 0);
    // The remaining sources return at their first entry.
    const int opensBefore = fs.CallCount(FsOperation::OpenFolder);
    w.WalkTempFolder("/v/");
    w.CollectAllFiles("/v/d1/");
    EXPECT_EQ(fs.CallCount(FsOperation::OpenFolder), opensBefore);
    EXPECT_EQ(state.results.Size(), countAtAbort);
}

TEST_F(FolderWalkerTest, StatusLineIsThrottledButAlwaysEndsExact) {
    for (int i = 0; i < 100; ++i)
        fs.AddFile("/v/f" + std::to_string(i) + ".bak", 10);
    clock.stepMs = 0;  // no time passes: only the first update and the final one are shown
    state.listPattern = {"*.bak"};
    Walker().WalkFolder("/v/");
    ASSERT_EQ(host.statuses.size(), 2u);
    EXPECT_EQ(host.statuses.front(), "検索中... 1個のﾌｧｲﾙが見つかりました。削除対象容量=10Bytes");
    EXPECT_EQ(host.statuses.back(), "検索中... 100個のﾌｧｲﾙが見つかりました。削除対象容量=1000Bytes");
    EXPECT_EQ(host.pumps, 0);
}

TEST_F(FolderWalkerTest, DeepTreeWithinTheOpenFolderBudgetAndInOrder) {
    std::string path = "/v";
    for (int depth = 0; depth < 20000; ++depth) {
        path += "/d";
        if (depth % 5000 == 0) fs.AddFile(path + "/x.bak");
    }
    fs.AddFile(path + "/bottom.bak");
    fs.AddFile("/v/z.bak");
    state.listPattern = {"*.bak"};
    FolderWalker& w = Walker();
    w.SetOpenFolderBudget(16);
    w.WalkFolder("/v/");
    ASSERT_EQ(state.results.Size(), 6u);
    EXPECT_EQ(state.results[0].Path(), "/v/z.bak");
    EXPECT_EQ(state.results[5].Path().substr(state.results[5].Path().size() - 10), "bottom.bak");
    EXPECT_LE(fs.MaxOpenDirectoryCount(), 18);
    EXPECT_EQ(fs.OpenDirectoryCount(), 0);
}

TEST_F(FolderWalkerTest, AReopenedParentMustStillBeTheSameFolder) {
    fs.AddFile("/v/a/b/c/d/1.bak");
    fs.AddFile("/v/a/later/2.bak");
    fs.AddFile("/v/z/3.bak");
    // While deep inside, /v/a is replaced by another folder of the same name.
    fs.SetHook([&](FsOperation op, const std::string& path) {
        if (op == FsOperation::ReadEntries && path == "/v/a/b/c/d/") {
            auto old = fs.Find("/v/a");
            fs.Remove("/v/a");
            fs.AddFile("/v/a/later/intruder.bak");
            old->children["b"]->parent = fs.Find("/v/a");  // ".." of the old b now leads to the new a
        }
    });
    state.listPattern = {"*.bak"};
    FolderWalker& w = Walker();
    w.SetOpenFolderBudget(2);
    w.WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/a/b/c/d/1.bak", "/v/z/3.bak"));
}

TEST_F(FolderWalkerTest, AFolderThatContainsItselfIsWalkedOnce) {
    fs.AddFile("/v/loop/a.bak");
    auto loop = fs.Find("/v/loop");
    loop->children["again"] = loop;  // a bind mount of the folder inside itself: same device, same inode
    state.listPattern = {"*.bak"};
    Walker().WalkFolder("/v/");
    EXPECT_THAT(Paths(), ElementsAre("/v/loop/a.bak"));
}

TEST_F(FolderWalkerTest, UnusablePatternsFindNothingOutsideTheFolder) {
    fs.AddFile("/v/sub/a.bak");
    fs.AddFile("/etc/passwd");
    state.listPattern = {"../*.bak", "/etc/passwd", "..", "."};
    FolderWalker& w = Walker();
    w.WalkFolder("/v/");
    w.CollectMatches("/v/sub/", "../../etc/passwd");
    EXPECT_THAT(Paths(), IsEmpty());
}

TEST(ParseLeadingDecimal, DigitsUpToTheFirstOtherCharacterSaturating) {
    EXPECT_EQ(ParseLeadingDecimal(""), 0);
    EXPECT_EQ(ParseLeadingDecimal("x1"), 0);
    EXPECT_EQ(ParseLeadingDecimal("30abc"), 30);
    EXPECT_EQ(ParseLeadingDecimal("014000"), 14000);
    EXPECT_EQ(ParseLeadingDecimal("99999999999999999999999"), std::numeric_limits<std::int64_t>::max());
}

}  // namespace
}  // namespace vask
