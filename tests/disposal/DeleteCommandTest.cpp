#include "disposal/DeleteCommand.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "platform/fakes/FakeArchiverLoader.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeSoundPlayer.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/MemoryMainView.h"
#include "platform/fakes/MemoryProfileStore.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "tests/disposal/ScriptedFileOperationUi.h"

namespace vask {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class DeleteCommandTest : public ::testing::Test {
  protected:
    DeleteCommandTest()
        : store(profile, prompter, environment, view, settings),
          command(DeleteCommandPorts{view, prompter, fs, ui, archiver, sound, clock}, state, settings, store,
                  [this] { return patterns; }) {
        environment.variables = {{"HOME", "/home/ann"}};
        fs.AddFolder("/home/ann/Backup");
        settings.strFolderEdit = "/home/ann/Backup/";
        settings.strUnlhaEdit = "/home/ann/BackupLzh/";
        settings.bLog = 1;
        state.timeSearch = 1700000000;
        view.SetControlEnabled(control::kDelete, true);
    }

    // A found file, ticked, as the walker would have listed it.
    void Found(const std::string& path, std::uint64_t size = 4, bool ticked = true) {
        auto node = fs.AddFile(path, size, 1000000000);
        const std::size_t index = state.results.Append(
            path, size, FileIdentity{node->device, node->inode, node->mtimeSeconds * 1000000000LL});
        state.results.SetCheckState(index, ticked ? 1 : 0);
    }
    std::string Log() const {
        auto log = fs.Find("/cwd/Vask.Log");
        return log ? MemoryFileSystem::ContentOf(*log) : std::string("<none>");
    }

