#include "disposal/FileOperation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "disposal/CreateFolderPath.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "tests/disposal/ScriptedFileOperationUi.h"

namespace vask {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FileOperationTest : public ::testing::Test {
  protected:
    FileOperationTest() : engine(fs, ui) {}

    // A file and the item the search would have made of it.
    FileOperationItem File(const std::string& path, const std::string& content = "data",
                           std::int64_t mtime = 1000000000) {
        auto node = fs.AddFile(path, content.size(), mtime, 0640);
        node->content = content;
        return FileOperationItem{path, node->size,
                                 FileIdentity{node->device, node->inode, mtime * 1000000000LL}};
    }
    bool Exists(const std::string& path) const { return fs.Find(path) != nullptr; }
    std::string Content(const std::string& path) const { return MemoryFileSystem::ContentOf(*fs.Find(path)); }
    std::vector<std::string> Names(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& [name, node] : fs.Find(folder)->children)
            names.push_back(name);
        return names;
    }

    MemoryFileSystem fs;
    ScriptedFileOperationUi ui;
    FileOperationEngine engine;
};

TEST_F(FileOperationTest, TrashAndDeleteActOnlyAfterTheConfirmation) {
    const std::vector<FileOperationItem> items = {File("/v/a.bak"), File("/v/b.bak")};
    ui.confirm = false;
    EXPECT_TRUE(engine.Run(FileOperationKind::Trash, items, "").cancelled);
    EXPECT_TRUE(Exists("/v/a.bak") && Exists("/v/b.bak"));

    ui.confirm = true;
    const FileOperationOutcome trashed = engine.Run(FileOperationKind::Trash, items, "");
    EXPECT_EQ(trashed.Result(), 0);
    EXPECT_EQ(trashed.done, 2u);
    ASSERT_EQ(fs.Trashed().size(), 2u);
    EXPECT_EQ(fs.Trashed()[1].originalPath, "/v/b.bak");
    EXPECT_EQ(fs.TrashFlushes(), 1);

    const FileOperationItem c = File("/v/c.bak");
    EXPECT_EQ(engine.Run(FileOperationKind::Delete, {c}, "").Result(), 0);
    EXPECT_FALSE(Exists("/v/c.bak"));
    EXPECT_EQ(ui.confirmedCount, 1u);
}

TEST_F(FileOperationTest, OnlyTheFileTheSearchSawIsTouched) {
    FileOperationItem grown = File("/v/grown.bak");
    FileOperationItem touched = File("/v/touched.bak");
    FileOperationItem replaced = File("/v/replaced.bak");
    FileOperationItem vanished = File("/v/vanished.bak");
    FileOperationItem linked = File("/v/dir/inner.bak");
    FileOperationItem folder = File("/v/now-a-folder.bak");
    fs.Find("/v/grown.bak")->size = 5;
    fs.Find("/v/touched.bak")->mtimeSeconds += 1;
    fs.Remove("/v/replaced.bak");
    File("/v/replaced.bak");  // same name, another inode
    fs.Remove("/v/vanished.bak");
    fs.Remove("/v/dir");
    fs.AddSymlink("/v/dir");  // the folder is now a link: never followed
    fs.AddFile("/elsewhere/inner.bak");
    fs.Remove("/v/now-a-folder.bak");
    fs.AddFolder("/v/now-a-folder.bak");
    const FileOperationItem fine = File("/v/fine.bak");

    const FileOperationOutcome outcome =
        engine.Run(FileOperationKind::Delete, {grown, touched, replaced, vanished, linked, folder, fine}, "");
    EXPECT_EQ(outcome.done, 1u);
    EXPECT_NE(outcome.Result(), 0);
    ASSERT_EQ(ui.failures.size(), 6u);
    for (const auto& failure : ui.failures)
        EXPECT_TRUE(failure.changedSinceSearch) << failure.path;
    EXPECT_TRUE(Exists("/v/grown.bak") && Exists("/v/touched.bak") && Exists("/v/replaced.bak"));
    EXPECT_TRUE(Exists("/elsewhere/inner.bak"));
    EXPECT_FALSE(Exists("/v/fine.bak"));
}

TEST_F(FileOperationTest, AFileListedTwiceIsDisposedOfOnce) {
    const FileOperationItem a = File("/v/old.bak");
    const FileOperationOutcome outcome = engine.Run(FileOperationKind::Trash, {a, a}, "");
    EXPECT_EQ(outcome.Result(), 0);
    EXPECT_EQ(fs.Trashed().size(), 1u);
}

