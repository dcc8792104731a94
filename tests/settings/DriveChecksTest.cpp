// Restoring the saved drive ticks against the drive list of this start.
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
#include "settings/SettingsStore.h"

namespace vask {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A drive line as the drive list builds it: the identity (serial, type) is the last 16 characters.
std::string DriveLine(const std::string& mountPoint, const std::string& serial,
                      const std::string& type = "00000003") {
    return "      " + mountPoint + " [ ] 10.0GBytes" + std::string(50, ' ') + serial + type;
}

const std::string kRoot = DriveLine("/", "1a2b3c4d");
const std::string kHome = DriveLine("/home", "0000beef");
const std::string kStick = DriveLine("/media/ann/STICK", "12345678", "00000002");
const std::string kOtherStick = DriveLine("/media/ann/STICK", "87654321", "00000002");
const std::string kData = DriveLine("/data", "00c0ffee");

class DriveChecksTest : public ::testing::Test {
  protected:
    DriveChecksTest() : store(profile, prompter, environment, dialog, settings) {}

    // Stores the lines as the last save did: tick flag followed by the item text.
    void StoreLines(const std::vector<std::pair<int, std::string>>& lines) {
        profile.SetInt("nDriveCnt", static_cast<std::int32_t>(lines.size()));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            profile.SetString("strDrive" + std::to_string(i),
                              std::to_string(lines[i].first) + lines[i].second);
        }
    }

    void ExpectEnvironmentMessage() {
        ASSERT_EQ(prompter.Prompts().size(), 1u);
        const Prompt& prompt = prompter.Prompts()[0];
        EXPECT_EQ(
            prompt.text,
            "環境が変わったかもしれません。\nもう一度削除対象のﾄﾞﾗｲﾌﾞをﾁｪｯｸし直して、検索してください。\n"
            "また、ｵﾌﾟｼｮﾝ設定の回避ﾌｫﾙﾀﾞ/全ﾌｧｲﾙ削除ﾌｫﾙﾀﾞも見直してください。");
        EXPECT_EQ(prompt.buttons, PromptButtons::Ok);
        EXPECT_EQ(EffectivePromptIcon(prompt), PromptIcon::Stop);
    }

    MemoryProfileStore profile;
    ScriptedPrompter prompter;
    MemoryEnvironment environment;
    MemoryDialogState dialog;
    ProfileSettings settings;
    SettingsStore store;
};

TEST_F(DriveChecksTest, SameDrivesGetTheirTicksBack) {
    StoreLines({{1, kRoot}, {0, kHome}, {1, kStick}});
    // Label and size may change between runs; only the identity at the end counts.
    dialog.SetDriveLines({"      / [SYSTEM] 11.0GBytes" + std::string(50, ' ') + "1a2b3c4d00000003",
                          "      /home [ ] 99.0GBytes" + std::string(50, ' ') + "0000beef00000003", kStick});
    EXPECT_FALSE(store.RestoreDriveChecks());
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(1, 0, 1));
    EXPECT_THAT(prompter.Prompts(), IsEmpty());
}

TEST_F(DriveChecksTest, SwappedDiskAtTheSamePositionUnticksEverything) {
    StoreLines({{1, kRoot}, {1, kStick}});
    dialog.SetDriveLines({kRoot, kOtherStick});
    EXPECT_TRUE(store.RestoreDriveChecks());
    ExpectEnvironmentMessage();
    // The root drive was ticked by the first, matching line before the difference was found.
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(0, 0));
}

TEST_F(DriveChecksTest, DriveInsertedBeforeAStoredOneIsAChange) {
    StoreLines({{1, kRoot}, {1, kHome}});
    dialog.SetDriveLines({kRoot, kData, kHome});
    EXPECT_TRUE(store.RestoreDriveChecks());
    ExpectEnvironmentMessage();
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(0, 0, 0));
}

TEST_F(DriveChecksTest, RemovedDriveIsAChange) {
    StoreLines({{0, kRoot}, {1, kHome}, {1, kStick}});
    dialog.SetDriveLines({kRoot, kHome});
    EXPECT_TRUE(store.RestoreDriveChecks());
    ExpectEnvironmentMessage();
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(0, 0));
}