    MemoryMainView view;
    ScriptedPrompter prompter;
    MemoryFileSystem fs;
    ScriptedFileOperationUi ui;
    FakeArchiverLoader archiver{FakeArchiverLoader::Behaviour::Move, &fs};
    FakeSoundPlayer sound;
    FakeClock clock;
    MemoryEnvironment environment;
    MemoryProfileStore profile;
    SearchState state;
    ProfileSettings settings;
    SettingsStore store;
    int patterns = 1;
    DeleteCommand command;
};

TEST_F(DeleteCommandTest, BeforeAnySearchItSaysSoAndStillSaves) {
    settings.bWave = 1;
    settings.strWaveEdit = "/home/ann/done.wav";
    command.OnDelete(false);
    EXPECT_EQ(view.status, "まず検索してください。");
    EXPECT_TRUE(profile.Contains("ctlFileCombo"));
    EXPECT_THAT(sound.played, ElementsAre("/home/ann/done.wav"));
    EXPECT_EQ(view.focus, control::kSearch);
    EXPECT_EQ(Log(), "<none>");
}

TEST_F(DeleteCommandTest, NothingTickedOrNoPatternStopsEarly) {
    Found("/v/a.bak", 4, false);
    command.OnDelete(false);
    EXPECT_EQ(view.status, "何も選択されていません。");
    EXPECT_FALSE(view.IsControlEnabled(control::kDelete));
    EXPECT_EQ(state.results.Size(), 1u);
    EXPECT_TRUE(profile.Writes().empty());

    patterns = 0;
    command.OnDelete(false);
    EXPECT_EQ(prompter.Prompts().back().text, "削除ﾌｧｲﾙを正確に入力してください。");
    EXPECT_EQ(view.focus, control::kPatternBox);
    EXPECT_TRUE(state.results.Empty());
}

TEST_F(DeleteCommandTest, MoveConfirmsWithTheWholeListButMovesOnlyTicked) {
    settings.nTrush = kDisposeMoveToFolder;
    Found("/v/a.bak", 1280);
    Found("/v/b.bak", 4, false);
    Found("/v/c.bak", 4, false);
    prompter.Answer(PromptAnswer::Yes);
    command.OnDelete(false);
    ASSERT_EQ(prompter.Prompts().size(), 1u);
    EXPECT_EQ(prompter.Prompts()[0].caption, "複数のﾌｧｲﾙ移動の確認");
    EXPECT_EQ(prompter.Prompts()[0].text,
              "これらの 3 個のﾌｧｲﾙを /home/ann/Backup/ に移してもよろしいですか?");
    EXPECT_TRUE(fs.Find("/home/ann/Backup/a.bak"));
    EXPECT_TRUE(fs.Find("/v/b.bak") && fs.Find("/v/c.bak"));
    EXPECT_EQ(view.status, "ﾌｧｲﾙ移動が終りました。");
    EXPECT_FALSE(view.IsControlEnabled(control::kDelete));
    EXPECT_EQ(state.results.Size(), 3u);  // the list still shows what was done
    EXPECT_THAT(Log(), HasSubstr("---<Normal>------\r\n/v/a.bak\r\n<1file(s), 1.3KBytes>\r\n"));
}

TEST_F(DeleteCommandTest, SingleMoveNamesTheFileAndADeclineAborts) {
    settings.nTrush = kDisposeMoveToFolder;
    Found("/v/sub/only one.bak");
    prompter.Answer(PromptAnswer::No);
    command.OnDelete(false);
    EXPECT_EQ(prompter.Prompts()[0].caption, "ﾌｧｲﾙの移動の確認");
    EXPECT_EQ(prompter.Prompts()[0].text, "'only one.bak' を /home/ann/Backup/ に移してもよろしいですか?");
    EXPECT_EQ(prompter.Prompts()[0].icon, PromptIcon::Question);
    EXPECT_EQ(view.status, "処理が中止されました。");
    EXPECT_EQ(view.focus, control::kPatternBox);  // where Enter searches; never the Cancel button
    EXPECT_TRUE(state.results.Empty());
    EXPECT_TRUE(fs.Find("/v/sub/only one.bak"));
    EXPECT_EQ(Log(), "<none>");
    EXPECT_TRUE(profile.Writes().empty());
}

TEST_F(DeleteCommandTest, TrashAndDeleteReportTheirEnd) {
    Found("/v/a.bak");
    command.OnDelete(false);
    EXPECT_EQ(view.status, "ﾌｧｲﾙ削除が終りました。");
    EXPECT_EQ(fs.Trashed().size(), 1u);

    state.results.Clear();
    settings.nTrush = kDisposeDelete;
    Found("/v/b.bak");
    Found("/v/c.bak");
    fs.FailOnPath(FsOperation::RemoveFile, "/v/c.bak", EACCES);
    command.OnDelete(false);
    EXPECT_EQ(view.status, "処理が中止されました。");  // one file could not be deleted
    EXPECT_FALSE(fs.Find("/v/b.bak"));
    EXPECT_TRUE(fs.Find("/v/c.bak"));
    EXPECT_EQ(ui.failures.size(), 1u);
    // Only the first, successful run wrote a record.
    EXPECT_EQ(Log().find("---<<<", 1), std::string::npos);
}

TEST_F(DeleteCommandTest, UnusableSettingsDisposeOfNothing) {
    Found("/v/a.bak");
    for (int method : {-1, 4, 7}) {
        settings.nTrush = method;
        command.OnDelete(false);
        EXPECT_THAT(prompter.Prompts().back().text, HasSubstr("削除方法の設定が正しくありません。"));
    }
    settings.nTrush = kDisposeMoveToFolder;
    settings.strFolderEdit.clear();
    command.OnDelete(false);
    EXPECT_THAT(prompter.Prompts().back().text, HasSubstr("移動先のﾌｫﾙﾀﾞが設定されていません。"));
    settings.nTrush = kDisposeLzhArchive;
    settings.strUnlhaEdit.clear();
    command.OnDelete(false);
    EXPECT_THAT(prompter.Prompts().back().text, HasSubstr("圧縮先のﾌｫﾙﾀﾞが設定されていません。"));
    EXPECT_TRUE(fs.Find("/v/a.bak"));
    EXPECT_TRUE(fs.Trashed().empty());
    EXPECT_EQ(view.status, "処理が中止されました。");
}

TEST_F(DeleteCommandTest, ArchiveFolderIsOfferedThenPacked) {
    settings.nTrush = kDisposeLzhArchive;
    Found("/v/a.bak");
    prompter.Answer(PromptAnswer::No);
    command.OnDelete(false);
    EXPECT_EQ(prompter.Prompts()[0].text, "ﾌｫﾙﾀﾞ /home/ann/BackupLzh は存在しません。\n作成しますか?");
    EXPECT_EQ(view.status, "処理が中止されました。");
    EXPECT_TRUE(fs.Find("/v/a.bak"));

    Found("/v/b.bak");
    prompter.Answer(PromptAnswer::Yes);
    command.OnDelete(false);
    EXPECT_TRUE(fs.Find("/home/ann/BackupLzh/"));
    EXPECT_FALSE(fs.Find("/v/b.bak"));
    EXPECT_EQ(view.status, "ﾌｧｲﾙ削除が終りました。");

    // A folder that cannot be made: the stop message, nothing packed.
    settings.strUnlhaEdit = "/root-only/lzh/";
    Found("/v/c.bak");
    prompter.Answer(PromptAnswer::Yes);
    command.OnDelete(false);
    EXPECT_EQ(prompter.Prompts().back().text, "ﾌｫﾙﾀﾞ /root-only/lzh が作成できません。");
    EXPECT_EQ(prompter.Prompts().back().icon, PromptIcon::Stop);
    EXPECT_TRUE(fs.Find("/v/c.bak"));
}

TEST_F(DeleteCommandTest, AVaskLogThatIsNoRegularFileOfOursStopsTheCommandBeforeAnythingIsDisposedOf) {
    struct Case {
        const char* name;
        std::function<void(MemoryFileSystem&)> plant;
        const char* reason;
    };
    const Case cases[] = {
        {"FIFO", [](MemoryFileSystem& fs) { fs.AddOther("/cwd/Vask.Log"); },
         "同じ名前の特殊ﾌｧｲﾙ(FIFOなど)があります。"},
        {"link", [](MemoryFileSystem& fs) { fs.AddSymlink("/cwd/Vask.Log"); },
         "同じ名前のｼﾝﾎﾞﾘｯｸﾘﾝｸがあります。"},
        {"another user's file", [](MemoryFileSystem& fs) { fs.AddFile("/cwd/Vask.Log")->ownerId = 1001; },
         "同じ名前の他のﾕｰｻﾞｰのﾌｧｲﾙがあります。"},
    };
    for (int method : {kDisposeToTrash, kDisposeDelete, kDisposeLzhArchive}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(method));
            settings.nTrush = method;
            fs.AddFolder(settings.strUnlhaEdit);
            fs.Remove("/cwd/Vask.Log");
            c.plant(fs);
            Found("/v/a.bak");
            view.SetControlEnabled(control::kDelete, true);
            command.OnDelete(true);
            EXPECT_EQ(prompter.Prompts().back().text,
                      std::string("ﾌｧｲﾙ Vask.Log に削除ﾛｸﾞを書き込めません。\n") + c.reason);
            EXPECT_TRUE(fs.Find("/v/a.bak"));
            EXPECT_EQ(archiver.loads, 0);
            EXPECT_EQ(view.status, "処理が中止されました。");
            EXPECT_EQ(view.focus, control::kPatternBox);
            EXPECT_FALSE(view.IsControlEnabled(control::kDelete));
        }
    }
    EXPECT_TRUE(fs.Trashed().empty());
    // Without a log to write, the name does not matter.
    settings.bLog = 0;
    settings.nTrush = kDisposeToTrash;
    state.results.Clear();
    Found("/v/a.bak");
    command.OnDelete(false);
    EXPECT_EQ(fs.Trashed().size(), 1u);
}

