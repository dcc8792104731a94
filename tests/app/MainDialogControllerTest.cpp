#include "app/core/MainDialogController.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fakes/FakeArchiverLoader.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeLauncher.h"
#include "platform/fakes/FakeSoundPlayer.h"
#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/MemoryMainView.h"
#include "platform/fakes/MemoryOptionSheetView.h"
#include "platform/fakes/MemoryProfileStore.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "tests/disposal/ScriptedFileOperationUi.h"

namespace vask {
namespace {

using ::testing::ElementsAre;

class MainDialogControllerTest : public ::testing::Test {
  protected:
    MainDialogControllerTest()
        : controller(MainDialogPorts{view, prompter, clock, fs, environment, volumes, launcher, profile}) {
        environment.variables = {{"HOME", "/home/ann"}, {"TMPDIR", "/tmp"}};
        controller.Settings().strOutFolderEdit[0] = "/usr/";
        clock.nowSeconds = 1700000000;  // an even second in any time zone of whole minutes
        // One ticked volume at /v/ with a few files.
        view.InsertDriveItem(
            0, DriveItem{"      /v/ [ ] 1.0GBytes" + std::string(50, ' ') + "0000beef00000003", "/v/",
                         kDriveFixed, true});
        view.SetDriveCheckState(0, 1);
        fs.AddFile("/v/a.bak", 3000000000ULL);
        fs.AddFile("/v/sub/b.bak", 3000000000ULL);
        fs.AddFile("/v/c.txt", 5);
        view.patternText = "*.bak";
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Prompt& prompt : prompter.Prompts())
            texts.push_back(prompt.text);
        return texts;
    }

