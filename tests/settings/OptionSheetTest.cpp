#include "settings/OptionSheet.h"

#include <gtest/gtest.h>

#include "platform/fakes/FakeSoundPlayer.h"
#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/MemoryOptionSheetView.h"
#include "platform/fakes/MemoryProfileStore.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "settings/LogLines.h"

namespace vask {
namespace {

namespace oc = option_control;
using P = OptionPage;

class OptionSheetTest : public ::testing::Test {
  protected:
    OptionSheetTest()
        : sheet(OptionSheetPorts{view, prompter, fs, volumes, environment, sound, profile}, settings) {
        environment.variables = {{"HOME", "/home/ann"}, {"TMPDIR", "/var/tmp"}};
        settings = DefaultProfileSettings(environment);
        volumes.Add("/", "ext4", "", 1, 1);
        volumes.Add("/mnt/nas/", "nfs4", "", 2, 1);
        fs.AddFolder("/mnt/nas/");
        fs.SetDevice("/mnt/nas/", 2);
        fs.AddFolder("/home/ann/Keep/");
        fs.AddFolder("/tmp/");
        fs.AddFolder("/usr/");
    }

    // One run in which the user does what script says and then presses OK (as often as the sheet refuses:
    // a refused OK is followed by Cancel).
    OptionSheetOutcome RunThenOk(const std::function<void()>& script = {}) {
        view.onRun = [&] {
            if (script) script();
            return sheet.OnOk();
        };
        return sheet.Run();
    }
    OptionSheetOutcome RunThenCancel(const std::function<void()>& script) {
        view.onRun = [&] {
            script();
            return false;
        };
        return sheet.Run();
    }
    void Type(P page, int id, const std::string& text) { view.SetText(page, id, text); }
    void Click(P page, int id) { view.SetTicked(page, id, !view.IsTicked(page, id)); }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const Prompt& prompt : prompter.Prompts())
            texts.push_back(prompt.text);
        return texts;
    }

    MemoryOptionSheetView view;
    ScriptedPrompter prompter;
    MemoryFileSystem fs;
    FakeVolumeSource volumes;
    MemoryEnvironment environment;
    FakeSoundPlayer sound;
    MemoryProfileStore profile;
    ProfileSettings settings;
    OptionSheet sheet;
};

TEST_F(OptionSheetTest, TheDisposalPageShowsTheMethodAndEnablesItsFolderOnly) {
    const struct {
        int method;
        int radio;  // 0: none
        bool moveEnabled, lzhEnabled;
    } cases[] = {{0, oc::kMethodTrash, false, false},
                 {1, oc::kMethodMove, true, false},
                 {2, oc::kMethodDelete, false, false},
                 {3, oc::kMethodCompress, false, true},
                 {7, 0, true, true}};
    for (const auto& c : cases) {
        settings.nTrush = c.method;
        RunThenOk();
        for (int radio : {oc::kMethodTrash, oc::kMethodMove, oc::kMethodDelete, oc::kMethodCompress})
            EXPECT_EQ(view.IsTicked(P::Disposal, radio), radio == c.radio) << c.method;
        EXPECT_EQ(view.IsEnabled(P::Disposal, oc::kMoveFolderEdit), c.moveEnabled) << c.method;
        EXPECT_EQ(view.IsEnabled(P::Disposal, oc::kMoveFolderBrowse), c.moveEnabled) << c.method;
        EXPECT_EQ(view.IsEnabled(P::Disposal, oc::kLzhFolderEdit), c.lzhEnabled) << c.method;
        EXPECT_EQ(view.IsEnabled(P::Disposal, oc::kLzhFolderBrowse), c.lzhEnabled) << c.method;
        EXPECT_EQ(settings.nTrush, c.method) << "untouched radios keep the stored method";
    }
    EXPECT_EQ(view.Text(P::Disposal, oc::kMoveFolderEdit), "/home/ann/Backup/");
    EXPECT_EQ(view.Text(P::Disposal, oc::kLzhFolderEdit), "/home/ann/BackupLzh/");
}

