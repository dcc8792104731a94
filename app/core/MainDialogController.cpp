#include "app/core/MainDialogController.h"

#include "disposal/RunJournalWriter.h"
#include "search/DriveList.h"
#include "search/SizeText.h"
#include "search/Wildcard.h"
#include "settings/FolderPath.h"

namespace vask {

namespace {

constexpr const char* kAllFilesQuestion = "削除ﾌｧｲﾙに*.*が設定されています。\n本当によろしいですか?";
constexpr const char* kAgeTooLargeMessage = "最終更新日が大きすぎます。";
constexpr const char* kAbortQuestion = "検索を中止してよろしいですか?";
constexpr const char* kNothingFoundText = "該当ﾌｧｲﾙが見つかりません。";
constexpr const char* kRecycleBinError = "ごみ箱起動ｴﾗｰ";
constexpr const char* kHelpError = "ﾍﾙﾌﾟを表示できません。";

// Controls that could start or change work: off while a search runs (Abort is the opposite).
constexpr int kControlsOffWhileSearching[] = {
    control::kDriveList, control::kPatternBox, control::kWizard,  control::kLastDateCheck,
    control::kDayEdit,   control::kDaySpin,    control::kOptions, control::kRecycleBin,
    control::kVersion,   control::kResultList, control::kSearch,  control::kCancel,
};

struct TooltipEntry {
    int id;
    const char* text;
};
constexpr TooltipEntry kTooltips[] = {
    {control::kDriveList, "左側のﾁｪｯｸﾎﾞｯｸｽをﾁｪｯｸすると削除対象になります。"},
    {control::kPatternBox, "右側の削除ﾌｧｲﾙWizardﾎﾞﾀﾝをｸﾘｯｸすると入力が簡単にできます。"},
    {control::kWizard, "削除ﾌｧｲﾙの入力が簡単にできます。"},
    {control::kLastDateCheck, "最終更新日を削除対象条件に加えます。"},
    {control::kDayEdit, "何日前から更新していないかを入力します。"},
    {control::kOptions, "各種ｵﾌﾟｼｮﾝ設定や削除ﾛｸﾞの表示ができます。"},
    {control::kRecycleBin, "ごみ箱の内容が確認できます。"},
    {control::kVersion, "ﾊﾞｰｼﾞｮﾝ情報や各種情報が確認できます。"},
    {control::kHelp, "ﾍﾙﾌﾟです;"},
    {control::kSearch, "削除を伴わない検索だけですので、安心して操作してください。"},
    {control::kDelete, "検索結果のﾌｧｲﾙを削除します。"},
    {control::kAbort, "検索を中止させます。"},
    {control::kCancel, "Vaskを終了させます。"},
};
constexpr const char* kResultListTickedTooltip =
    "削除しないﾌｧｲﾙはﾁｪｯｸをはずしてください。また、ﾀﾞﾌﾞﾙｸﾘｯｸで内容が確認できます。";

void Tell(Prompter& prompter, const char* text, PromptIcon icon = PromptIcon::Exclamation) {
    prompter.Ask(Prompt{text, "", PromptButtons::Ok, icon});
}

}  // namespace

std::vector<std::string> SplitPatternText(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

MainDialogController::MainDialogController(MainDialogPorts ports)
    : ports_(ports), store_(ports.profile, ports.prompter, ports.environment, ports.view, settings_) {}

bool MainDialogController::Start() {
    store_.LoadProfile();
    FillDriveList();
    OnLastDateCheck();
    return store_.RestoreDriveChecks();
}

void MainDialogController::FillDriveList() {
    vask::FillDriveList(ports_.view, ports_.volumes, settings_.bFixed != 0);
}

void MainDialogController::AttachDisposal(FileOperationUi& operationUi, ArchiverLoader& archiver,
                                          SoundPlayer& sound) {
    deleteCommand_ =
        std::make_unique<DeleteCommand>(DeleteCommandPorts{ports_.view, ports_.prompter, ports_.fileSystem,
                                                           operationUi, archiver, sound, ports_.clock},
                                        state_, settings_, store_, [this] { return ParsePatternText(); });
    deleteCommand_->SetStopCheck([this] { return stopRequested_; });
    deleteCommand_->SetRunJournalFolder(RunJournalFolder(ports_.environment));
}

OptionSheet& MainDialogController::AttachOptionSheet(OptionSheetView& sheetView, Prompter& sheetPrompter,
                                                     SoundPlayer& sound) {
    optionSheet_ = std::make_unique<OptionSheet>(
        OptionSheetPorts{sheetView, sheetPrompter, ports_.fileSystem, ports_.volumes, ports_.environment,
                         sound, ports_.profile},
        settings_);
    return *optionSheet_;
}

void MainDialogController::OnOptionButton() {
    if (searching_ || !optionSheet_) return;
    if (!optionSheet_->Run().fixedChanged) return;
    // The drive list now shows other drives: ticks and results of the old list would no longer fit it.
    FillDriveList();
    ClearResults();
    ports_.view.SetControlEnabled(control::kDelete, false);
    Tell(ports_.prompter, kDrivesResetMessage);
}

DeleteOutcome MainDialogController::OnDelete() {
    if (searching_ || !deleteCommand_) return DeleteOutcome::Refused;
    return deleteCommand_->OnDelete(bSilent);
}

void MainDialogController::RequestStop() {
    stopRequested_ = true;
    state_.bAbort = true;
}

void MainDialogController::ClearResults() {
    state_.results.Clear();
    state_.sizeFoundTotal = 0;
    ports_.view.ResultsChanged();
}

int MainDialogController::ParsePatternText() {
    state_.listPattern = SplitPatternText(ports_.view.PatternText());
    // A piece that names something outside the folder ("../x", "/etc/passwd", "..") is no file pattern: the
    // text as a whole is refused rather than searched in part.
    for (const std::string& piece : state_.listPattern) {
        if (!IsUsableFilePattern(piece)) {
            state_.listPattern.clear();
            return 0;
        }
    }
    for (const std::string& piece : state_.listPattern) {
        if (piece == "*.*") {
            const PromptAnswer answer = ports_.prompter.Ask(
                Prompt{kAllFilesQuestion, "", PromptButtons::YesNo, PromptIcon::Question});
            if (answer != PromptAnswer::Yes) state_.listPattern.clear();
            break;
        }
    }
    return static_cast<int>(state_.listPattern.size());
}

void MainDialogController::OnSearch() {
    if (searching_) return;  // a second search cannot start inside the first
    state_.timeSearch = ports_.clock.NowSeconds();
    if (ports_.clock.LocalSecondOfMinute(state_.timeSearch) % 2 != 0) ++state_.timeSearch;

    if (ParsePatternText() <= 0) {
        Tell(ports_.prompter, kBadPatternMessage);
        ports_.view.SetFocusTo(control::kPatternBox);
        ClearResults();
        ports_.view.SetControlEnabled(control::kDelete, false);
        return;
    }
    state_.ageCheck = ports_.view.LastDateCheck() != 0;
    state_.ageDays = state_.ageCheck ? ParseLeadingDecimal(ports_.view.LastDateText()) : 0;
    if (state_.ageCheck && state_.ageDays > kMaxAgeDays) {
        Tell(ports_.prompter, kAgeTooLargeMessage);
        ports_.view.SetFocusTo(control::kPatternBox);
        return;
    }

    ports_.view.SetControlEnabled(control::kDelete, false);
    state_.sizeFoundTotal = 0;
    const int found = RunSearch();
    if (found > 0) {
        UpdateSelectionSummary();
        ports_.view.SetControlEnabled(control::kDelete, true);
    } else if (found == 0) {
        ports_.view.ShowStatusText(kNothingFoundText);
    } else {
        ports_.view.ShowStatusText(kAbortedText);
        ClearResults();
        return;
    }
    // Only a search that ran to its end stores what it searched for: the unattended run repeats it.
    // A profile that cannot be written costs only the recall of this search next time; the search itself
    // succeeded, and the store keeps the values in memory either way.
    (void)store_.SaveAndReloadProfile();
}

WalkerSettings MainDialogController::MakeWalkerSettings() const {
    WalkerSettings walker;
    walker.bReadOnlyFolder = settings_.bReadOnlyFolder != 0;
    walker.nTrush = settings_.nTrush;
    walker.strFolderEdit = settings_.strFolderEdit;
    walker.strOutFolderEdit = settings_.strOutFolderEdit;
    walker.strAllFolderEdit = settings_.strAllFolderEdit;
    return walker;
}

int MainDialogController::RunSearch() {
    searching_ = true;
    DisableControlsForSearch();
    ports_.view.PlaySearchClip();
    // A stop asked for before the walk (while the "*.*" question was open) is not forgotten here.
    state_.bAbort = stopRequested_;
    ports_.view.ShowStatusText(kSearchingText);
    ClearResults();

    {
        FolderWalker walker(ports_.fileSystem, ports_.clock, ports_.view, state_, MakeWalkerSettings());
        if (settings_.bRecent != 0) walker.CollectAllFiles(GetRecentFolder(ports_.environment));
        if (settings_.bTemp != 0) walker.WalkTempFolder(GetTempFolder(ports_.environment));
        // The ticks are read as the walk reaches each drive; the list is disabled meanwhile.
        for (int i = 0; i < ports_.view.DriveItemCount(); ++i) {
            if (ports_.view.DriveCheckState(i) != 1) continue;
            walker.WalkFolder(ports_.view.DriveItemAt(i).mountPoint);
        }
    }
    ports_.view.ResultsChanged();

    EnableControlsAfterSearch();
    ports_.view.StopSearchClip();
    searching_ = false;
    const int result = state_.bAbort ? -1 : static_cast<int>(state_.results.Size());
    ports_.view.SetFocusTo(control::kSearch);
    return result;
}

void MainDialogController::DisableControlsForSearch() {
    for (int id : kControlsOffWhileSearching)
        ports_.view.SetControlEnabled(id, false);
    ports_.view.SetControlEnabled(control::kAbort, true);
}

void MainDialogController::EnableControlsAfterSearch() {
    for (int id : kControlsOffWhileSearching) {
        if (id != control::kDayEdit && id != control::kDaySpin) ports_.view.SetControlEnabled(id, true);
    }
    OnLastDateCheck();
    ports_.view.SetControlEnabled(control::kAbort, false);
}

void MainDialogController::OnAbort() {
    const PromptAnswer answer =
        ports_.prompter.Ask(Prompt{kAbortQuestion, "", PromptButtons::YesNo, PromptIcon::Question});
    if (answer == PromptAnswer::Yes) state_.bAbort = true;
}

void MainDialogController::OnLastDateCheck() {
    const bool ticked = ports_.view.LastDateCheck() != 0;
    ports_.view.SetControlEnabled(control::kDayEdit, ticked);
    ports_.view.SetControlEnabled(control::kDaySpin, ticked);
}

int MainDialogController::CountTickedItems() const {
    return static_cast<int>(state_.results.CountTicked());
}

void MainDialogController::UpdateSelectionSummary() {
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < state_.results.Size(); ++i) {
        if (state_.results[i].checkState == 1) total += state_.results[i].size;
    }
    ports_.view.ShowStatusText(std::to_string(state_.results.Size()) + "個中、" +
                               std::to_string(CountTickedItems()) +
                               "個のﾌｧｲﾙが選択されています。削除対象容量=" + FormatSizeText(total));
}

void MainDialogController::OpenInViewer() {
    const int index = ports_.view.SelectedResultIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= state_.results.Size()) return;
    std::string path(state_.results[static_cast<std::size_t>(index)].Path());
    path.erase(0, path.find_first_not_of(" \t"));
    ports_.launcher.OpenFile(path);
    ports_.view.ClearResultSelection();
}

void MainDialogController::OnRecycleBin() {
    if (!ports_.launcher.OpenTrash()) Tell(ports_.prompter, kRecycleBinError);
}

void MainDialogController::OnVersion() {
    Tell(ports_.prompter, kVersionMessage);
}

void MainDialogController::OnHelp() {
    if (!ports_.launcher.OpenHelp()) Tell(ports_.prompter, kHelpError);
}

std::string MainDialogController::TooltipText(int controlId) const {
    if (settings_.bToolTip == 0) return std::string();
    if (controlId == control::kResultList) {
        return CountTickedItems() > 0 ? kResultListTickedTooltip : kInitialStatusText;
    }
    for (const TooltipEntry& entry : kTooltips) {
        if (entry.id == controlId) return entry.text;
    }
    return std::string();
}

}  // namespace vask