TEST_F(FileOperationTest, AFileThatCannotBeTrashedStaysAndIsReported) {
    const FileOperationItem a = File("/v/a.bak");
    const FileOperationItem b = File("/v/b.bak");
    fs.FailOnPath(FsOperation::MoveToTrash, "/v/a.bak", ENOSPC);
    const FileOperationOutcome outcome = engine.Run(FileOperationKind::Trash, {a, b}, "");
    EXPECT_NE(outcome.Result(), 0);
    EXPECT_TRUE(Exists("/v/a.bak"));  // never deleted instead
    EXPECT_FALSE(Exists("/v/b.bak"));
    ASSERT_EQ(ui.failures.size(), 1u);
    EXPECT_EQ(ui.failures[0].status.code(), ENOSPC);
}

TEST_F(FileOperationTest, TrashingGoesInBatchesThatStillCheckEachFile) {
    std::vector<FileOperationItem> items;
    for (int i = 0; i < 600; ++i)
        items.push_back(File("/v/f" + std::to_string(i)));
    // A file that changes after it was checked but before its batch is moved in stays where it is.
    fs.SetHook([&](FsOperation op, const std::string& path) {
        if (op == FsOperation::MoveToTrash && path == "/v/f300") fs.Find("/v/f300")->size = 99;
    });
    const FileOperationOutcome outcome = engine.Run(FileOperationKind::Trash, items, "");
    EXPECT_EQ(outcome.done, 599u);
    ASSERT_EQ(ui.failures.size(), 1u);
    EXPECT_TRUE(ui.failures[0].changedSinceSearch);
    EXPECT_EQ(ui.failures[0].path, "/v/f300");
    EXPECT_TRUE(Exists("/v/f300"));
    EXPECT_EQ(fs.Trashed().size(), 599u);
    EXPECT_EQ(fs.Trashed()[0].originalPath, "/v/f0");  // in the order of the list
    EXPECT_EQ(fs.Trashed()[598].originalPath, "/v/f599");

    // Cancelled before a batch was moved in: the staged files stay too.
    const std::vector<FileOperationItem> more = {File("/w/1"), File("/w/2"), File("/w/3")};
    ui.cancelAt = 2;
    EXPECT_TRUE(engine.Run(FileOperationKind::Trash, more, "").cancelled);
    EXPECT_TRUE(Exists("/w/1") && Exists("/w/2") && Exists("/w/3"));
    EXPECT_EQ(fs.Trashed().size(), 599u);
}

TEST_F(FileOperationTest, CancelKeepsWhatWasDoneAndTouchesTheRest) {
    const std::vector<FileOperationItem> items = {File("/v/1"), File("/v/2"), File("/v/3")};
    ui.cancelAt = 2;
    const FileOperationOutcome outcome = engine.Run(FileOperationKind::Delete, items, "");
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_NE(outcome.Result(), 0);
    EXPECT_THAT(Names("/v/"), ElementsAre("3"));
}

TEST_F(FileOperationTest, MoveAsksBeforeReplacing) {
    fs.AddFolder("/b/");
    File("/b/x", "theirs");
    File("/b/y", "theirs");
    File("/b/z", "theirs");
    const std::vector<FileOperationItem> items = {File("/v/w", "ours"), File("/v/x", "ours"),
                                                  File("/v/y", "ours"), File("/v/z", "ours")};
    ui.replaceAnswers = {ReplaceAnswer::No, ReplaceAnswer::YesToAll};
    const FileOperationOutcome outcome = engine.Run(FileOperationKind::Move, items, "/b/");
    EXPECT_THAT(ui.replaceQuestions, ElementsAre("/b/x", "/b/y"));  // no question after "yes to all"
    EXPECT_EQ(Content("/b/w"), "ours");
    EXPECT_EQ(Content("/b/x"), "theirs");
    EXPECT_TRUE(Exists("/v/x"));
    EXPECT_EQ(Content("/b/y"), "ours");
    EXPECT_EQ(Content("/b/z"), "ours");
    EXPECT_EQ(outcome.skipped, 1u);
    EXPECT_NE(outcome.Result(), 0);  // a file stayed at the user's word: not everything was moved

    File("/b/q", "theirs");
    const FileOperationItem q = File("/v/q", "ours");
    ui.replaceAnswers = {ReplaceAnswer::Cancel};
    EXPECT_TRUE(engine.Run(FileOperationKind::Move, {q}, "/b/").cancelled);
    EXPECT_EQ(Content("/b/q"), "theirs");
    EXPECT_EQ(Content("/v/q"), "ours");
}