TEST_F(OptionSheetTest, ARefusedMethodFolderKeepsThePageAndSelectsTheEdit) {
    for (const int method : {oc::kMethodMove, oc::kMethodCompress}) {
        const int edit = method == oc::kMethodMove ? oc::kMoveFolderEdit : oc::kLzhFolderEdit;
        for (const std::string bad : {"", "/mnt/nas/backup/", "backup", "/home/ann/Keep/../x/"}) {
            prompter = ScriptedPrompter();
            view.focus.reset();
            const auto outcome = RunThenCancel([&] {
                view.SetTicked(P::Disposal, method, true);
                sheet.OnMethodClicked();
                Type(P::Disposal, edit, bad);
                EXPECT_FALSE(sheet.SwitchTo(P::Functions)) << bad;
                EXPECT_FALSE(sheet.OnOk()) << bad;
                EXPECT_EQ(sheet.CurrentPage(), P::Disposal);
            });
            EXPECT_FALSE(outcome.accepted);
            EXPECT_EQ(Messages(), std::vector<std::string>(2, kFolderNotAllowedMessage)) << bad;
            EXPECT_EQ(view.focus, (MemoryOptionSheetView::Key{P::Disposal, edit}));
        }
    }
    EXPECT_EQ(settings.nTrush, kDisposeToTrash);
    EXPECT_TRUE(profile.Writes().empty());
}

TEST_F(OptionSheetTest, OkNormalisesEveryFolderAndStoresTheOptions) {
    const auto outcome = RunThenOk([&] {
        view.SetTicked(P::Disposal, oc::kMethodMove, true);
        Type(P::Disposal, oc::kMoveFolderEdit, "/home/ann/Keep");
        Type(P::Disposal, oc::kLzhFolderEdit, "not checked for this method");
        ASSERT_TRUE(sheet.SwitchTo(P::AvoidFolders));
        Type(P::AvoidFolders, oc::kAvoidFolderEdit0 + 1, "/tmp");
        Type(P::AvoidFolders, oc::kAvoidFolderEdit0 + 5, "/tmp/");  // equal only once normalised
    });
    EXPECT_TRUE(outcome.accepted);
    EXPECT_FALSE(outcome.fixedChanged);
    EXPECT_TRUE(prompter.Prompts().empty());
    EXPECT_EQ(settings.nTrush, kDisposeMoveToFolder);
    EXPECT_EQ(settings.strFolderEdit, "/home/ann/Keep/");  // letter case kept
    EXPECT_EQ(settings.strUnlhaEdit, "not checked for this method/");
    EXPECT_EQ(settings.strOutFolderEdit[1], "/tmp/");
    EXPECT_EQ(settings.strOutFolderEdit[5], "/tmp/");
    EXPECT_EQ(profile.StoredInt("nTrush"), 1);
    EXPECT_EQ(profile.StoredString("strFolderEdit"), "/home/ann/Keep/");
    EXPECT_EQ(profile.StoredString("strOutFolderEdit5"), "/tmp/");
    EXPECT_EQ(profile.StoredString("strWaveEdit"), "");
}

TEST_F(OptionSheetTest, FolderListChecksStopAtTheFirstBadOrDuplicateEntry) {
    const struct {
        std::array<std::string, kFolderListSize> texts;
        const char* message;
        int focused;  // entry
    } cases[] = {
        {{"/tmp/", "/nowhere/"}, kFolderMissingMessage, 1},
        {{"", "", "/tmp", "/", "/nowhere/"}, kFolderNotAllowedMessage, 3},
        {{"", "", "/tmp", "", "", "", "/tmp"}, kDuplicateFolderMessage, 6},
    };
    for (const P page : {P::AvoidFolders, P::AllFilesFolders}) {
        for (const auto& c : cases) {
            prompter = ScriptedPrompter();
            RunThenCancel([&] {
                ASSERT_TRUE(sheet.SwitchTo(page));
                for (std::size_t k = 0; k < kFolderListSize; ++k)
                    Type(page, FirstFolderEdit(page) + static_cast<int>(k), c.texts[k]);
                // No other tab, nor OK, until it is mended.
                EXPECT_FALSE(sheet.SwitchTo(P::Disposal));
                EXPECT_FALSE(sheet.SwitchTo(P::LogView));
                EXPECT_EQ(sheet.CurrentPage(), page);
            });
            EXPECT_EQ(Messages(), std::vector<std::string>(2, c.message));
            EXPECT_EQ(view.focus, (MemoryOptionSheetView::Key{page, FirstFolderEdit(page) + c.focused}));
        }
    }
}

TEST_F(OptionSheetTest, CancelRestoresFieldsOfPagesAlreadyLeftAndWritesNothing) {
    const ProfileSettings before = settings;
    const auto outcome = RunThenCancel([&] {
        ASSERT_TRUE(sheet.SwitchTo(P::AvoidFolders));
        Type(P::AvoidFolders, oc::kAvoidFolderEdit0, "/tmp/");
        ASSERT_TRUE(sheet.SwitchTo(P::Functions));
        EXPECT_EQ(settings.strOutFolderEdit[0], "/tmp/");  // leaving wrote the field at once
        Click(P::Functions, oc::kFixed);
        ASSERT_TRUE(sheet.SwitchTo(P::AllFilesFolders));
    });
    EXPECT_FALSE(outcome.accepted);
    EXPECT_EQ(settings, before);
    EXPECT_TRUE(profile.Writes().empty());
}

