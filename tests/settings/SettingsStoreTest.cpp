#include "settings/SettingsStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/fakes/MemoryDialogState.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryProfileStore.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "settings/DialogStateHolder.h"

namespace vask {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SettingsStoreTest : public ::testing::Test {
  protected:
    SettingsStoreTest() : store(profile, prompter, environment, dialog, settings) {
        environment.variables["HOME"] = "/home/ann";
    }

    // The history as stored: ctlFileComboCnt entries.
    std::vector<std::string> StoredHistory() const {
        std::vector<std::string> history;
        const int count = profile.StoredInt("ctlFileComboCnt").value_or(0);
        for (int i = 0; i < count; ++i) {
            history.push_back(profile.StoredString("ctlFileCombo" + std::to_string(i)).value_or("<missing>"));
        }
        return history;
    }

    void StoreHistory(const std::vector<std::string>& entries) {
        profile.SetInt("ctlFileComboCnt", static_cast<std::int32_t>(entries.size()));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            profile.SetString("ctlFileCombo" + std::to_string(i), entries[i]);
        }
    }

    MemoryProfileStore profile;
    ScriptedPrompter prompter;
    MemoryEnvironment environment;
    MemoryDialogState dialog;
    ProfileSettings settings;
    SettingsStore store;
};

TEST_F(SettingsStoreTest, FirstStartShowsDefaultsAndWritesNothing) {
    dialog.SetDriveLines(
        {"      / [root] 1.0GBytes  0000000100000003", "      /home [ ] 2.0GBytes  0000000200000003"});
    store.LoadProfile();
    EXPECT_FALSE(store.RestoreDriveChecks());

    EXPECT_EQ(dialog.patternText, "*.bak");
    EXPECT_THAT(dialog.patternItems, ElementsAre("*.bak"));
    EXPECT_EQ(dialog.lastDateCheck, 0);
    EXPECT_EQ(dialog.lastDateText, "0");
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(0, 0));
    EXPECT_THAT(prompter.Prompts(), IsEmpty());

    EXPECT_EQ(settings.strFolderEdit, "/home/ann/Backup/");
    EXPECT_EQ(settings.strUnlhaEdit, "/home/ann/BackupLzh/");
    EXPECT_EQ(settings.strOutFolderEdit[0], "/usr/");
    for (std::size_t i = 1; i < kFolderListSize; ++i)
        EXPECT_EQ(settings.strOutFolderEdit[i], "");
    for (const auto& folder : settings.strAllFolderEdit)
        EXPECT_EQ(folder, "");
    const struct {
        const char* name;
        std::int32_t value;
        std::int32_t expected;
    } options[] = {
        {"nTrush", settings.nTrush, kDisposeToTrash},
        {"bFixed", settings.bFixed, 1},
        {"bLog", settings.bLog, 1},
        {"bLogUpdate", settings.bLogUpdate, 0},
        {"bToolTip", settings.bToolTip, 1},
        {"bReadOnlyFolder", settings.bReadOnlyFolder, 0},
        {"bRecent", settings.bRecent, 0},
        {"bTemp", settings.bTemp, 0},
        {"bWave", settings.bWave, 0},
    };
    for (const auto& option : options)
        EXPECT_EQ(option.value, option.expected) << option.name;
    EXPECT_EQ(settings.strWaveEdit, "");

    EXPECT_FALSE(store.UnattendedAllowedByVersion());
    EXPECT_THAT(profile.Writes(), IsEmpty());
}

TEST_F(SettingsStoreTest, NewPatternGoesToTheTopOfTheHistory) {
    store.LoadProfile();
    dialog.patternText = "*.tmp";
    ASSERT_TRUE(store.SaveAndReloadProfile().ok());

    EXPECT_EQ(profile.StoredString("ctlFileCombo"), "*.tmp");
    EXPECT_THAT(StoredHistory(), ElementsAre("*.tmp", "*.bak"));
    EXPECT_THAT(dialog.patternItems, ElementsAre("*.tmp", "*.bak"));
    EXPECT_EQ(dialog.patternText, "*.tmp");
    EXPECT_EQ(profile.StoredString("strVersion"), "2.61");
    EXPECT_TRUE(store.UnattendedAllowedByVersion());
}

