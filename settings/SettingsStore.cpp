#include "settings/SettingsStore.h"

#include <algorithm>
#include <limits>

#include "platform/Environment.h"
#include "platform/ProfileStore.h"
#include "platform/Prompter.h"
#include "settings/DialogStateHolder.h"

namespace vask {

namespace {

constexpr const char* kDefaultPattern = "*.bak";

std::string IndexedName(const char* base, int index) {
    return base + std::to_string(index);
}

// Keeps the first failure of a series of writes; every write of the series is still attempted, because a
// profile that refused one value may take the next.
class FirstFailure {
  public:
    void Note(const Status& status) {
        if (status_.ok() && !status.ok()) status_ = status;
    }
    const Status& status() const { return status_; }

  private:
    Status status_;
};

}  // namespace

void LoadOptionProfile(ProfileStore& store, Environment& environment, ProfileSettings& settings) {
    const ProfileSettings defaults = DefaultProfileSettings(environment);
    settings.strFolderEdit = store.ReadString("strFolderEdit", defaults.strFolderEdit);
    settings.strUnlhaEdit = store.ReadString("strUnlhaEdit", defaults.strUnlhaEdit);
    settings.nTrush = store.ReadInt("nTrush", defaults.nTrush);
    for (std::size_t i = 0; i < kFolderListSize; ++i) {
        settings.strOutFolderEdit[i] = store.ReadString(OutFolderValueName(i), defaults.strOutFolderEdit[i]);
    }
    for (std::size_t i = 0; i < kFolderListSize; ++i) {
        settings.strAllFolderEdit[i] = store.ReadString(AllFolderValueName(i), defaults.strAllFolderEdit[i]);
    }
    settings.bFixed = store.ReadInt("bFixed", defaults.bFixed);
    settings.bLog = store.ReadInt("bLog", defaults.bLog);
    settings.bLogUpdate = store.ReadInt("bLogUpdate", defaults.bLogUpdate);
    settings.bToolTip = store.ReadInt("bToolTip", defaults.bToolTip);
    settings.bReadOnlyFolder = store.ReadInt("bReadOnlyFolder", defaults.bReadOnlyFolder);
    settings.bRecent = store.ReadInt("bRecent", defaults.bRecent);
    settings.bTemp = store.ReadInt("bTemp", defaults.bTemp);
    settings.bWave = store.ReadInt("bWave", defaults.bWave);
    settings.strWaveEdit = store.ReadString("strWaveEdit", defaults.strWaveEdit);
}

Status SaveOptionProfile(ProfileStore& store, const ProfileSettings& settings) {
    FirstFailure result;
    store.BeginBatch();
    result.Note(store.WriteString("strFolderEdit", settings.strFolderEdit));
    result.Note(store.WriteString("strUnlhaEdit", settings.strUnlhaEdit));
    result.Note(store.WriteInt("nTrush", settings.nTrush));
    for (std::size_t i = 0; i < kFolderListSize; ++i) {
        result.Note(store.WriteString(OutFolderValueName(i), settings.strOutFolderEdit[i]));
    }
    for (std::size_t i = 0; i < kFolderListSize; ++i) {
        result.Note(store.WriteString(AllFolderValueName(i), settings.strAllFolderEdit[i]));
    }
    result.Note(store.WriteInt("bFixed", settings.bFixed));
    result.Note(store.WriteInt("bLog", settings.bLog));
    result.Note(store.WriteInt("bLogUpdate", settings.bLogUpdate));
    result.Note(store.WriteInt("bToolTip", settings.bToolTip));
    result.Note(store.WriteInt("bReadOnlyFolder", settings.bReadOnlyFolder));
    result.Note(store.WriteInt("bRecent", settings.bRecent));
    result.Note(store.WriteInt("bTemp", settings.bTemp));
    result.Note(store.WriteInt("bWave", settings.bWave));
    result.Note(store.WriteString("strWaveEdit", settings.strWaveEdit));
    result.Note(store.CommitBatch());
    return result.status();
}

bool UnattendedAllowedByVersion(ProfileStore& store) {
    // std::string compares its bytes as unsigned char, which is the plain byte comparison wanted here.
    return !(store.ReadString("strVersion", kNoVersionText) < std::string(kUnattendedMinimumVersion));
}

std::int32_t DayTextValue(std::string_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        // Saturating keeps an over-long run of digits defined (the platform's atoi saturated too); any such
        // value is far above the day limit, which rejects it.
        value = std::min(kMax, value * 10 + (c - '0'));
    }
    return static_cast<std::int32_t>(value);
}

std::string_view DriveSignature(std::string_view line) {
    return line.size() <= DriveSignatureLength ? line : line.substr(line.size() - DriveSignatureLength);
}

SettingsStore::SettingsStore(ProfileStore& store, Prompter& prompter, Environment& environment,
                             DialogStateHolder& dialog, ProfileSettings& settings)
    : store_(store), prompter_(prompter), environment_(environment), dialog_(dialog), settings_(settings) {}

std::int32_t SettingsStore::ProfileReadInt(const std::string& name, std::int32_t defaultValue) {
    return store_.ReadInt(name, defaultValue);
}

std::string SettingsStore::ProfileReadString(const std::string& name, const std::string& defaultValue) {
    return store_.ReadString(name, defaultValue);
}

Status SettingsStore::ProfileWriteInt(const std::string& name, std::int32_t value) {
    return store_.WriteInt(name, value);
}