TEST_F(OptionSheetTest, EveryRunOpensOnTheFirstPageAndFillsPagesFromTheFields) {
    settings.strOutFolderEdit[3] = "/nowhere";  // never checked while its page is not shown
    RunThenOk([&] {
        ASSERT_TRUE(sheet.SwitchTo(P::Functions));
        Click(P::Functions, oc::kRecent);
    });
    EXPECT_TRUE(prompter.Prompts().empty());
    EXPECT_EQ(settings.strOutFolderEdit[3], "/nowhere/");
    EXPECT_EQ(settings.bRecent, 1);

    view.SetTicked(P::Functions, oc::kRecent, false);  // left over from the last run's windows
    RunThenOk([&] {
        EXPECT_EQ(sheet.CurrentPage(), P::Disposal);
        ASSERT_TRUE(sheet.SwitchTo(P::Functions));
        EXPECT_TRUE(view.IsTicked(P::Functions, oc::kRecent));
    });
    EXPECT_EQ(settings.bRecent, 1);
}

TEST_F(OptionSheetTest, OutOfRangeValuesStayUntilTheUserChangesThem) {
    settings.nTrush = 7;
    settings.bFixed = 5;
    auto outcome = RunThenOk([&] { ASSERT_TRUE(sheet.SwitchTo(P::Functions)); });
    EXPECT_TRUE(view.IsTicked(P::Functions, oc::kFixed));
    EXPECT_FALSE(outcome.fixedChanged);
    EXPECT_EQ(profile.StoredInt("nTrush"), 7);
    EXPECT_EQ(profile.StoredInt("bFixed"), 5);

    outcome = RunThenOk([&] {
        view.SetTicked(P::Disposal, oc::kMethodDelete, true);
        ASSERT_TRUE(sheet.SwitchTo(P::Functions));
        Click(P::Functions, oc::kFixed);
    });
    EXPECT_TRUE(outcome.fixedChanged);
    EXPECT_EQ(profile.StoredInt("nTrush"), 2);
    EXPECT_EQ(profile.StoredInt("bFixed"), 0);
}

TEST_F(OptionSheetTest, FunctionsPageEnablingWarningWaveAndListen) {
    RunThenOk([&] {
        ASSERT_TRUE(sheet.SwitchTo(P::Functions));
        // First start: log, hard disks only and tooltips ticked; 1010 on, the WAVE controls off.
        for (int id : {oc::kLog, oc::kFixed, oc::kToolTip})
            EXPECT_TRUE(view.IsTicked(P::Functions, id)) << id;
        EXPECT_TRUE(view.IsEnabled(P::Functions, oc::kLogUpdate));
        for (int id : {oc::kWaveEdit, oc::kWavePick, oc::kListen})
            EXPECT_FALSE(view.IsEnabled(P::Functions, id)) << id;

        Click(P::Functions, oc::kLogUpdate);
        Click(P::Functions, oc::kLog);
        sheet.OnLogClicked();
        EXPECT_FALSE(view.IsEnabled(P::Functions, oc::kLogUpdate));
        EXPECT_TRUE(view.IsTicked(P::Functions, oc::kLogUpdate));

        Click(P::Functions, oc::kReadOnlyFolder);
        sheet.OnReadOnlyFolderClicked();
        Click(P::Functions, oc::kReadOnlyFolder);
        sheet.OnReadOnlyFolderClicked();  // clearing says nothing

        Click(P::Functions, oc::kWave);
        sheet.OnWaveClicked();
        EXPECT_TRUE(view.IsEnabled(P::Functions, oc::kListen));
        view.pickAnswers = {std::string("/home/ann/Media/Ding.WAV"), std::nullopt};
        sheet.OnPickWave();
        sheet.OnPickWave();  // cancelled: the text stays
        EXPECT_EQ(view.Text(P::Functions, oc::kWaveEdit), "/home/ann/Media/Ding.WAV");
        sheet.OnListen();
    });
    EXPECT_EQ(Messages(), std::vector<std::string>{kReadOnlyFolderWarning});
    EXPECT_EQ(sound.played, std::vector<std::string>{"/home/ann/Media/Ding.WAV"});
    EXPECT_EQ(settings.bLog, 0);
    EXPECT_EQ(settings.bLogUpdate, 1);  // kept although its box was off
    EXPECT_EQ(settings.bWave, 1);
    EXPECT_EQ(settings.strWaveEdit, "/home/ann/Media/Ding.WAV");
}