TEST_F(DeleteCommandTest, ALogThatCannotBeWrittenAfterTheDisposalIsReportedAndTheFilesStayDisposed) {
    struct Case {
        const char* name;
        FsOperation op;
        int error;
        const char* reason;
    };
    const Case cases[] = {
        {"disk full while writing", FsOperation::Write, ENOSPC, "ﾃﾞｨｽｸの空き領域が不足しています。"},
        {"log cannot be opened", FsOperation::OpenOwnFile, EIO, "ﾃﾞｨｽｸの読み書き中にｴﾗｰが発生しました。"},
        {"replaced by a link since the check", FsOperation::OpenOwnFile, ELOOP,
         "同じ名前のｼﾝﾎﾞﾘｯｸﾘﾝｸがあります。"},
    };
    for (bool silent : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (silent ? " unattended" : ""));
            settings.nTrush = kDisposeDelete;
            state.results.Clear();
            Found("/v/a.bak");
            view.SetControlEnabled(control::kDelete, true);
            fs.FailOnPath(c.op, "/cwd/Vask.Log", c.error);
            const std::size_t asked = prompter.Prompts().size();
            EXPECT_EQ(command.OnDelete(silent), DeleteOutcome::Done);
            fs.FailOnPath(c.op, "/cwd/Vask.Log", 0);
            EXPECT_FALSE(fs.Find("/v/a.bak"));
            EXPECT_EQ(view.status, "ﾌｧｲﾙ削除が終りました。");
            ASSERT_EQ(prompter.Prompts().size(), asked + 1);
            EXPECT_EQ(prompter.Prompts().back().text,
                      std::string("ﾌｧｲﾙ Vask.Log に削除ﾛｸﾞを書き込めません。\n") + c.reason);
            EXPECT_EQ(prompter.Prompts().back().icon, PromptIcon::Exclamation);
        }
    }
}

