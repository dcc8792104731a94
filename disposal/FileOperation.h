// The file-operation engine: trashes, moves or deletes the ticked results one by one, through folder
// descriptors, and acts only on a file that is still the one the search saw (same device, inode, size and
// modification time; reached without following a symbolic link). Anything else is reported as changed since
// the search and left alone.
//
// Nothing is lost on any failure: a move across file systems copies to a temporary file in the target
// folder (Directory::CreateTemporaryFile: unnamed, or under a name the journal records), flushes it, gives
// it its final name and flushes the folder before the source is removed; a failed copy removes its
// temporary file and leaves the source untouched. A file that cannot be trashed stays where it is; it is
// never deleted instead. Move and trash runs first remove what killed runs left behind, and only what the
// journal proves to be Vask's own.
//
// The user's decisions (confirmation, replace question, cancel, folder creation) are asked through
// FileOperationUi, so the engine runs the same under Qt dialogs, in an unattended run and in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "disposal/RunJournal.h"
#include "platform/FileSystem.h"
#include "platform/Status.h"
#include "search/ResultList.h"

namespace vask {

enum class FileOperationKind { Trash, Move, Delete };

// One file to dispose of, as the search saw it.
struct FileOperationItem {
    std::string path;  // absolute
    std::uint64_t size = 0;
    FileIdentity identity;
};

struct FileOperationFailure {
    std::string path;
    Status status;                    // errno and the path concerned
    bool changedSinceSearch = false;  // vanished, replaced, or no longer what the search saw
};

enum class ReplaceAnswer { Yes, YesToAll, No, Cancel };

// The user's side of a file operation. Called on the engine's thread, between files.
//
// Every operation of the engine (Run, MoveUnattended, DeleteUnattended) opens with BeginOperation and closes
// with EndOperation, each called exactly once whichever way the operation ends (done, declined, cancelled,
// failed, nothing to do); all its other calls, ReportFailures included, come between the two. Operations
// never nest. ReportFailures may also come outside an operation, for a disposal that reports on its own
// (the archive method's refused files).
class FileOperationUi {
  public:
    virtual ~FileOperationUi() = default;
    // The first call of an operation: its kind and the number of items it was given.
    virtual void BeginOperation(FileOperationKind kind, std::size_t count) = 0;
    // The last call of the operation that began; the engine has finished with every file.
    virtual void EndOperation() = 0;
    // Before trashing or deleting: true to go ahead.
    virtual bool ConfirmStart(FileOperationKind kind, const std::vector<FileOperationItem>& items) = 0;
    // The move folder does not exist: true to create it.
    virtual bool OfferCreateFolder(const std::string& folder) = 0;
    // A file of the same name is in the move folder.
    virtual ReplaceAnswer AskReplace(const std::string& source, const std::string& target) = 0;
    // Before each file: done of total, and the file at hand. False when the user pressed Cancel.
    virtual bool Progress(std::size_t done, std::size_t total, const std::string& path) = 0;
    // Before each file of an unattended move or deletion, which show no progress: done of total. False stops
    // the operation there, as Cancel in Progress does (the files done stay done). Never called inside a
    // file's copy or its rename pair. The default never stops.
    virtual bool ContinueUnattended(std::size_t /*done*/, std::size_t /*total*/) { return true; }
    // Once, after the last file and before EndOperation, when anything failed.
    virtual void ReportFailures(FileOperationKind kind,
                                const std::vector<FileOperationFailure>& failures) = 0;
};

struct FileOperationOutcome {
    std::size_t done = 0;     // disposed of
    std::size_t skipped = 0;  // left in place by the user's answer or the unattended move's date rule
    bool cancelled = false;   // the user cancelled or declined; what was done stays done
    std::vector<FileOperationFailure> failures;