TEST_F(DriveChecksTest, DriveAfterTheLastStoredLineStaysUnticked) {
    StoreLines({{1, kRoot}, {1, kHome}});
    dialog.SetDriveLines({kRoot, kHome, kStick});
    EXPECT_FALSE(store.RestoreDriveChecks());
    EXPECT_THAT(prompter.Prompts(), IsEmpty());
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(1, 1, 0));
}

TEST_F(DriveChecksTest, IdentityComparisonIsByteExact) {
    std::string upper = kHome;
    upper.replace(upper.size() - 16, 8, "0000BEEF");
    StoreLines({{1, kRoot}, {1, kHome}});
    dialog.SetDriveLines({kRoot, upper});
    EXPECT_TRUE(store.RestoreDriveChecks());
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(0, 0));
}

TEST_F(DriveChecksTest, ShortLinesCompareOnTheirWholeLength) {
    // "1" + "abc": the identity is "abc"; the item's last 16 characters are all of "xabc".
    StoreLines({{1, "short"}, {1, "abc"}});
    dialog.SetDriveLines({"short", "xabc"});
    EXPECT_TRUE(store.RestoreDriveChecks());
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(0, 0));

    StoreLines({{1, "short"}, {1, "0123456789abcdef"}});
    dialog.SetDriveLines({"short", "xyz0123456789abcdef"});
    EXPECT_FALSE(store.RestoreDriveChecks());
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(1, 1));
}

TEST_F(DriveChecksTest, NegativeCountReadsNoLine) {
    StoreLines({{1, kRoot}});
    profile.SetInt("nDriveCnt", -1);
    dialog.SetDriveLines({kHome});
    EXPECT_FALSE(store.RestoreDriveChecks());
    EXPECT_THAT(profile.Reads(), ElementsAre("nDriveCnt"));
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(0));
}

TEST_F(DriveChecksTest, HugeCountWithoutLinesEndsAfterTheList) {
    StoreLines({{1, kRoot}, {0, kHome}});
    profile.SetInt("nDriveCnt", std::numeric_limits<std::int32_t>::max());
    dialog.SetDriveLines({kRoot, kHome});
    EXPECT_FALSE(store.RestoreDriveChecks());
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(1, 0));
    EXPECT_LT(profile.Reads().size(), 10u);
    EXPECT_EQ(dialog.outOfRangeCalls, 0);

    // A stored line beyond the list is still a removed drive.
    profile.SetString("strDrive2", "1" + kStick);
    EXPECT_TRUE(store.RestoreDriveChecks());
}

TEST_F(DriveChecksTest, FlagOtherThanOneUnticks) {
    profile.SetInt("nDriveCnt", 3);
    profile.SetString("strDrive0", "2" + kRoot);
    profile.SetString("strDrive1", "x" + kHome);
    profile.SetString("strDrive2", "1" + kStick);
    dialog.SetDriveLines({kRoot, kHome, kStick});
    for (auto& drive : dialog.drives)
        drive.checkState = 1;
    EXPECT_FALSE(store.RestoreDriveChecks());
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(0, 0, 1));
}

TEST_F(DriveChecksTest, SavedTicksComeBackAfterSaveAndReload) {
    dialog.SetDriveLines({kRoot, kHome, kStick});
    dialog.drives[0].checkState = 1;
    dialog.drives[2].checkState = 1;
    ASSERT_TRUE(store.SaveAndReloadProfile().ok());
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(1, 0, 1));
    EXPECT_THAT(prompter.Prompts(), IsEmpty());

    // Next start: the list was filled afresh (all unticked), the ticks come from the profile.
    dialog.SetDriveLines({kRoot, kHome, kStick});
    store.LoadProfile();
    EXPECT_FALSE(store.RestoreDriveChecks());
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(1, 0, 1));

    // Hard disks only switched on since: the stick is gone from the list, so the environment changed.
    dialog.SetDriveLines({kRoot, kHome});
    EXPECT_TRUE(store.RestoreDriveChecks());
    EXPECT_THAT(dialog.DriveCheckStates(), ElementsAre(0, 0));
}

}  // namespace
}  // namespace vask