Status SettingsStore::ProfileWriteString(const std::string& name, const std::string& value) {
    return store_.WriteString(name, value);
}

// Vask never stores more than HistoryLimit entries; a larger count comes from a hand-edited file, and
// taking it literally would insert up to two thousand million items into the pattern box.
int SettingsStore::StoredHistoryCount() {
    return std::min(ProfileReadInt("ctlFileComboCnt", 0), HistoryLimit);
}

void SettingsStore::LoadProfile() {
    dialog_.ClearPatternList();
    dialog_.SetPatternText(ProfileReadString("ctlFileCombo", kDefaultPattern));
    dialog_.InsertPatternItem(0, ProfileReadString("ctlFileCombo0", kDefaultPattern));
    // The count is read again at every step, as the history loop always did; a negative count ends it at
    // once, leaving entry 0 only.
    for (int i = 1; i < StoredHistoryCount(); ++i) {
        dialog_.InsertPatternItem(i, ProfileReadString(IndexedName("ctlFileCombo", i), ""));
    }
    dialog_.SetLastDateCheck(ProfileReadInt("ctlLastCheck", 0));
    dialog_.SetLastDateText(std::to_string(ProfileReadInt("ctlLastDate", 0)));
    LoadOptionProfile(store_, environment_, settings_);
}

Status SettingsStore::SaveDialogProfile() {
    FirstFailure result;
    store_.BeginBatch();

    const int driveCount = dialog_.DriveItemCount();
    result.Note(ProfileWriteInt("nDriveCnt", driveCount));
    for (int i = 0; i < driveCount; ++i) {
        const char* flag = dialog_.DriveCheckState(i) == 1 ? "1" : "0";
        result.Note(ProfileWriteString(IndexedName("strDrive", i), flag + dialog_.DriveItemText(i)));
    }

    const std::string pattern = dialog_.PatternText();
    result.Note(ProfileWriteString("ctlFileCombo", pattern));
    // A text already in the history (ignoring ASCII case) leaves the history as it is, in its order.
    if (dialog_.FindPatternItem(pattern) < 0) {
        dialog_.InsertPatternItem(0, pattern);
        const int count = std::min(dialog_.PatternItemCount(), HistoryLimit);
        result.Note(ProfileWriteInt("ctlFileComboCnt", count));
        for (int i = 0; i < count; ++i) {
            result.Note(ProfileWriteString(IndexedName("ctlFileCombo", i), dialog_.PatternItemText(i)));
        }
    }

    result.Note(ProfileWriteInt("ctlLastCheck", dialog_.LastDateCheck()));
    result.Note(ProfileWriteInt("ctlLastDate", DayTextValue(dialog_.LastDateText())));
    result.Note(ProfileWriteString("strVersion", kVersionText));
    result.Note(store_.CommitBatch());
    return result.status();
}

Status SettingsStore::SaveOptionProfile() {
    return vask::SaveOptionProfile(store_, settings_);
}

Status SettingsStore::SaveAndReloadProfile() {
    // One write of the file for the whole profile: a file store rewrites the file and waits for the disk at
    // every commit, which per value cost more than the search it follows. The commit returns only when the
    // file holds everything, so nothing that is disposed of later can outrun it.
    FirstFailure result;
    store_.BeginBatch();
    result.Note(SaveDialogProfile());
    result.Note(SaveOptionProfile());
    result.Note(store_.CommitBatch());
    // Reloading after a failed write would put older stored values back into the dialog and the record:
    // the pattern just typed, the ticks and options the user set would silently revert.
    if (!result.status().ok()) return result.status();
    // The reads come from one view of the file rather than a look at the file per value.
    store_.BeginBatch();
    LoadProfile();
    RestoreDriveChecks();
    (void)store_.CommitBatch();  // nothing written: nothing to fail
    return result.status();
}

bool SettingsStore::RestoreDriveChecks() {
    for (int i = 0; i < ProfileReadInt("nDriveCnt", 0); ++i) {
        const std::string line = ProfileReadString(IndexedName("strDrive", i), "");
        const std::string_view flag = std::string_view(line).substr(0, 1);
        const std::string_view rest = line.empty() ? std::string_view() : std::string_view(line).substr(1);
        const bool listed = i < dialog_.DriveItemCount();
        const std::string itemText = listed ? dialog_.DriveItemText(i) : std::string();

        if (DriveSignature(rest) == DriveSignature(itemText)) {
            // Past the end of the list an empty line matches the missing item and there is nothing to tick.
            // Vask writes no empty lines, so this is a hand-edited count; stopping here keeps a count of two
            // thousand million from turning into as many reads.
            if (!listed) return false;
            // A stored flag is "1" or "0"; anything else unticks rather than passing an invalid state on.
            dialog_.SetDriveCheckState(i, flag == "1" ? 1 : 0);
            continue;
        }

        Prompt prompt;
        prompt.text = kDriveEnvironmentChangedMessage;
        prompt.buttons = PromptButtons::Ok;
        prompt.icon = PromptIcon::Stop;
        prompter_.Ask(prompt);
        const int count = dialog_.DriveItemCount();
        for (int j = 0; j < count; ++j)
            dialog_.SetDriveCheckState(j, 0);
        return true;
    }
    return false;
}

bool SettingsStore::UnattendedAllowedByVersion() {
    return vask::UnattendedAllowedByVersion(store_);
}

}  // namespace vask