    // 0 when every file was disposed of (or kept by the unattended date rule); non-zero when the operation
    // was cancelled or declined, a file was skipped at the user's word, or anything failed.
    int Result() const { return (cancelled || !failures.empty() || userSkipped) ? 1 : 0; }
    bool userSkipped = false;
};

// Told of every file a run disposed of and where it went (the run journal). Called on the engine's thread,
// right after the file reached its place.
class DisposalRecorder {
  public:
    virtual ~DisposalRecorder() = default;
    // entry.seq is left to the recorder; returns the seq it gave.
    virtual std::uint64_t Record(RunJournalEntry entry) = 0;
    // The file of entry seq was not disposed of after all (a provisional entry whose file stayed).
    virtual void Settle(std::uint64_t seq) = 0;
    // Called where the disposal itself flushes (a trash batch, the end of a run).
    virtual void Flush() = 0;
    // The working archive an earlier, killed run left at workingArchivePath was renamed to archivePath
    // before this run packed anything: the journals that name it provisionally should name it there.
    virtual void LeftoverArchiveRenamed(const std::string& workingArchivePath,
                                        const std::string& archivePath) {
        (void)workingArchivePath;
        (void)archivePath;
    }
};

class FileOperationEngine {
  public:
    // Both must outlive the engine.
    FileOperationEngine(FileSystem& fileSystem, FileOperationUi& ui);

    // The interactive operation: confirms trashing and deleting, asks before replacing, offers to create a
    // missing move folder, shows progress with Cancel and reports failures. targetFolder (ending in "/") is
    // read for Move only.
    FileOperationOutcome Run(FileOperationKind kind, const std::vector<FileOperationItem>& items,
                             const std::string& targetFolder);

    // The unattended move: no dialogs. A file whose namesake in the target folder is as new or newer stays
    // where it is (and counts as handled); otherwise it replaces the namesake. A missing folder is not
    // created; a file whose copy fails stays where it was.
    FileOperationOutcome MoveUnattended(const std::vector<FileOperationItem>& items,
                                        const std::string& targetFolder);
    // The unattended permanent deletion: no dialogs.
    FileOperationOutcome DeleteUnattended(const std::vector<FileOperationItem>& items);

    // Every disposed file is reported to recorder from now on (null: none). Not owned.
    void SetRecorder(DisposalRecorder* recorder) { recorder_ = recorder; }

  private:
    struct Source;
    struct Target;

    // Opens the item's folder and checks its entry against the identity the search saw.
    Result<Source> OpenSource(const FileOperationItem& item);
    Status MoveOne(Source& source, Target& target, bool replace);
    // Copies across file systems to a temporary file, flushes, publishes it, then removes the source.
    Status CopyThenRemove(Source& source, Target& target, bool replace);
    Result<Target> OpenTarget(const std::string& folder, bool offerToCreate, bool& declined);
    // Takes the items in order: opens and checks each (a path in disposed counts as done), then lets act
    // dispose of it. act returns the file's Status (an Ok one adds the path to disposed), or nothing when it
    // left the file alone on purpose or counts it itself; setting outcome.cancelled ends the walk. With
    // showProgress, Progress is asked before each file.
    void ForEachItem(const std::vector<FileOperationItem>& items, FileOperationOutcome& outcome,
                     bool showProgress, std::set<std::string>& disposed,
                     const std::function<std::optional<Status>(Source&)>& act);
    // Each run starts from scratch: a folder opened by an earlier run may have changed since.
    void ForgetOpenFolder() {
        openFolder_.reset();
        openFolderPath_.clear();
    }

    FileSystem& fileSystem_;
    FileOperationUi& ui_;
    std::shared_ptr<Directory> openFolder_;  // the folder of the file at hand, kept for the next file
    std::string openFolderPath_;
    DisposalRecorder* recorder_ = nullptr;

    void RecordPlaced(const FileOperationItem& item, const FileStatus& status, JournalPlaceKind kind,
                      std::string place, std::string member, const FileStatus* placed);
    void RecordMove(const Source& source, const Target& target);
};

// Splits an absolute path into its folder (ending in "/") and its last name. Empty name for a folder path.
void SplitFolderAndName(const std::string& path, std::string& folder, std::string& name);

}  // namespace vask
