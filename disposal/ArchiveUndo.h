// Putting the files of an archive run back (part of UndoRun, RunUndo.h). The archiver library extracts
// the members, CRC checked, with their mode and time, into a fresh hidden folder made inside the folder
// each file came from (so on its volume); each gets the modification time the journal recorded (to the
// nanosecond, where the archive keeps whole seconds), then its original name by a hard link, which never
// replaces anything, and the hidden folder goes. The archive itself is left as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disposal/RunJournal.h"
#include "disposal/RunUndo.h"
#include "platform/ArchiverLibrary.h"
#include "platform/FileSystem.h"
#include "platform/Status.h"

namespace vask {

class ArchiveRestorer {
  public:
    // loader may be null (no archiver at hand: every entry stays, as ArchiverMissing). Both must outlive
    // this object. The library is loaded at the first extraction and kept until the object goes.
    ArchiveRestorer(FileSystem& fileSystem, ArchiverLoader* loader);
    ~ArchiveRestorer();

    // Queues an entry of kind Archive; entries are put back by Restore, grouped by archive and folder.
    void Add(const RunJournalEntry& entry);
    std::size_t Queued() const { return queued_.size(); }

    // The outcome of one queued entry: nothing when it came back, else why not.
    using Settle = std::function<void(const RunJournalEntry& entry, std::optional<UndoProblem> problem)>;
    // Asked before each file with its original path; false stops there. Files asked for before the stop
    // are still settled.
    using Proceed = std::function<bool(const std::string& path)>;

    // Puts back every queued entry, calling settle once for each settled one (every one, unless proceed
    // stopped it), and empties the queue. True when proceed stopped it. A hidden folder that could not be
    // removed afterwards is kept in CleanupError (the first such failure).
    bool Restore(const Proceed& proceed, const Settle& settle);

    const Status& CleanupError() const { return cleanupError_; }

  private:
    // Entries of one archive and one original folder, at most kChunk at a time.
    void RestoreChunk(const std::string& archive, const std::string& folder,
                      const std::vector<const RunJournalEntry*>& entries, const Settle& settle);
    // Removes what an earlier undo that was killed left in hidden folders of the folder: copies of these
    // entries' files identical to the files now at their original paths, then the folders left empty.
    void RemoveSpareCopies(const std::string& folder, const std::vector<const RunJournalEntry*>& entries);
    // The library, loaded once; null (with reason) when it is missing.
    ArchiverLibrary* Library();

    FileSystem& fileSystem_;
    ArchiverLoader* loader_;
    std::unique_ptr<ArchiverLibrary> library_;
    bool loadTried_ = false;
    std::vector<RunJournalEntry> queued_;
    Status cleanupError_;
};

// The command line that extracts members from archive into root (an absolute folder path ending in "/"),
// keeping set-id and sticky bits as the packing did: "x -a -w=ROOT "ARCHIVE" "MEMBER" ...", or, when root
// holds a blank (which would end the switch), the root as a quoted second operand instead. Nothing when a
// path or member holds a double quote, which the command line cannot carry.
std::optional<std::string> ExtractCommandLine(const std::string& archive, const std::string& root,
                                              const std::vector<std::string>& members);

}  // namespace vask
