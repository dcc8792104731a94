// The main window's behaviour, without widgets: start-up, the search command and its abort, the age check
// box, the selection summary, the viewer, the recycle-bin, version and help buttons, and the tooltip texts.
// The window (app/ui) forwards each user action to one call here and shows what the view is told.
//
// Single-threaded. During a search the walker pumps window events through MainView::PumpMessages, so
// OnAbort and the tooltip requests can run while OnSearch is still on the stack; everything else is kept
// out by the control states (IsSearching says so; the window refuses to close meanwhile).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/core/MainView.h"
#include "disposal/DeleteCommand.h"
#include "disposal/FileOperation.h"
#include "platform/ArchiverLibrary.h"
#include "platform/Clock.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Launcher.h"
#include "platform/ProfileStore.h"
#include "platform/Prompter.h"
#include "platform/SoundPlayer.h"
#include "platform/Volumes.h"
#include "search/FolderWalker.h"
#include "settings/OptionSheet.h"
#include "settings/ProfileSettings.h"
#include "settings/SettingsStore.h"

namespace vask {

// The ports the main window's behaviour runs on. All must outlive the controller.
struct MainDialogPorts {
    MainView& view;
    Prompter& prompter;
    Clock& clock;
    FileSystem& fileSystem;
    Environment& environment;
    VolumeSource& volumes;
    Launcher& launcher;
    ProfileStore& profile;
};

inline constexpr const char* kInitialStatusText =
    "まずﾄﾞﾗｲﾌﾞをﾁｪｯｸして検索してください。削除ﾌｧｲﾙの入力は慎重に...";
inline constexpr const char* kVersionMessage = "不要ファイル削除ツール Vask ver 2.61";
inline constexpr int kMaxAgeDays = 14000;
inline constexpr const char* kDrivesResetMessage =
    "削除対象のﾄﾞﾗｲﾌﾞをﾘｾｯﾄしました。\nもう一度削除対象のﾄﾞﾗｲﾌﾞをﾁｪｯｸし直してください。";

// The pieces of a pattern text: split at ";", empty pieces dropped, nothing trimmed.
std::vector<std::string> SplitPatternText(const std::string& text);

class MainDialogController {
  public:
    explicit MainDialogController(MainDialogPorts ports);

    // The start-up of the dialog: LoadProfile, FillDriveList, OnLastDateCheck, RestoreDriveChecks, in this
    // order. Returns RestoreDriveChecks' answer (true: the drive environment changed).
    bool Start();

    // The ports of the delete command; Delete does nothing until they are attached. They must outlive the
    // controller.
    void AttachDisposal(FileOperationUi& operationUi, ArchiverLoader& archiver, SoundPlayer& sound);

    // The window of the options sheet, the message boxes shown over it and the sound its listen button
    // plays through; button 1001 does nothing until they are attached. All must outlive the controller.
    // Returns the sheet's flow, which the window forwards its actions to.
    OptionSheet& AttachOptionSheet(OptionSheetView& sheetView, Prompter& sheetPrompter, SoundPlayer& sound);
    // Options button 1001: runs the sheet; when OK changed bFixed, the drive list is filled again with
    // nothing ticked, the results are emptied, Delete is disabled and kDrivesResetMessage is shown.
    void OnOptionButton();

    // Search button 1029.
    void OnSearch();
    // Delete button 1000 (and the end of an unattended run, with bSilent set). Refused (nothing done) while
    // a search runs or before AttachDisposal.
    DeleteOutcome OnDelete();
    // The forced stop of an unattended run: a search in progress ends at its next entry as if aborted, a
    // later search stops at once, and the delete command disposes of nothing more. Nothing undoes it.
    void RequestStop();
    bool StopRequested() const { return stopRequested_; }
    // Splits the pattern box text into listPattern, asks once when a piece is "*.*" (No empties the list),
    // and returns the number of patterns. A piece that cannot name a file in a folder (holds "/", or is "."
    // or "..") makes the whole text unusable: the list is emptied and 0 returned.
    int ParsePatternText();
    // Walks the sources; returns the number of results, or -1 when aborted.
    int RunSearch();
    void DisableControlsForSearch();
    void EnableControlsAfterSearch();
    // Abort button 1022: asks, and on Yes sets bAbort.
    void OnAbort();
    // Check box 1066: enables or disables the day edit and its spin.
    void OnLastDateCheck();

    // The result list's selection changed (a click on an item).
    void UpdateSelectionSummary();
    // Number of results whose check state is not 0.
    int CountTickedItems() const;
    // Double click or right click on the result list.
    void OpenInViewer();
    // Buttons 1044, 1017 and 57670.
    void OnRecycleBin();
    void OnVersion();
    void OnHelp();

    // The tooltip of a control, or "" for none (bToolTip off, or a control without one).
    std::string TooltipText(int controlId) const;

    // True from the start of RunSearch to its end: Cancel, Escape and closing are refused.
    bool IsSearching() const { return searching_; }

    // Started for an unattended run: the delete command asks no move confirmation and logs "Silent".
    bool bSilent = false;

    // The ports it was made with (the windows it opens use the same ones).
    const MainDialogPorts& Ports() const { return ports_; }
    SearchState& State() { return state_; }
    const SearchState& State() const { return state_; }
    ProfileSettings& Settings() { return settings_; }
    SettingsStore& Store() { return store_; }
    // Rebuilds the drive list (start-up, and the options sheet when bFixed changed).
    void FillDriveList();

  private:
    WalkerSettings MakeWalkerSettings() const;
    // Empties the result list and the running total, and tells the view.
    void ClearResults();

    MainDialogPorts ports_;
    ProfileSettings settings_;
    SettingsStore store_;
    SearchState state_;
    bool searching_ = false;
    bool stopRequested_ = false;
    std::unique_ptr<DeleteCommand> deleteCommand_;
    std::unique_ptr<OptionSheet> optionSheet_;
};

}  // namespace vask
