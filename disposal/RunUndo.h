// Undoing a disposal run from its journal (RunJournal.h): every file the run disposed of goes back to its
// original path, but only where nothing stands now (nothing is ever replaced), with any missing folder on
// the way recreated. A file that cannot come back is reported with its reason and stays where the run put
// it; the rest still comes back. Each restored file gets a restore mark in the journal, so a second undo
// of the same run restores nothing twice.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "disposal/RunJournal.h"
#include "platform/ArchiverLibrary.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Status.h"

namespace vask {

// One journal in the runs folder, as listed for the user.
struct RunSummary {
    std::string name;          // the journal's file name
    bool usable = false;       // false: damaged, of another version, or not a journal; never undone
    RunJournalHeader header;   // when usable
    std::size_t count = 0;     // files the run disposed of
    std::size_t restored = 0;  // of them already restored by an undo
    std::size_t deleted = 0;   // of them deleted for good (never restored)

    // Files an undo may still bring back.
    std::size_t Remaining() const { return count - std::min(count, restored + deleted); }
    // Whether the run is offered for undoing: one that cannot be read (it is named as such), or one with
    // files still to bring back. A settled run is not.
    bool Offered() const { return !usable || Remaining() > 0; }
};

// Every journal in folder, newest first. A folder that does not exist lists nothing.
std::vector<RunSummary> ListRuns(FileSystem& fileSystem, const std::string& folder);
// The runs of ListRuns that are Offered, newest first.
std::vector<RunSummary> ListOfferedRuns(FileSystem& fileSystem, const std::string& folder);

// Why a file was not put back.
enum class UndoReason {
    AlreadyBack,      // the file stands at its original path again (restored by other means): nothing touched
    Taken,            // another file stands at the original path: both stay as they are
    GoneFromTrash,    // no longer in the trash
    GoneFromFolder,   // no longer in the move folder
    ArchiveMissing,   // the archive is not there
    Changed,          // the disposed copy was changed since the run: it stays where it is
    Deleted,          // deleted for good by the run
    MemberMissing,    // the archive does not hold the file
    MemberDamaged,    // the file's data in the archive is damaged (its CRC fails)
    ArchiverMissing,  // the archiver library cannot be loaded
    ArchiverBusy,     // another archive operation is running
    ExtractFailed,    // the archiver could not write the file out (a full disk, no permission)
    Failed,           // a system call failed (status says which and why)
};

struct UndoProblem {
    std::string path;  // the original path
    UndoReason reason = UndoReason::Failed;
    Status status;  // for Failed
};

struct UndoOutcome {
    bool usable = true;  // false: the journal could not be read or is damaged; nothing was touched
    std::size_t restored = 0;
    bool cancelled = false;
    std::vector<UndoProblem> stayed;  // every file of the run that did not come back, AlreadyBack included
    Status journalError;              // the restore marks could not be written (a second undo then finds
                                      // the files already back, and touches nothing)
    Status cleanupError;              // a hidden folder of an archive undo could not be removed
};

// Called before each file: done of total, and its original path. False stops the undo there (the files
// done stay done and are marked).
using UndoProgress = std::function<bool(std::size_t done, std::size_t total, const std::string& path)>;

// Undoes the run of journal `name` in `folder`. Entries already marked restored are skipped silently.
// Files of an archive run are extracted by the library archiver loads (ArchiveUndo.h); without one they
// stay, as ArchiverMissing.
UndoOutcome UndoRun(FileSystem& fileSystem, const std::string& folder, const std::string& name,
                    const UndoProgress& progress, ArchiverLoader* archiver = nullptr);

// The reason as the result report shows it (Japanese), with the system's error text for Failed.
std::string UndoReasonText(const UndoProblem& problem);

// How a run is named to the user: "2026/12/07 08:30 ごみ箱 12 個" with the files it can still bring back,
// "2026/12/07 08:30 ごみ箱 残り 3 個" once an undo brought some back, or for a journal that cannot be read
// "2026/12/07 08:30 (元に戻せません)" (the time from its name). time: the run's local start time.
std::string RunLabel(const RunSummary& run, const LocalTime& time);
// The start time a journal's name carries (seconds since 1970 UTC), 0 when it carries none.
std::int64_t RunStartOfName(const std::string& name);
// The result report: "n 個のﾌｧｲﾙを元に戻しました。" followed by what stayed, one file a line with its reason
// (at most maxListed lines, then how many more).
std::string UndoResultText(const UndoOutcome& outcome, std::size_t maxListed = 15);

// A killed archive run's journal names its files provisionally with the working archive; when a later run
// renames that archive (from workingArchivePath to archivePath) to make room, every journal in folder with
// provisional entries for workingArchivePath that are not restored gets, for each, an entry naming
// archivePath, which supersedes it. Returns how many entries were added; a journal that cannot be read or
// written is left as it is (an undo then reports the archive missing; the files are in archivePath).
std::size_t RepointProvisionalEntries(FileSystem& fileSystem, const std::string& folder,
                                      const std::string& workingArchivePath, const std::string& archivePath);

// Removes the journals that can no longer help: started more than maxAgeDays before nowSeconds (by the
// time in the name, so damaged ones age out too), or usable with every file restored or deleted for good.
// Returns how many were removed.
std::size_t RemoveSettledRuns(FileSystem& fileSystem, const std::string& folder, std::int64_t nowSeconds,
                              int maxAgeDays = 60);

}  // namespace vask