TEST_F(DeleteCommandTest, UnattendedMoveAsksNothingAndLogsSilent) {
    settings.nTrush = kDisposeMoveToFolder;
    Found("/v/a.bak");
    command.OnDelete(true);
    EXPECT_TRUE(prompter.Prompts().empty());
    EXPECT_TRUE(fs.Find("/home/ann/Backup/a.bak"));
    EXPECT_THAT(Log(), HasSubstr("---<Silent>------"));
}

TEST_F(DeleteCommandTest, OutcomeOfEachEndAndAStopBeforeTheFilesAreTouched) {
    EXPECT_EQ(command.OnDelete(true), DeleteOutcome::NothingFound);

    Found("/v/a.bak", 4, false);
    EXPECT_EQ(command.OnDelete(true), DeleteOutcome::NothingTicked);
    state.results.SetCheckState(0, 1);
    settings.nTrush = 7;
    EXPECT_EQ(command.OnDelete(true), DeleteOutcome::Refused);
    settings.nTrush = kDisposeDelete;
    patterns = 0;
    EXPECT_EQ(command.OnDelete(true), DeleteOutcome::Refused);
    patterns = 1;

    // A stop asked for while a question was open: nothing disposed of, no log, nothing saved.
    Found("/v/a.bak");
    profile.ClearLog();
    bool stop = true;
    command.SetStopCheck([&] { return stop; });
    EXPECT_EQ(command.OnDelete(true), DeleteOutcome::Stopped);
    EXPECT_TRUE(fs.Find("/v/a.bak") != nullptr);
    EXPECT_EQ(Log(), "<none>");
    EXPECT_TRUE(profile.Writes().empty());

    stop = false;
    Found("/v/a.bak");
    EXPECT_EQ(command.OnDelete(true), DeleteOutcome::Done);
    EXPECT_TRUE(fs.Find("/v/a.bak") == nullptr);
    EXPECT_THAT(Log(), HasSubstr("---<Silent>------"));

    ui.cancelAt = 0;
    settings.nTrush = kDisposeToTrash;
    Found("/v/b.bak");
    EXPECT_EQ(command.OnDelete(true), DeleteOutcome::Stopped);
}

}  // namespace
}  // namespace vask