TEST_F(FileOperationTest, AHardLinkOfTheSourceInTheMoveFolderIsTheMovedFile) {
    fs.AddFolder("/b/");
    const FileOperationItem a = File("/v/a.bak", "ours");
    fs.Find("/b/")->children["a.bak"] = fs.Find("/v/a.bak");  // the same file under the same name
    ui.replaceAnswers = {ReplaceAnswer::Yes};
    const FileOperationOutcome outcome = engine.Run(FileOperationKind::Move, {a}, "/b/");
    EXPECT_EQ(outcome.Result(), 0);
    EXPECT_EQ(outcome.done, 1u);
    EXPECT_FALSE(Exists("/v/a.bak"));
    EXPECT_EQ(Content("/b/a.bak"), "ours");

    // Moved into its own folder: its one entry is already in place and stays.
    const FileOperationItem c = File("/b/c.bak", "ours");
    ui.replaceAnswers = {ReplaceAnswer::Yes};
    EXPECT_EQ(engine.Run(FileOperationKind::Move, {c}, "/b/").Result(), 0);
    EXPECT_EQ(Content("/b/c.bak"), "ours");
}

TEST_F(FileOperationTest, PermanentRemovalsAreNotFlushed) {
    const std::vector<FileOperationItem> items = {File("/v/a"), File("/v/b"), File("/w/c")};
    EXPECT_EQ(engine.Run(FileOperationKind::Delete, items, "").Result(), 0);
    EXPECT_EQ(engine.DeleteUnattended({File("/v/d")}).Result(), 0);
    EXPECT_TRUE(Names("/v/").empty() && Names("/w/").empty());
    EXPECT_EQ(fs.CallCount(FsOperation::SyncFolder), 0);
}

TEST_F(FileOperationTest, MoveAcrossVolumesCopiesFlushesAndThenRemoves) {
    fs.AddFolder("/other/");
    fs.SetDevice("/other", 9);
    const FileOperationItem a = File("/v/a.bak", std::string(3 << 20, 'q'), 1234567890);
    // Named like a temporary copy, but nothing proves Vask made it: it stays.
    File("/other/.a.bak.vask-Leftover", "someone's file");
    EXPECT_EQ(engine.Run(FileOperationKind::Move, {a}, "/other/").Result(), 0);
    EXPECT_FALSE(Exists("/v/a.bak"));
    EXPECT_EQ(Content("/other/a.bak"), std::string(3 << 20, 'q'));
    EXPECT_EQ(fs.Find("/other/a.bak")->mtimeSeconds, 1234567890);
    EXPECT_EQ(fs.Find("/other/a.bak")->mode, 0640u);
    EXPECT_TRUE(fs.Find("/other/a.bak")->synced);
    EXPECT_THAT(Names("/other/"), ElementsAre(".a.bak.vask-Leftover", "a.bak"));  // no temporary stayed
    EXPECT_EQ(fs.LeftoverCleanups(), 1);
}

TEST_F(FileOperationTest, AFailedCopyLeavesTheSourceAndNothingAtTheTarget) {
    fs.AddFolder("/other/");
    fs.SetDevice("/other", 9);
    struct Fault {
        FsOperation op;
        int error;
    };
    for (const Fault fault : {Fault{FsOperation::Write, ENOSPC}, Fault{FsOperation::SyncFile, EIO},
                              Fault{FsOperation::CreateFile, EACCES}, Fault{FsOperation::CloseFile, EIO},
                              Fault{FsOperation::OpenForReading, EIO}}) {
        const FileOperationItem a = File("/v/a.bak", "precious");
        fs.FailNthCall(fault.op, 1, fault.error);
        const FileOperationOutcome outcome = engine.Run(FileOperationKind::Move, {a}, "/other/");
        EXPECT_NE(outcome.Result(), 0);
        EXPECT_EQ(Content("/v/a.bak"), "precious") << static_cast<int>(fault.op);
        EXPECT_THAT(Names("/other/"), IsEmpty()) << static_cast<int>(fault.op);
        ASSERT_EQ(ui.failures.size(), 1u);
        EXPECT_EQ(ui.failures[0].status.code(), fault.error);
    }
    // The copy is in place but the source cannot be removed: the file is in two places, never in none.
    const FileOperationItem b = File("/v/b.bak", "precious");
    fs.FailNthCall(FsOperation::RemoveFile, 1, EACCES);
    EXPECT_NE(engine.Run(FileOperationKind::Move, {b}, "/other/").Result(), 0);
    EXPECT_EQ(Content("/v/b.bak"), "precious");
    EXPECT_EQ(Content("/other/b.bak"), "precious");
}