    MemoryMainView view;
    ScriptedPrompter prompter;
    FakeClock clock;
    MemoryFileSystem fs;
    MemoryEnvironment environment;
    FakeVolumeSource volumes;
    FakeLauncher launcher;
    MemoryProfileStore profile;
    MainDialogController controller;
};

TEST_F(MainDialogControllerTest, ASearchThatFindsFilesSummarisesEnablesDeleteAndSaves) {
    controller.OnSearch();
    EXPECT_EQ(controller.State().results.Size(), 2u);
    EXPECT_EQ(view.status, "2個中、2個のﾌｧｲﾙが選択されています。削除対象容量=5.6GBytes");
    EXPECT_THAT(view.statusHistory.front(), "検索中...");
    EXPECT_TRUE(view.IsControlEnabled(control::kDelete));
    EXPECT_FALSE(view.IsControlEnabled(control::kAbort));
    EXPECT_EQ(view.focus, control::kSearch);
    EXPECT_FALSE(view.clipPlaying);
    EXPECT_EQ(profile.StoredString("ctlFileCombo"), "*.bak");
    EXPECT_EQ(profile.StoredString("strDrive0"), "1" + view.driveItems[0].line);
    EXPECT_EQ(profile.StoredString("strVersion"), "2.61");
    EXPECT_TRUE(prompter.Prompts().empty());
}

TEST_F(MainDialogControllerTest, ControlsDuringASearch) {
    view.lastDateCheck = 1;
    view.lastDateText = "0";
    bool checked = false;
    view.onPump = [&] {
        if (checked) return;
        checked = true;
        for (int id : {control::kDriveList, control::kPatternBox, control::kWizard, control::kLastDateCheck,
                       control::kDayEdit, control::kDaySpin, control::kOptions, control::kRecycleBin,
                       control::kVersion, control::kResultList, control::kSearch, control::kCancel,
                       control::kDelete}) {
            EXPECT_FALSE(view.IsControlEnabled(id)) << id;
        }
        EXPECT_TRUE(view.IsControlEnabled(control::kAbort));
        EXPECT_TRUE(view.clipPlaying);
        EXPECT_TRUE(controller.IsSearching());
    };
    clock.stepMs = 25;  // every entry passes the pump interval
    controller.OnSearch();
    EXPECT_TRUE(checked);
    EXPECT_FALSE(controller.IsSearching());
    for (int id : {control::kDriveList, control::kSearch, control::kCancel, control::kDayEdit}) {
        EXPECT_TRUE(view.IsControlEnabled(id)) << id;
    }

    view.lastDateCheck = 0;
    controller.OnSearch();
    EXPECT_FALSE(view.IsControlEnabled(control::kDayEdit));
    EXPECT_FALSE(view.IsControlEnabled(control::kDaySpin));
}

TEST_F(MainDialogControllerTest, NothingFoundAndVanishedVolumes) {
    view.patternText = "*.none";
    controller.OnSearch();
    EXPECT_EQ(view.status, "該当ﾌｧｲﾙが見つかりません。");
    EXPECT_FALSE(view.IsControlEnabled(control::kDelete));
    EXPECT_EQ(profile.StoredString("ctlFileCombo"), "*.none");  // a complete search is saved

    // The volume vanished after the list was filled: its walk finds nothing.
    view.patternText = "*.bak";
    fs.Remove("/v");
    controller.OnSearch();
    EXPECT_EQ(view.status, "該当ﾌｧｲﾙが見つかりません。");

    // No drive ticked and no other source.
    view.SetDriveCheckState(0, 0);
    controller.OnSearch();
    EXPECT_EQ(view.status, "該当ﾌｧｲﾙが見つかりません。");
}

TEST_F(MainDialogControllerTest, AbortEmptiesTheResultsAndSavesNothing) {
    for (int i = 0; i < 30; ++i)
        fs.AddFile("/v/d" + std::to_string(i) + "/x.bak");
    clock.stepMs = 25;
    int pumps = 0;
    view.onPump = [&] {
        if (++pumps == 3) {
            prompter.Answer(PromptAnswer::No);
            controller.OnAbort();  // declined: the search goes on
        } else if (pumps == 6) {
            prompter.Answer(PromptAnswer::Yes);
            controller.OnAbort();
        }
    };
    controller.OnSearch();
    EXPECT_EQ(view.status, "処理が中止されました。");
    EXPECT_TRUE(controller.State().results.Empty());
    EXPECT_FALSE(view.IsControlEnabled(control::kDelete));
    EXPECT_TRUE(profile.Writes().empty());
    EXPECT_THAT(Texts(), ElementsAre("検索を中止してよろしいですか?", "検索を中止してよろしいですか?"));
    EXPECT_EQ(prompter.Prompts()[0].icon, PromptIcon::Question);
}

TEST_F(MainDialogControllerTest, PatternTextIsSplitAsTyped) {
    EXPECT_THAT(SplitPatternText("*.bak;*.tmp"), ElementsAre("*.bak", "*.tmp"));
    EXPECT_THAT(SplitPatternText(";*.bak;;*.tmp;"), ElementsAre("*.bak", "*.tmp"));
    EXPECT_THAT(SplitPatternText("*.bak; *.tmp"), ElementsAre("*.bak", " *.tmp"));
    EXPECT_TRUE(SplitPatternText("").empty());
    EXPECT_TRUE(SplitPatternText(";;;").empty());

    view.patternText = " *.*";  // with a leading space it is not the all-files pattern
    EXPECT_EQ(controller.ParsePatternText(), 1);
    EXPECT_TRUE(prompter.Prompts().empty());
}

TEST_F(MainDialogControllerTest, UnusablePatternsAreRefusedBeforeAnySearch) {
    controller.OnSearch();  // results to be emptied by the refusal
    ASSERT_TRUE(view.IsControlEnabled(control::kDelete));
    profile.Writes();
    const std::size_t writes = profile.Writes().size();
    for (const char* text : {"", ";;", "../*.bak", "*.bak;/etc/passwd", "..", "."}) {
        view.patternText = text;
        view.focus = 0;
        controller.OnSearch();
        EXPECT_EQ(prompter.Prompts().back().text, "削除ﾌｧｲﾙを正確に入力してください。") << text;
        EXPECT_EQ(prompter.Prompts().back().buttons, PromptButtons::Ok);
        EXPECT_EQ(view.focus, control::kPatternBox);
        EXPECT_TRUE(controller.State().results.Empty());
        EXPECT_FALSE(view.IsControlEnabled(control::kDelete));
    }
    EXPECT_EQ(profile.Writes().size(), writes);
    EXPECT_EQ(fs.CallCount(FsOperation::OpenFolder), 1);  // only the first, real search walked
}

TEST_F(MainDialogControllerTest, AllFilesPatternAsksOnce) {
    view.patternText = "*.*;*.bak;*.*";
    prompter.Answer(PromptAnswer::No);
    controller.OnSearch();
    EXPECT_THAT(Texts(), ElementsAre("削除ﾌｧｲﾙに*.*が設定されています。\n本当によろしいですか?",
                                     "削除ﾌｧｲﾙを正確に入力してください。"));
    EXPECT_EQ(prompter.Prompts()[0].buttons, PromptButtons::YesNo);

    prompter.Answer(PromptAnswer::Yes);
    controller.OnSearch();
    // "*.*" twice and "*.bak": every name is listed once, whichever patterns it matches.
    EXPECT_EQ(controller.State().results.Size(), 3u);
}

// Two patterns matching one file: one result, one disposal, and the log counts it once.
TEST_F(MainDialogControllerTest, AFileMatchedByTwoPatternsIsDeletedAndLoggedOnce) {
    fs.AddFile("/v/n1.vbak", 4);
    fs.AddFile("/v/n2.vbak", 4);
    view.patternText = "n?.vbak;n1.*";
    ScriptedFileOperationUi ui;
    FakeArchiverLoader archiver{FakeArchiverLoader::Behaviour::Move, &fs};
    FakeSoundPlayer sound;
    controller.AttachDisposal(ui, archiver, sound);
    controller.Settings().nTrush = kDisposeDelete;
    controller.Settings().bLog = 1;
    controller.OnSearch();
    EXPECT_EQ(controller.State().results.Size(), 2u);
    EXPECT_EQ(controller.State().sizeFoundTotal, 8u);
    controller.OnDelete();
    EXPECT_EQ(view.status, "ﾌｧｲﾙ削除が終りました。");
    EXPECT_FALSE(fs.Find("/v/n1.vbak") || fs.Find("/v/n2.vbak"));
    const std::string log = MemoryFileSystem::ContentOf(*fs.Find("/cwd/Vask.Log"));
    EXPECT_NE(log.find("/v/n1.vbak\r\n/v/n2.vbak\r\n<2file(s), 8Bytes>\r\n"), std::string::npos) << log;
}

TEST_F(MainDialogControllerTest, DayLimitOnlyWhenTheBoxIsTicked) {
    controller.OnSearch();
    const std::size_t before = controller.State().results.Size();
    view.lastDateCheck = 1;
    view.lastDateText = "14001";
    view.focus = 0;
    controller.OnSearch();
    EXPECT_THAT(Texts(), ElementsAre("最終更新日が大きすぎます。"));
    EXPECT_EQ(view.focus, control::kPatternBox);
    EXPECT_EQ(controller.State().results.Size(), before);  // nothing else changes
    EXPECT_TRUE(view.IsControlEnabled(control::kDelete));

    view.lastDateText = "99999999999999999999";  // pasted: saturates, still refused
    controller.OnSearch();
    EXPECT_EQ(prompter.Prompts().size(), 2u);

    view.lastDateText = "14000";
    controller.OnSearch();
    EXPECT_EQ(prompter.Prompts().size(), 2u);
    EXPECT_EQ(controller.State().ageDays, 14000);

    view.lastDateCheck = 0;
    view.lastDateText = "99999";
    controller.OnSearch();
    EXPECT_EQ(prompter.Prompts().size(), 2u);
    EXPECT_FALSE(controller.State().ageCheck);

    // With both faults only the pattern message is shown.
    view.lastDateCheck = 1;
    view.patternText = ";";
    controller.OnSearch();
    EXPECT_EQ(prompter.Prompts().back().text, "削除ﾌｧｲﾙを正確に入力してください。");
    EXPECT_EQ(prompter.Prompts().size(), 3u);
}

TEST_F(MainDialogControllerTest, SearchTimeFallsOnAnEvenSecond) {
    clock.utcOffsetSeconds = 0;
    clock.nowSeconds = 1700000007;  // 10:15:07 style: odd
    controller.OnSearch();
    EXPECT_EQ(controller.State().timeSearch, 1700000008);
    clock.nowSeconds = 1700000008;
    controller.OnSearch();
    EXPECT_EQ(controller.State().timeSearch, 1700000008);
}

TEST_F(MainDialogControllerTest, SelectionSummaryCountsExactlyTickedItems) {
    controller.OnSearch();
    controller.State().results.SetCheckState(0, 0);
    controller.UpdateSelectionSummary();
    EXPECT_EQ(view.status, "2個中、1個のﾌｧｲﾙが選択されています。削除対象容量=2.8GBytes");
    controller.State().results.SetCheckState(1, 0);
    controller.UpdateSelectionSummary();
    EXPECT_EQ(view.status, "2個中、0個のﾌｧｲﾙが選択されています。削除対象容量=0Byte");
    EXPECT_EQ(controller.CountTickedItems(), 0);
    // State 2 counts as ticked, but its size is not in the total.
    controller.State().results.SetCheckState(1, 2);
    controller.UpdateSelectionSummary();
    EXPECT_EQ(view.status, "2個中、1個のﾌｧｲﾙが選択されています。削除対象容量=0Byte");
}

TEST_F(MainDialogControllerTest, ViewerRecycleBinVersionAndHelp) {
    controller.OnSearch();
    controller.OpenInViewer();  // nothing selected: nothing opened
    EXPECT_TRUE(launcher.openedFiles.empty());
    view.selectedResult = 1;
    controller.OpenInViewer();
    EXPECT_THAT(launcher.openedFiles, ElementsAre("/v/sub/b.bak"));
    EXPECT_EQ(view.selectedResult, -1);

    controller.OnRecycleBin();
    EXPECT_TRUE(prompter.Prompts().empty());
    launcher.canOpen = false;
    controller.OnRecycleBin();
    controller.OnVersion();
    EXPECT_THAT(Texts(), ElementsAre("ごみ箱起動ｴﾗｰ", "不要ファイル削除ツール Vask ver 2.61"));
    for (const Prompt& prompt : prompter.Prompts()) {
        EXPECT_EQ(prompt.buttons, PromptButtons::Ok);
        EXPECT_EQ(EffectivePromptIcon(prompt), PromptIcon::Exclamation);
    }
}

TEST_F(MainDialogControllerTest, TooltipsFollowTheOptionAndTheTicks) {
    EXPECT_EQ(controller.TooltipText(control::kHelp), "ﾍﾙﾌﾟです;");
    EXPECT_EQ(controller.TooltipText(control::kResultList),
              "まずﾄﾞﾗｲﾌﾞをﾁｪｯｸして検索してください。削除ﾌｧｲﾙの入力は慎重に...");
    controller.OnSearch();
    EXPECT_EQ(controller.TooltipText(control::kResultList),
              "削除しないﾌｧｲﾙはﾁｪｯｸをはずしてください。また、ﾀﾞﾌﾞﾙｸﾘｯｸで内容が確認できます。");
    EXPECT_EQ(controller.TooltipText(control::kStatusLine), "");
    EXPECT_EQ(controller.TooltipText(control::kDaySpin), "");
    controller.Settings().bToolTip = 0;
    for (int id : {control::kHelp, control::kResultList, control::kSearch, control::kCancel}) {
        EXPECT_EQ(controller.TooltipText(id), "") << id;
    }
}

TEST_F(MainDialogControllerTest, StartUpRestoresWhatTheLastSearchSaved) {
    volumes.Add("/", "ext4", "root", 0x1234abcd, 50000000000ULL);
    volumes.Add("/media/ann/usb/", "vfat", "", 0x0000beef, 8000000000ULL, true);
    volumes.Add("/srv/", "xfs", "data", 0x55, 1000);
    // First start: defaults, the fixed volumes only, no message, nothing ticked.
    EXPECT_FALSE(controller.Start());
    EXPECT_TRUE(prompter.Prompts().empty());
    EXPECT_EQ(view.patternText, "*.bak");
    EXPECT_THAT(view.patternItems, ElementsAre("*.bak"));
    EXPECT_EQ(view.lastDateText, "0");
    EXPECT_FALSE(view.IsControlEnabled(control::kDayEdit));
    ASSERT_EQ(view.DriveItemCount(), 2);
    EXPECT_EQ(view.driveItems[1].mountPoint, "/srv/");
    EXPECT_THAT(view.DriveCheckStates(), ElementsAre(0, 0));

    // A search with /srv/ ticked and the age box on is what the next start shows.
    view.SetDriveCheckState(1, 1);
    view.patternText = "*.tmp";
    view.lastDateCheck = 1;
    view.lastDateText = "30x";
    controller.OnSearch();
    MemoryMainView nextView;
    MainDialogController next(
        MainDialogPorts{nextView, prompter, clock, fs, environment, volumes, launcher, profile});
    EXPECT_FALSE(next.Start());
    EXPECT_THAT(nextView.DriveCheckStates(), ElementsAre(0, 1));
    EXPECT_EQ(nextView.patternText, "*.tmp");
    EXPECT_THAT(nextView.patternItems, ElementsAre("*.tmp", "*.bak"));
    EXPECT_EQ(nextView.lastDateText, "30");
    EXPECT_TRUE(nextView.IsControlEnabled(control::kDayEdit));

    // The disk at /srv/ was replaced: the ticks no longer belong to the same drives.
    volumes.volumes[2].serial = 0x56;
    MemoryMainView thirdView;
    MainDialogController third(
        MainDialogPorts{thirdView, prompter, clock, fs, environment, volumes, launcher, profile});
    EXPECT_TRUE(third.Start());
    ASSERT_EQ(prompter.Prompts().size(), 1u);
    EXPECT_EQ(prompter.Prompts()[0].icon, PromptIcon::Stop);
    EXPECT_THAT(thirdView.DriveCheckStates(), ElementsAre(0, 0));
}

TEST_F(MainDialogControllerTest, OptionsOkThatChangesTheDriveFilterResetsDrivesAndResults) {
    volumes.Add("/v/", "ext4", "", 0xbeef, 1);
    volumes.Add("/run/media/ann/STICK/", "vfat", "", 0x5, 1, true);
    fs.SetDevice("/v/", 7);
    MemoryOptionSheetView sheetView;
    FakeSoundPlayer sound;
    OptionSheet& sheet = controller.AttachOptionSheet(sheetView, prompter, sound);
    controller.OnSearch();
    ASSERT_EQ(controller.State().results.Size(), 2u);
    prompter = ScriptedPrompter();

    // OK without a change of the filter leaves ticks and results alone.
    sheetView.onRun = [&] { return sheet.OnOk(); };
    controller.OnOptionButton();
    EXPECT_EQ(controller.State().results.Size(), 2u);
    EXPECT_EQ(view.DriveCheckState(0), 1);
    EXPECT_TRUE(view.IsControlEnabled(control::kDelete));

    sheetView.onRun = [&] {
        EXPECT_TRUE(sheet.SwitchTo(OptionPage::Functions));
        sheetView.SetTicked(OptionPage::Functions, option_control::kFixed, false);
        return sheet.OnOk();
    };
    controller.OnOptionButton();
    EXPECT_EQ(controller.Settings().bFixed, 0);
    EXPECT_EQ(profile.StoredInt("bFixed"), 0);
    EXPECT_EQ(controller.State().results.Size(), 0u);
    EXPECT_EQ(controller.State().sizeFoundTotal, 0u);
    EXPECT_FALSE(view.IsControlEnabled(control::kDelete));
    EXPECT_THAT(view.DriveCheckStates(), ElementsAre(0, 0));
    EXPECT_EQ(view.driveItems[1].mountPoint, "/run/media/ann/STICK/");
    ASSERT_EQ(prompter.Prompts().size(), 1u);
    EXPECT_EQ(prompter.Prompts()[0].text, kDrivesResetMessage);
    EXPECT_EQ(prompter.Prompts()[0].icon, PromptIcon::Exclamation);
}

}  // namespace
}  // namespace vask
