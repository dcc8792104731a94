// The settings store: loads and saves the option values (ProfileSettings) and the dialog-state values (the
// contents of the main dialog's pattern box, drive list, check box 1066 and day edit 1067) in the profile
// section, and restores the saved drive ticks with the drive-environment check.
//
// Stored value names: see ProfileSettings.h for the options; the dialog state is ctlFileCombo (pattern
// text), ctlFileComboCnt and ctlFileCombo0..9 (history, newest first), ctlLastCheck, ctlLastDate, nDriveCnt
// and strDrive0.. (tick flag "1"/"0" followed by the drive line), strVersion.
//
// Settings are written only after a completed search, after a completed delete command (both through
// SaveAndReloadProfile) and when the options sheet is closed with OK (SaveOptionProfile). Nothing here
// throws; the saves report the first failed write as a Status, and callers may ignore it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Status.h"
#include "settings/ProfileSettings.h"

namespace vask {

class DialogStateHolder;
class Environment;
class ProfileStore;
class Prompter;

// Shown with the stop icon when the saved drive ticks no longer fit the drive list.
inline constexpr const char* kDriveEnvironmentChangedMessage =
    "環境が変わったかもしれません。\n"
    "もう一度削除対象のﾄﾞﾗｲﾌﾞをﾁｪｯｸし直して、検索してください。\n"
    "また、ｵﾌﾟｼｮﾝ設定の回避ﾌｫﾙﾀﾞ/全ﾌｧｲﾙ削除ﾌｫﾙﾀﾞも見直してください。";
// Shown by the unattended run when UnattendedAllowedByVersion is false.
inline constexpr const char* kFirstStartUnattendedMessage =
    "初回起動ではｻｲﾚﾝﾄﾓｰﾄﾞ実行出来ません。\n一度、検索してください。";

// Reads every option value into settings, each with its default (the derived folders are computed from the
// environment now). Values are taken as stored: nothing is normalised, limited or trimmed.
void LoadOptionProfile(ProfileStore& store, Environment& environment, ProfileSettings& settings);
// Writes every option value as it is, in the fixed order of the record, in one batch of the store. All
// writes are attempted; the result is the first failure, or Ok.
Status SaveOptionProfile(ProfileStore& store, const ProfileSettings& settings);

// The version gate of the unattended run: false while the stored strVersion (default "0.00") compares
// below "2.00" byte for byte, that is until an interactive search or delete has saved the dialog state.
bool UnattendedAllowedByVersion(ProfileStore& store);

// The day count stored for a day text: the value of its leading decimal digits, 0 when it does not start
// with a digit, and 2147483647 for a digit run beyond the 32-bit range (saturated, never wrapped).
std::int32_t DayTextValue(std::string_view text);

// The identity part of a drive line: its last DriveSignatureLength bytes, or all of it when shorter.
std::string_view DriveSignature(std::string_view line);

// The store operations of the main dialog. The store keeps references only: the profile, the prompter, the
// environment, the dialog holder and the settings record must outlive it. Single-threaded, like the
// dialog it serves.
class SettingsStore {
  public:
    SettingsStore(ProfileStore& store, Prompter& prompter, Environment& environment,
                  DialogStateHolder& dialog, ProfileSettings& settings);

    // Accessors of the section "Profile": the stored value or the default (missing, unreadable or of the
    // wrong kind); writes return the port's Status.
    std::int32_t ProfileReadInt(const std::string& name, std::int32_t defaultValue);
    std::string ProfileReadString(const std::string& name, const std::string& defaultValue);
    Status ProfileWriteInt(const std::string& name, std::int32_t value);
    Status ProfileWriteString(const std::string& name, const std::string& value);

    // Fills the pattern box (edit text, then the history list; entry 0 is always present), check box 1066,
    // edit 1067 (the stored day count printed as a decimal) and the settings record. A stored history count
    // that is negative reads no history beyond entry 0; one above HistoryLimit reads HistoryLimit entries.
    void LoadProfile();

    // Writes the drive lines with their ticks, the pattern text, the history (only when the text is not yet
    // in the pattern box list, ignoring ASCII letter case: it is then inserted into the list at the top and
    // at most HistoryLimit entries are stored), the check box, the day count (DayTextValue) and the version.
    // All writes are attempted, in one batch of the store; the result is the first failure, or Ok.
    Status SaveDialogProfile();

    // SaveOptionProfile of the record held by this store.
    Status SaveOptionProfile();

    // SaveDialogProfile and SaveOptionProfile in one batch of the store (one write of the file, done when
    // this returns), then LoadProfile and RestoreDriveChecks so the dialog shows what was stored. When a
    // write failed, nothing is reloaded: the dialog and the record keep what the user had instead of going
    // back to the older stored values. Returns the first write failure, or Ok.
    Status SaveAndReloadProfile();

    // Sets the drive ticks from the stored drive lines, comparing each stored line's identity
    // (DriveSignature, byte for byte) with that of the drive item at the same position. At the first
    // difference it shows kDriveEnvironmentChangedMessage (stop icon, OK), unticks every drive item, and
    // returns true. Returns false when every stored line fitted; drives listed after the stored ones stay
    // unticked. A negative stored count reads no line.
    bool RestoreDriveChecks();

    // UnattendedAllowedByVersion of this store's profile.
    bool UnattendedAllowedByVersion();

  private:
    int StoredHistoryCount();

    ProfileStore& store_;
    Prompter& prompter_;
    Environment& environment_;
    DialogStateHolder& dialog_;
    ProfileSettings& settings_;
};

}  // namespace vask