TEST_F(FileOperationTest, AMissingMoveFolderIsOfferedForCreation) {
    const FileOperationItem a = File("/v/a.bak");
    fs.AddFolder("/home/ann");  // the user's own home; the levels below it are missing
    ui.createFolder = false;
    EXPECT_TRUE(engine.Run(FileOperationKind::Move, {a}, "/home/ann/Backup/").cancelled);
    EXPECT_THAT(ui.offeredFolders, ElementsAre("/home/ann/Backup/"));
    EXPECT_FALSE(Exists("/home/ann/Backup"));

    ui.createFolder = true;
    EXPECT_EQ(engine.Run(FileOperationKind::Move, {a}, "/home/ann/Backup/").Result(), 0);
    EXPECT_TRUE(Exists("/home/ann/Backup/a.bak"));
}

TEST_F(FileOperationTest, UnattendedMoveKeepsNewerTargetsAndFailedCopies) {
    fs.AddFolder("/b/");
    File("/b/newer", "theirs", 2000);
    File("/b/same", "theirs", 1000);
    File("/b/older", "theirs", 500);
    const std::vector<FileOperationItem> items = {
        File("/v/newer", "ours", 1000), File("/v/same", "ours", 1000), File("/v/older", "ours", 1000),
        File("/v/fresh", "ours", 1000)};
    const FileOperationOutcome outcome = engine.MoveUnattended(items, "/b/");
    EXPECT_EQ(outcome.Result(), 0);
    EXPECT_EQ(outcome.skipped, 2u);
    EXPECT_EQ(Content("/b/newer"), "theirs");
    EXPECT_EQ(Content("/v/newer"), "ours");
    EXPECT_EQ(Content("/b/same"), "theirs");
    EXPECT_EQ(Content("/b/older"), "ours");
    EXPECT_FALSE(Exists("/v/older"));
    EXPECT_EQ(Content("/b/fresh"), "ours");

    // No folder: nothing is created and every file stays.
    const FileOperationItem lost = File("/v/lost", "ours");
    EXPECT_NE(engine.MoveUnattended({lost}, "/nowhere/").Result(), 0);
    EXPECT_TRUE(Exists("/v/lost"));
    EXPECT_FALSE(Exists("/nowhere"));

    // Across volumes with a full disk: the source stays.
    fs.AddFolder("/other/");
    fs.SetDevice("/other", 9);
    fs.FailNthCall(FsOperation::Write, 1, ENOSPC);
    EXPECT_NE(engine.MoveUnattended({lost}, "/other/").Result(), 0);
    EXPECT_EQ(Content("/v/lost"), "ours");
    EXPECT_THAT(Names("/other/"), IsEmpty());
}

TEST_F(FileOperationTest, UnattendedDeleteReportsWhatItCouldNotDelete) {
    const FileOperationItem a = File("/v/a");
    const FileOperationItem b = File("/v/b");
    fs.FailOnPath(FsOperation::RemoveFile, "/v/a", EACCES);
    const FileOperationOutcome outcome = engine.DeleteUnattended({a, b});
    EXPECT_EQ(outcome.done, 1u);
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_TRUE(Exists("/v/a"));
    EXPECT_FALSE(Exists("/v/b"));
}

TEST_F(FileOperationTest, FolderPathsAreCreatedLevelByLevelWithoutFollowingLinks) {
    fs.AddFolder("/home/ann");
    EXPECT_EQ(CreateFolderPath(fs, "/srv/backup/").code(), EACCES);  // "/" belongs to root
    ASSERT_TRUE(CreateFolderPath(fs, "/home/ann/BackupLzh/deep"));
    EXPECT_TRUE(fs.Find("/home/ann/BackupLzh/deep/"));
    ASSERT_TRUE(CreateFolderPath(fs, "/home/ann/BackupLzh/deep/"));  // all there already
    fs.AddSymlink("/home/ann/link");
    EXPECT_FALSE(CreateFolderPath(fs, "/home/ann/link/sub/"));
    EXPECT_FALSE(CreateFolderPath(fs, "relative/path"));
    fs.FailNthCall(FsOperation::CreateSubfolder, 1, EROFS);
    EXPECT_EQ(CreateFolderPath(fs, "/home/ann/ro/x/").code(), EROFS);
}