TEST_F(OptionSheetTest, BrowseStartsAtTheEditsFolderAndAppliesThePagesRule) {
    RunThenOk([&] {
        view.browseAnswers = {std::string("/home/ann/Keep"), std::string("/mnt/nas")};
        sheet.OnBrowse(P::Disposal, oc::kMoveFolderBrowse);
        sheet.OnBrowse(P::Disposal, oc::kLzhFolderBrowse);
        ASSERT_TRUE(sheet.SwitchTo(P::AllFilesFolders));
        view.browseAnswers = {std::string("/"), std::string("/tmp")};
        sheet.OnBrowse(P::AllFilesFolders, oc::kFolderBrowse0 + 2);
        sheet.OnBrowse(P::AllFilesFolders, oc::kFolderBrowse0 + 7);
    });
    using Browse = std::pair<std::string, std::string>;
    EXPECT_EQ(view.browses, (std::vector<Browse>{{"特定ﾌｫﾙﾀﾞの参照", "/home/ann/Backup"},
                                                 {"圧縮ﾌｫﾙﾀﾞの参照", "/home/ann/BackupLzh"},
                                                 {"全ﾌｧｲﾙ削除ﾌｫﾙﾀﾞの参照", ""},
                                                 {"全ﾌｧｲﾙ削除ﾌｫﾙﾀﾞの参照", ""}}));
    EXPECT_EQ(Messages(), std::vector<std::string>(2, kFolderNotAllowedMessage));
    EXPECT_EQ(settings.strFolderEdit, "/home/ann/Keep/");
    EXPECT_EQ(settings.strUnlhaEdit, "/home/ann/BackupLzh/");
    EXPECT_EQ(settings.strAllFolderEdit[2], "");
    EXPECT_EQ(settings.strAllFolderEdit[7], "/tmp/");
    EXPECT_EQ(BrowseTitle(P::AvoidFolders, oc::kFolderBrowse0), "回避ﾌｫﾙﾀﾞの参照");
}

// The texts per control are checked on the real pages (tests/ui); here, which flag they follow.
TEST_F(OptionSheetTest, TooltipsFollowTheFieldOnceTheFunctionsPageIsLeft) {
    EXPECT_EQ(sheet.TooltipText(P::Functions, oc::kTemp), "/var/tmp/ﾌｫﾙﾀﾞのﾌｧｲﾙをｸﾘｱするときはﾁｪｯｸします。");
    EXPECT_EQ(sheet.TooltipText(P::AllFilesFolders, oc::kFolderBrowse0), "");
    RunThenCancel([&] {
        ASSERT_TRUE(sheet.SwitchTo(P::Functions));
        Click(P::Functions, oc::kToolTip);
        EXPECT_NE(sheet.TooltipText(P::Functions, oc::kLog), "");
        ASSERT_TRUE(sheet.SwitchTo(P::LogView));
        EXPECT_EQ(sheet.TooltipText(P::LogView, oc::kLogReset), "");
    });
    EXPECT_EQ(sheet.TooltipText(P::LogView, oc::kLogReset), "Vask.Logをﾘｾｯﾄします。");  // Cancel put it back
}

TEST_F(OptionSheetTest, LogPageShowsTheLogAndResetStaysDoneAfterCancel) {
    auto log = fs.AddFile("/cwd/Vask.Log");
    log->content = "first\r\nsecond\r\n";
    log->size = log->content.size();
    prompter.Answer(PromptAnswer::No);
    prompter.Answer(PromptAnswer::Yes);
    RunThenCancel([&] {
        EXPECT_EQ(view.logShows, 0);  // read only when its page is shown
        ASSERT_TRUE(sheet.SwitchTo(P::LogView));
        ASSERT_NE(view.log, nullptr);
        EXPECT_EQ(view.log->Count(), 2u);
        sheet.OnResetLog();
        EXPECT_NE(view.log, nullptr);
        sheet.OnResetLog();
        EXPECT_EQ(view.log, nullptr);
    });
    EXPECT_EQ(Messages(), std::vector<std::string>(2, kLogResetQuestion));
    EXPECT_EQ(prompter.Prompts()[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(prompter.Prompts()[0].icon, PromptIcon::Question);
    EXPECT_EQ(fs.Find("/cwd/Vask.Log"), nullptr);
}

}  // namespace
}  // namespace vask