TEST_F(SettingsStoreTest, PatternDifferingOnlyInAsciiCaseKeepsTheHistory) {
    StoreHistory({"*.bak", "*.tmp"});
    store.LoadProfile();
    dialog.patternText = "*.BAK";
    profile.ClearLog();
    ASSERT_TRUE(store.SaveAndReloadProfile().ok());

    EXPECT_EQ(profile.StoredString("ctlFileCombo"), "*.BAK");
    std::vector<std::string> historyWrites;
    for (const auto& name : profile.WrittenNames()) {
        if (name.rfind("ctlFileCombo", 0) == 0) historyWrites.push_back(name);
    }
    EXPECT_THAT(historyWrites, ElementsAre("ctlFileCombo"));
    EXPECT_THAT(StoredHistory(), ElementsAre("*.bak", "*.tmp"));
    EXPECT_EQ(dialog.patternText, "*.BAK");
    EXPECT_THAT(dialog.patternItems, ElementsAre("*.bak", "*.tmp"));
}

TEST_F(SettingsStoreTest, OnlyAsciiLettersIgnoreCase) {
    EXPECT_TRUE(EqualsIgnoringAsciiCase("Ab*.TMP", "aB*.tmp"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("*.bak", "*.bak "));
    // Ä (C3 84) and ä (C3 A4): letters, but not ASCII ones.
    EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC3\x84.txt", "\xC3\xA4.txt"));
    // "@" (0x40) and "`" (0x60) sit next to the letters and must not be folded.
    EXPECT_FALSE(EqualsIgnoringAsciiCase("@", "`"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("[", "{"));

    StoreHistory({"\xC3\xA4.bak"});
    store.LoadProfile();
    dialog.patternText = "\xC3\x84.bak";
    ASSERT_TRUE(store.SaveAndReloadProfile());
    EXPECT_THAT(StoredHistory(), ElementsAre("\xC3\x84.bak", "\xC3\xA4.bak"));
}

TEST_F(SettingsStoreTest, TenthEntryDropsOutWhenANewPatternArrives) {
    std::vector<std::string> ten;
    for (int i = 0; i < HistoryLimit; ++i)
        ten.push_back("*.p" + std::to_string(i));
    StoreHistory(ten);
    store.LoadProfile();
    ASSERT_EQ(dialog.patternItems, ten);

    dialog.patternText = "*.new";
    profile.ClearLog();
    ASSERT_TRUE(store.SaveAndReloadProfile().ok());

    std::vector<std::string> expected{"*.new"};
    expected.insert(expected.end(), ten.begin(), ten.end() - 1);
    EXPECT_EQ(StoredHistory(), expected);
    EXPECT_EQ(dialog.patternItems, expected);
    EXPECT_FALSE(profile.Contains("ctlFileCombo10"));
}

TEST_F(SettingsStoreTest, ReusingAnOlderEntryDoesNotReorder) {
    StoreHistory({"*.a", "*.b", "*.c"});
    store.LoadProfile();
    dialog.patternText = "*.c";
    profile.ClearLog();
    ASSERT_TRUE(store.SaveAndReloadProfile().ok());

    EXPECT_THAT(profile.WrittenNames(), ::testing::Not(::testing::Contains("ctlFileComboCnt")));
    EXPECT_THAT(dialog.patternItems, ElementsAre("*.a", "*.b", "*.c"));
    EXPECT_EQ(dialog.patternText, "*.c");
}

TEST_F(SettingsStoreTest, WizardEmptiedListShrinksTheHistoryToTheNewText) {
    StoreHistory({"*.a", "*.b", "*.c"});
    store.LoadProfile();
    dialog.ClearPatternList();
    dialog.patternText = "*.a;*.old";
    ASSERT_TRUE(store.SaveAndReloadProfile().ok());

    EXPECT_EQ(profile.StoredInt("ctlFileComboCnt"), 1);
    EXPECT_THAT(dialog.patternItems, ElementsAre("*.a;*.old"));
    // Older values stay in the section; nothing reads past the count.
    EXPECT_EQ(profile.StoredString("ctlFileCombo1"), "*.b");
}

TEST_F(SettingsStoreTest, StoredHistoryCountOutOfRange) {
    for (int i = 0; i < 15; ++i)
        profile.SetString("ctlFileCombo" + std::to_string(i), "*." + std::to_string(i));

    profile.SetInt("ctlFileComboCnt", -4);
    store.LoadProfile();
    EXPECT_THAT(dialog.patternItems, ElementsAre("*.0"));

    profile.SetInt("ctlFileComboCnt", 0);
    store.LoadProfile();
    EXPECT_THAT(dialog.patternItems, ElementsAre("*.0"));

    profile.SetInt("ctlFileComboCnt", std::numeric_limits<std::int32_t>::max());
    store.LoadProfile();
    EXPECT_EQ(dialog.PatternItemCount(), HistoryLimit);
    EXPECT_EQ(dialog.patternItems.back(), "*.9");
    EXPECT_EQ(dialog.outOfRangeCalls, 0);
}

TEST_F(SettingsStoreTest, DayTextIsStoredAsItsLeadingDigits) {
    const std::vector<std::pair<std::string, std::int32_t>> cases{
        {"", 0},
        {"30", 30},
        {"12abc", 12},
        {"abc12", 0},
        {" 5", 0},
        {"-5", 0},
        {"007", 7},
        {"14000", 14000},
        {"2147483647", std::numeric_limits<std::int32_t>::max()},
        {"2147483648", std::numeric_limits<std::int32_t>::max()},
        {"99999999999999999999999999", std::numeric_limits<std::int32_t>::max()},
    };
    for (const auto& [text, value] : cases) {
        dialog.lastDateText = text;
        ASSERT_TRUE(store.SaveDialogProfile());
        EXPECT_EQ(profile.StoredInt("ctlLastDate"), value) << "day text \"" << text << "\"";
    }
}

TEST_F(SettingsStoreTest, DialogValuesRoundTrip) {
    dialog.lastDateCheck = 1;
    dialog.lastDateText = "45x";
    ASSERT_TRUE(store.SaveAndReloadProfile());
    EXPECT_EQ(dialog.lastDateCheck, 1);
    EXPECT_EQ(dialog.lastDateText, "45");

    // Hand-edited values are shown as stored; the search decides what to make of them.
    profile.SetInt("ctlLastDate", -3);
    profile.SetInt("ctlLastCheck", 7);
    store.LoadProfile();
    EXPECT_EQ(dialog.lastDateText, "-3");
    EXPECT_EQ(dialog.lastDateCheck, 7);
}

TEST_F(SettingsStoreTest, OptionValuesAreKeptAsStored) {
    // Every value differs from every other and from its default, so a field written under another's name,
    // read from another's name or not read at all shows.
    ProfileSettings edited;
    edited.nTrush = 7;
    edited.strFolderEdit = "/data/Keep";  // not normalised on the way in or out
    edited.strUnlhaEdit = "";
    for (std::size_t i = 0; i < kFolderListSize; ++i) {
        edited.strOutFolderEdit[i] = "/out" + std::to_string(i) + "/";
        edited.strAllFolderEdit[i] = "/all" + std::to_string(i) + "/";
    }
    edited.bFixed = 0;
    edited.bLog = -1;
    edited.bLogUpdate = 1;
    edited.bToolTip = 3;
    edited.bReadOnlyFolder = 2;
    edited.bRecent = 4;
    edited.bTemp = 5;
    edited.bWave = 6;
    edited.strWaveEdit = "/snd/\xFF.wav";
    ASSERT_TRUE(SaveOptionProfile(profile, edited).ok());

    const std::pair<const char*, std::int32_t> storedInts[] = {
        {"nTrush", 7},          {"bFixed", 0},  {"bLog", -1}, {"bLogUpdate", 1}, {"bToolTip", 3},
        {"bReadOnlyFolder", 2}, {"bRecent", 4}, {"bTemp", 5}, {"bWave", 6},
    };
    for (const auto& [name, value] : storedInts)
        EXPECT_EQ(profile.StoredInt(name), value) << name;
    const std::pair<std::string, std::string> storedStrings[] = {
        {"strFolderEdit", "/data/Keep"},
        {"strUnlhaEdit", ""},
        {"strWaveEdit", "/snd/\xFF.wav"},
    };
    for (const auto& [name, value] : storedStrings)
        EXPECT_EQ(profile.StoredString(name), value) << name;
    for (std::size_t i = 0; i < kFolderListSize; ++i) {
        EXPECT_EQ(profile.StoredString(OutFolderValueName(i)), "/out" + std::to_string(i) + "/");
        EXPECT_EQ(profile.StoredString(AllFolderValueName(i)), "/all" + std::to_string(i) + "/");
    }

    store.LoadProfile();
    EXPECT_EQ(settings, edited);
}

TEST_F(SettingsStoreTest, WritesComeInTheFixedOrder) {
    dialog.SetDriveLines({"a0000000000000003", "b0000000100000003"});
    dialog.drives[0].checkState = 1;
    dialog.drives[1].checkState = 2;  // indeterminate is not "ticked"
    dialog.patternText = "*.x";
    dialog.patternItems = {"*.bak"};
    dialog.lastDateCheck = 1;
    dialog.lastDateText = "9";
    ASSERT_TRUE(store.SaveDialogProfile().ok());
    EXPECT_THAT(profile.WrittenNames(),
                ElementsAre("nDriveCnt", "strDrive0", "strDrive1", "ctlFileCombo", "ctlFileComboCnt",
                            "ctlFileCombo0", "ctlFileCombo1", "ctlLastCheck", "ctlLastDate", "strVersion"));
    EXPECT_EQ(profile.StoredString("strDrive0"), "1a0000000000000003");
    EXPECT_EQ(profile.StoredString("strDrive1"), "0b0000000100000003");

    profile.ClearLog();
    ASSERT_TRUE(store.SaveOptionProfile().ok());
    std::vector<std::string> expected{"strFolderEdit", "strUnlhaEdit", "nTrush"};
    for (int i = 0; i < 8; ++i)
        expected.push_back("strOutFolderEdit" + std::to_string(i));
    for (int i = 0; i < 8; ++i)
        expected.push_back("strAllFolderEdit" + std::to_string(i));
    for (const char* name : {"bFixed", "bLog", "bLogUpdate", "bToolTip", "bReadOnlyFolder", "bRecent",
                             "bTemp", "bWave", "strWaveEdit"}) {
        expected.push_back(name);
    }
    EXPECT_EQ(profile.WrittenNames(), expected);

    // Loading reads the options in the same order, after the dialog values.
    profile.ClearLog();
    store.LoadProfile();
    const auto& reads = profile.Reads();
    ASSERT_GE(reads.size(), expected.size());
    EXPECT_EQ(
        std::vector<std::string>(reads.end() - static_cast<std::ptrdiff_t>(expected.size()), reads.end()),
        expected);
    EXPECT_THAT(std::vector<std::string>(reads.begin(), reads.begin() + 7),
                ElementsAre("ctlFileCombo", "ctlFileCombo0", "ctlFileComboCnt", "ctlFileCombo1",
                            "ctlFileComboCnt", "ctlLastCheck", "ctlLastDate"));
}

TEST_F(SettingsStoreTest, FailedWriteIsReportedAndNothingIsReloaded) {
    store.LoadProfile();
    dialog.patternText = "*.tmp";
    settings.bWave = 1;  // changed in memory after the options were last saved
    profile.FailWritesFrom(3);

    const Status status = store.SaveAndReloadProfile();
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.path(), "ctlFileCombo0") << "the first failed write is reported";
    // Every write was still attempted.
    const auto& writes = profile.Writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().name, "strWaveEdit");
    // The dialog and the record keep what the user had rather than the older stored values.
    EXPECT_EQ(dialog.patternText, "*.tmp");
    EXPECT_THAT(dialog.patternItems, ElementsAre("*.tmp", "*.bak"));
    EXPECT_EQ(settings.bWave, 1);

    profile.FailWritesFrom(std::nullopt);
    EXPECT_TRUE(store.SaveAndReloadProfile().ok());
    EXPECT_EQ(profile.StoredInt("bWave"), 1);
}