// Every operation opens with one BeginOperation (its kind and item count) and closes with one
// EndOperation, whichever way it ends; every other call, the failure report included, comes between.
TEST(FileOperationScopeTest, EveryOperationBeginsAndEndsOnceOnEveryWayOut) {
    enum class Call { Run, MoveUnattended, DeleteUnattended };
    enum class Twist { None, Decline, CancelSecond, TrashFails, Changed, NoCreate, TargetTaken, RemoveFails };
    struct Row {
        const char* name;
        Call call;
        FileOperationKind kind;
        std::size_t files;
        const char* target;
        Twist twist;
        const char* calls;
    };
    using K = FileOperationKind;
    const Row rows[] = {
        {"trash done", Call::Run, K::Trash, 2, "", Twist::None, "begin confirm progress progress end"},
        {"trash declined", Call::Run, K::Trash, 2, "", Twist::Decline, "begin confirm end"},
        {"trash cancelled", Call::Run, K::Trash, 2, "", Twist::CancelSecond,
         "begin confirm progress progress end"},
        {"trash failed", Call::Run, K::Trash, 1, "", Twist::TrashFails, "begin confirm progress report end"},
        {"nothing to delete", Call::Run, K::Delete, 0, "", Twist::None, "begin confirm end"},
        {"changed file", Call::Run, K::Delete, 1, "", Twist::Changed, "begin confirm progress report end"},
        {"move done", Call::Run, K::Move, 1, "/t/", Twist::None, "begin progress end"},
        {"folder not created", Call::Run, K::Move, 1, "/t/new/", Twist::NoCreate, "begin offer end"},
        {"folder unusable", Call::Run, K::Move, 1, "relative/", Twist::None, "begin report end"},
        {"replace cancelled", Call::Run, K::Move, 2, "/t/", Twist::TargetTaken, "begin progress replace end"},
        {"unattended, no folder", Call::MoveUnattended, K::Move, 1, "/nowhere/", Twist::None, "begin end"},
        {"unattended move", Call::MoveUnattended, K::Move, 2, "/t/", Twist::None, "begin end"},
        {"unattended delete failed", Call::DeleteUnattended, K::Delete, 1, "", Twist::RemoveFails,
         "begin end"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryFileSystem fs;
        ScriptedFileOperationUi ui;
        FileOperationEngine engine(fs, ui);
        fs.AddFolder("/t/");
        std::vector<FileOperationItem> items;
        for (std::size_t i = 0; i < row.files; ++i) {
            const std::string path = "/v/" + std::string(1, static_cast<char>('a' + i));
            auto node = fs.AddFile(path, 4, 1000000000, 0640);
            items.push_back(
                FileOperationItem{path, 4, {node->device, node->inode, 1000000000LL * 1000000000LL}});
        }
        ui.confirm = row.twist != Twist::Decline;
        ui.createFolder = row.twist != Twist::NoCreate;
        if (row.twist == Twist::CancelSecond) ui.cancelAt = 1;
        if (row.twist == Twist::TrashFails) fs.FailOnPath(FsOperation::MoveToTrash, "/v/a", ENOSPC);
        if (row.twist == Twist::Changed) fs.Find("/v/a")->size = 99;
        if (row.twist == Twist::TargetTaken) fs.AddFile("/t/a");
        if (row.twist == Twist::RemoveFails) fs.FailOnPath(FsOperation::RemoveFile, "/v/a", EACCES);
        if (row.call == Call::Run) engine.Run(row.kind, items, row.target);
        if (row.call == Call::MoveUnattended) engine.MoveUnattended(items, row.target);
        if (row.call == Call::DeleteUnattended) engine.DeleteUnattended(items);

        std::string calls;
        for (const std::string& call : ui.calls)
            calls += (calls.empty() ? "" : " ") + call;
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(ui.begunKind, row.kind);
        EXPECT_EQ(ui.begunCount, row.files);
    }
}

}  // namespace
}  // namespace vask
