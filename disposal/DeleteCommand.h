// The delete command: disposes of the ticked results of the last search by the chosen method (trash, move
// into a folder, permanent deletion, LZH archive), interactively or in an unattended run, then reports the
// outcome in the status line, writes the deletion log, saves the settings and plays the closing sound.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "disposal/DisposalView.h"
#include "disposal/FileOperation.h"
#include "platform/ArchiverLibrary.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Prompter.h"
#include "platform/SoundPlayer.h"
#include "search/FolderWalker.h"
#include "settings/ProfileSettings.h"
#include "settings/SettingsStore.h"

namespace vask {

// What the delete command works with. All must outlive the command.
struct DeleteCommandPorts {
    DisposalView& view;
    Prompter& prompter;
    FileSystem& fileSystem;
    FileOperationUi& operationUi;
    ArchiverLoader& archiver;
    SoundPlayer& sound;
    Clock& clock;
};

// How a delete command ended.
enum class DeleteOutcome {
    Done,           // the ticked files were disposed of
    NothingFound,   // the result list was empty ("まず検索してください。"); the closing steps ran
    NothingTicked,  // nothing was ticked
    Refused,        // no usable pattern, a setting the command cannot act on, or no command at all
    Stopped,        // declined, cancelled, stopped from outside, or a file could not be disposed of
};

// The file name with its extension, without the folders.
std::string GetFileNamePart(const std::string& path);

class DeleteCommand {
  public:
    // parsePatternText parses the pattern box again (it may ask its "*.*" question) and returns the count.
    DeleteCommand(DeleteCommandPorts ports, SearchState& state, ProfileSettings& settings,
                  SettingsStore& store, std::function<int()> parsePatternText);

    // The Delete button; also the end of an unattended run (silent: no move confirmation, the unattended
    // procedures, the log's Silent tag).
    DeleteOutcome OnDelete(bool silent);

    // Asked once more right before the files are touched: true stops the command there as a cancel would
    // (nothing disposed of, no log, nothing saved). For the forced stop of an unattended run.
    void SetStopCheck(std::function<bool()> stopRequested) { stopRequested_ = std::move(stopRequested); }

    // The folder each run's journal is written to (RunJournalFolder), for undoing the run later. Empty (the
    // default): no journal. A journal that cannot be created does not stop the disposal.
    void SetRunJournalFolder(std::string folder) { runJournalFolder_ = std::move(folder); }

    // Method 1: true when the user declined the move.
    bool ConfirmMove();
    // Method 3: true when the command must stop (the folder is missing and not to be, or cannot be, made).
    bool EnsureArchiveFolder();
    // 0 when done; non-zero when cancelled or anything failed.
    int DisposeInteractive();
    int DisposeUnattended();

  private:
    std::vector<FileOperationItem> TickedItems() const;
    // Stops the command after a refusal, a decline or a failure: empty list, Delete off, "aborted", the
    // focus on the pattern box.
    void Abort();
    // Disables Delete with the focus moved to the pattern box first, so Search stays the default button.
    void StopWithFocusOnPatterns();
    // With bLog on: the message when Vask.Log is there but not a regular file of this user, or "".
    std::string LogProblem() const;
    // A setting the command cannot act on (a method outside 0..3, an empty folder): the message to show, or
    // "".
    std::string SettingsProblem() const;

    DeleteCommandPorts ports_;
    SearchState& state_;
    ProfileSettings& settings_;
    SettingsStore& store_;
    std::function<int()> parsePatternText_;
    std::function<bool()> stopRequested_;
    std::string runJournalFolder_;
    DisposalRecorder* recorder_ = nullptr;  // the journal of the run at hand
};

}  // namespace vask