TEST_F(SettingsStoreTest, ASaveIsOneCommitAndAFailedCommitReloadsNothing) {
    struct Case {
        const char* name;
        bool failCommit;
    };
    for (const Case& c : {Case{"stored", false}, Case{"commit failed", true}}) {
        SCOPED_TRACE(c.name);
        profile.SetString("ctlFileCombo", "*.old");
        store.LoadProfile();
        dialog.patternText = "*.tmp";
        settings.bWave = 1;
        profile.ClearLog();
        profile.FailCommits(c.failCommit);

        const Status status = store.SaveAndReloadProfile();
        EXPECT_EQ(status.ok(), !c.failCommit);
        EXPECT_EQ(profile.Commits(), c.failCommit ? 1 : 2) << "the writes, then the reads after a success";
        EXPECT_EQ(profile.OpenBatches(), 0);
        // Every value went into the one batch around the whole save (the dialog's and the options').
        ASSERT_FALSE(profile.Writes().empty());
        for (const auto& write : profile.Writes())
            EXPECT_GE(write.batchDepth, 1) << write.name;
        EXPECT_EQ(profile.Writes().back().name, "strWaveEdit");
        if (c.failCommit) {
            // Not reloaded: no read after the writes, and the dialog keeps what the user typed.
            EXPECT_THAT(profile.Reads(), IsEmpty());
            EXPECT_EQ(dialog.patternText, "*.tmp");
        } else {
            EXPECT_FALSE(profile.Reads().empty());
            EXPECT_EQ(dialog.patternText, "*.tmp");
        }
        EXPECT_EQ(settings.bWave, 1);
        profile.FailCommits(false);
    }
}

TEST_F(SettingsStoreTest, VersionGateComparesBytes) {
    const std::vector<std::pair<std::string, bool>> cases{
        {"0.00", false}, {"", false},     {"1.99", false}, {"2.00", true},
        {"2.61", true},  {"2.00a", true}, {"\xFF", true},
    };
    for (const auto& [version, allowed] : cases) {
        profile.SetString("strVersion", version);
        EXPECT_EQ(store.UnattendedAllowedByVersion(), allowed) << "strVersion \"" << version << "\"";
    }
}

}  // namespace
}  // namespace vask
