#include "disposal/DeleteCommand.h"

#include <utility>

#include "disposal/Compression.h"
#include "disposal/CreateFolderPath.h"
#include "disposal/DeletionLog.h"
#include "disposal/FileOperationTexts.h"
#include "disposal/OwnFileText.h"
#include "disposal/RunJournalWriter.h"

namespace vask {

namespace {

constexpr const char* kSearchFirstText = "まず検索してください。";
constexpr const char* kNothingTickedText = "何も選択されていません。";
constexpr const char* kMovedText = "ﾌｧｲﾙ移動が終りました。";
constexpr const char* kDeletedText = "ﾌｧｲﾙ削除が終りました。";
constexpr const char* kBadMethodMessage =
    "削除方法の設定が正しくありません。\nｵﾌﾟｼｮﾝ設定で削除方法を選び直してください。";
constexpr const char* kNoMoveFolderMessage =
    "移動先のﾌｫﾙﾀﾞが設定されていません。\nｵﾌﾟｼｮﾝ設定で移動先を設定してください。";
constexpr const char* kNoArchiveFolderMessage =
    "圧縮先のﾌｫﾙﾀﾞが設定されていません。\nｵﾌﾟｼｮﾝ設定で圧縮先を設定してください。";

// The log's own headline and why: the reason for a name that is no file of ours (a link, a FIFO, another
// user's file), else the reason by errno as the file operations give it (a full disk, a read-only disk).
std::string LogNotWrittenText(const Status& status) {
    const std::string headline = std::string("ﾌｧｲﾙ ") + kDeletionLogName + " に削除ﾛｸﾞを書き込めません。";
    std::string text = OwnFileProblemText(headline, status);
    if (text == headline) text += "\n" + file_operation_text::FailureReason(FileOperationFailure{"", status});
    return text;
}

}  // namespace

std::string GetFileNamePart(const std::string& path) {
    std::string folder, name;
    SplitFolderAndName(path, folder, name);
    return name;
}

DeleteCommand::DeleteCommand(DeleteCommandPorts ports, SearchState& state, ProfileSettings& settings,
                             SettingsStore& store, std::function<int()> parsePatternText)
    : ports_(ports),
      state_(state),
      settings_(settings),
      store_(store),
      parsePatternText_(std::move(parsePatternText)) {}

std::vector<FileOperationItem> DeleteCommand::TickedItems() const {
    std::vector<FileOperationItem> items;
    for (std::size_t i = 0; i < state_.results.Size(); ++i) {
        const SearchResultEntry& entry = state_.results[i];
        if (entry.checkState != 1) continue;
        std::string path(entry.Path());
        path.erase(0, path.find_first_not_of(" \t"));
        items.push_back(FileOperationItem{std::move(path), entry.size, entry.identity});
    }
    return items;
}

void DeleteCommand::StopWithFocusOnPatterns() {
    // Delete usually has the focus here. Disabling it would pass the focus on to the next button that takes
    // it (Cancel), which would then answer Enter and close Vask; Enter must go on searching.
    ports_.view.SetFocusTo(control::kPatternBox);
    ports_.view.SetControlEnabled(control::kDelete, false);
}

void DeleteCommand::Abort() {
    StopWithFocusOnPatterns();
    state_.results.Clear();
    ports_.view.ResultsChanged();
    ports_.view.ShowStatusText(kAbortedText);
}

std::string DeleteCommand::SettingsProblem() const {
    switch (settings_.nTrush) {
        case kDisposeToTrash:
        case kDisposeDelete:
            return std::string();
        case kDisposeMoveToFolder:
            return settings_.strFolderEdit.empty() ? kNoMoveFolderMessage : std::string();
        case kDisposeLzhArchive:
            return settings_.strUnlhaEdit.empty() ? kNoArchiveFolderMessage : std::string();
        default:
            return kBadMethodMessage;
    }
}

std::string DeleteCommand::LogProblem() const {
    if (settings_.bLog == 0) return std::string();
    auto folder = ports_.fileSystem.OpenCurrentFolder();
    // A current folder that cannot be opened loses the log as an unwritable one does: silently.
    if (!folder) return std::string();
    const Status status = (*folder)->CheckOwnFile(kDeletionLogName);
    if (status) return std::string();
    return LogNotWrittenText(status);
}

bool DeleteCommand::ConfirmMove() {
    Prompt prompt;
    prompt.buttons = PromptButtons::YesNo;
    prompt.icon = PromptIcon::Question;
    if (state_.results.Size() == 1) {
        prompt.caption = "ﾌｧｲﾙの移動の確認";
        prompt.text = "'" + GetFileNamePart(std::string(state_.results[0].Path())) + "' を " +
                      settings_.strFolderEdit + " に移してもよろしいですか?";
    } else {
        prompt.caption = "複数のﾌｧｲﾙ移動の確認";
        prompt.text = "これらの " + std::to_string(state_.results.Size()) + " 個のﾌｧｲﾙを " +
                      settings_.strFolderEdit + " に移してもよろしいですか?";
    }
    return ports_.prompter.Ask(prompt) != PromptAnswer::Yes;
}

bool DeleteCommand::EnsureArchiveFolder() {
    if (ports_.fileSystem.OpenFolder(settings_.strUnlhaEdit)) return false;
    const PromptAnswer answer =
        ports_.prompter.Ask(Prompt{file_operation_text::CreateFolderText(settings_.strUnlhaEdit), "",
                                   PromptButtons::YesNo, PromptIcon::Question});
    if (answer != PromptAnswer::Yes) return true;
    if (!CreateFolderPath(ports_.fileSystem, settings_.strUnlhaEdit)) {
        ports_.prompter.Ask(Prompt{file_operation_text::CreateFolderFailedText(settings_.strUnlhaEdit), "",
                                   PromptButtons::Ok, PromptIcon::Stop});
        return true;
    }
    return false;
}

int DeleteCommand::DisposeInteractive() {
    FileOperationEngine engine(ports_.fileSystem, ports_.operationUi);
    engine.SetRecorder(recorder_);
    switch (settings_.nTrush) {
        case kDisposeToTrash:
            return engine.Run(FileOperationKind::Trash, TickedItems(), "").Result();
        case kDisposeMoveToFolder:
            return engine.Run(FileOperationKind::Move, TickedItems(), settings_.strFolderEdit).Result();
        case kDisposeDelete:
            return engine.Run(FileOperationKind::Delete, TickedItems(), "").Result();
        case kDisposeLzhArchive:
            return CompressToArchive(ports_.fileSystem, ports_.archiver, ports_.prompter, ports_.operationUi,
                                     ports_.clock, state_, settings_.strUnlhaEdit, recorder_);
        default:
            return 1;  // refused before it gets here; never dispose of anything by an unknown method
    }
}

int DeleteCommand::DisposeUnattended() {
    FileOperationEngine engine(ports_.fileSystem, ports_.operationUi);
    engine.SetRecorder(recorder_);
    switch (settings_.nTrush) {
        case kDisposeMoveToFolder:
            return engine.MoveUnattended(TickedItems(), settings_.strFolderEdit).Result();
        case kDisposeDelete:
            return engine.DeleteUnattended(TickedItems()).Result();
        default:
            return DisposeInteractive();  // trash and archive run the same way with or without a user
    }
}

DeleteOutcome DeleteCommand::OnDelete(bool silent) {
    if (parsePatternText_() <= 0) {
        ports_.prompter.Ask(Prompt{kBadPatternMessage, "", PromptButtons::Ok, PromptIcon::Exclamation});
        ports_.view.SetFocusTo(control::kPatternBox);
        state_.results.Clear();
        ports_.view.ResultsChanged();
        ports_.view.SetControlEnabled(control::kDelete, false);
        return DeleteOutcome::Refused;
    }
    const std::size_t ticked = state_.results.CountTicked();

    DeleteOutcome outcome = DeleteOutcome::NothingFound;
    if (state_.results.Empty()) {
        ports_.view.ShowStatusText(kSearchFirstText);
    } else if (ticked == 0) {
        StopWithFocusOnPatterns();
        ports_.view.ShowStatusText(kNothingTickedText);
        return DeleteOutcome::NothingTicked;
    } else {
        // A method or folder the command cannot act on is refused before anything is touched; so is a log
        // that could not record the run (a FIFO, link or another user's file named Vask.Log): it would be
        // found only after the files are gone.
        std::string problem = SettingsProblem();
        if (problem.empty()) problem = LogProblem();
        if (!problem.empty()) {
            ports_.prompter.Ask(Prompt{problem, "", PromptButtons::Ok, PromptIcon::Exclamation});
            StopWithFocusOnPatterns();
            ports_.view.ShowStatusText(kAbortedText);
            return DeleteOutcome::Refused;
        }
        if (settings_.nTrush == kDisposeMoveToFolder && !silent && ConfirmMove()) {
            Abort();
            return DeleteOutcome::Stopped;
        }
        if (settings_.nTrush == kDisposeLzhArchive && EnsureArchiveFolder()) {
            Abort();
            return DeleteOutcome::Stopped;
        }
        // A stop asked for while the questions above were open must not let the disposal begin.
        if (stopRequested_ && stopRequested_()) {
            Abort();
            return DeleteOutcome::Stopped;
        }
        // The journal is a help for undoing the run, not part of the disposal: without one the run goes on.
        std::unique_ptr<RunJournalWriter> journal;
        if (!runJournalFolder_.empty()) {
            auto created = RunJournalWriter::Create(
                ports_.fileSystem, runJournalFolder_,
                RunJournalHeader{ports_.clock.NowSeconds(), settings_.nTrush, silent});
            if (created) journal = std::move(created.value());
        }
        recorder_ = journal.get();
        const int result = silent ? DisposeUnattended() : DisposeInteractive();
        recorder_ = nullptr;
        // A run that disposed of nothing (declined, cancelled at once, an archiver that moved nothing) has
        // nothing to offer for undoing.
        if (journal && journal->Count() == journal->Settled() && journal->Error().ok()) {
            const std::string name = journal->Name();
            journal.reset();
            if (auto runs = ports_.fileSystem.OpenFolder(runJournalFolder_))
                (void)runs.value()->RemoveFile(name);
        }
        if (result != 0) {
            Abort();
            return DeleteOutcome::Stopped;
        }
        ports_.view.ShowStatusText(settings_.nTrush == kDisposeMoveToFolder ? kMovedText : kDeletedText);
        if (settings_.bLog != 0) {
            // The files are already disposed of and stay so; but a run missing from the log (a full disk, a
            // log replaced since the check) must not pass as logged: the user is told why.
            const Status logged =
                WriteDeletionLog(ports_.fileSystem, ports_.clock, state_, settings_.bLogUpdate != 0, silent);
            if (!logged)
                ports_.prompter.Ask(
                    Prompt{LogNotWrittenText(logged), "", PromptButtons::Ok, PromptIcon::Exclamation});
        }
        // Focus first, as in StopWithFocusOnPatterns: the disabled Delete must not hand it to Cancel.
        ports_.view.SetFocusTo(control::kSearch);
        ports_.view.SetControlEnabled(control::kDelete, false);
        outcome = DeleteOutcome::Done;
    }
    // As after a search: a profile that cannot be written loses only the recall of these values.
    (void)store_.SaveAndReloadProfile();
    if (settings_.bWave != 0) ports_.sound.PlayToEnd(settings_.strWaveEdit);
    ports_.view.SetFocusTo(control::kSearch);
    return outcome;
}

}  // namespace vask
