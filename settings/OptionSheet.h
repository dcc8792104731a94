// The options sheet's flow: one modal run over the five pages, editing ProfileSettings in place.
//
// Run copies every option field, opens on the disposal page and lets the view run. A page is filled from the
// fields the first time it is shown in a run; a page never shown leaves its fields alone. Leaving a page (a
// tab switch or OK) copies its controls into the fields and runs its check; a refusal keeps the page, with
// the offending edit focused and selected. OK normalises the eighteen folder fields and stores the options;
// Cancel (or the close box) puts every field back, those of pages already left included. Removing the log
// on the log page is not undone by Cancel.
//
// On/off fields and the method are taken from the controls only when the user changed them: a stored value
// outside the range (nTrush 7, bFixed 5) is shown as no radio selected or as a ticked box and is kept as it
// is until the user picks something else.
//
// Single-threaded: the view calls the On* handlers from inside RunModal.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "platform/Status.h"
#include "settings/FolderRules.h"
#include "settings/OptionSheetView.h"
#include "settings/ProfileSettings.h"

namespace vask {

class Environment;
class FileSystem;
class LogLines;
class ProfileStore;
class Prompter;
class SoundPlayer;
class VolumeSource;

inline constexpr const char* kReadOnlyFolderWarning =
    "このｵﾌﾟｼｮﾝはあまりお勧めしません。\nご自身の責任においてご使用ください。";
inline constexpr const char* kLogResetQuestion = "本当にﾘｾｯﾄしてもよろしいですか?";
// The sheet's title, and the filters of the WAVE picker.
inline constexpr const char* kOptionSheetCaption = "ｵﾌﾟｼｮﾝ設定";
inline constexpr const char* kSoundFileFilter = "ｻｳﾝﾄﾞ (*.wav)";
inline constexpr const char* kAllFilesFileFilter = "すべてのﾌｧｲﾙ (*.*)";

// The ports of the sheet. All must outlive it.
struct OptionSheetPorts {
    OptionSheetView& view;
    Prompter& prompter;
    FileSystem& fileSystem;
    VolumeSource& volumes;
    Environment& environment;
    SoundPlayer& sound;
    ProfileStore& profile;
};

struct OptionSheetOutcome {
    bool accepted = false;      // closed with OK
    bool fixedChanged = false;  // OK, and bFixed differs from its value before the run
    Status saved;               // the store's answer to the save on OK (a failure is not shown)
};

class OptionSheet {
  public:
    // settings must outlive the sheet.
    OptionSheet(OptionSheetPorts ports, ProfileSettings& settings);

    // One modal run of the sheet (the options button).
    OptionSheetOutcome Run();

    // --- called by the view during the run ---

    // A tab was chosen: leaves the current page (false when it refuses: the tab stays), then shows page.
    bool SwitchTo(OptionPage page);
    // OK: leaves the current page; false keeps the sheet open.
    bool OnOk();
    OptionPage CurrentPage() const { return current_; }

    // Disposal page: a method radio button was clicked.
    void OnMethodClicked();
    // A browse button: 1069 or 1070 on the disposal page, 1071 + k on the folder-list pages.
    void OnBrowse(OptionPage page, int buttonId);
    // Functions page.
    void OnLogClicked();
    void OnWaveClicked();
    void OnReadOnlyFolderClicked();
    void OnPickWave();
    void OnListen();
    // Log page: asks, then removes the log and empties the list.
    void OnResetLog();

    // The tooltip of a control of a page, or "" for none (bToolTip off, or a control without one). The flag
    // is the field's: a change on the functions page counts once that page has been left.
    std::string TooltipText(OptionPage page, int id) const;

  private:
    void ShowPage(OptionPage page);
    bool LeavePage(OptionPage page);
    void FillDisposalPage();
    void FillFolderPage(OptionPage page);
    void FillFunctionsPage();
    bool LeaveDisposalPage();
    bool LeaveFolderPage(OptionPage page);
    void LeaveFunctionsPage();
    void ApplyMethodEnabling(int method);
    std::array<std::string, kFolderListSize>& FolderField(OptionPage page);
    void Tell(const char* text);

    OptionSheetPorts ports_;
    ProfileSettings& settings_;
    FolderRules rules_;
    std::array<bool, kOptionPageCount> shown_{};
    OptionPage current_ = OptionPage::Disposal;
};

// First edit identifier of a folder-list page (1100 avoid, 1079 all-files-delete).
int FirstFolderEdit(OptionPage page);
// The browser title of a browse button of a page, or "" for none.
std::string BrowseTitle(OptionPage page, int buttonId);
// The WAVE picker's choice as edit 1038 shows it: as chosen where file names keep their case, lower-cased
// (single-byte letters only) where the platform ignores case.
std::string WavePathForEdit(std::string path);

}  // namespace vask
