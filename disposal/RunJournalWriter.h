// Writes a run's journal as the run goes (see RunJournal.h for the format) and finds the folder journals
// live in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "disposal/FileOperation.h"
#include "disposal/RunJournal.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Status.h"

namespace vask {

// $XDG_STATE_HOME/Velumark/runs/ when XDG_STATE_HOME is absolute, else $HOME/.local/state/Velumark/runs/;
// empty when neither variable is usable. Ends in "/".
std::string RunJournalFolder(Environment& environment);

class RunJournalWriter : public DisposalRecorder {
  public:
    // Creates a new journal in folder (created with its missing parents, mode 0700) under a name no other
    // journal has, and writes its header. Failure: the Status of the step that failed; nothing is left.
    static Result<std::unique_ptr<RunJournalWriter>> Create(FileSystem& fileSystem, const std::string& folder,
                                                            const RunJournalHeader& header);

    // Appends the entry's line in one write, so that a killed process leaves every earlier line whole. A
    // failed write is kept (Error) and ends the journal: later entries are not written, so that the journal
    // never claims a file it lost the line of.
    std::uint64_t Record(RunJournalEntry entry) override;
    // Appends the restore mark of seq (see RunJournal.h); after a failed write nothing more is written.
    void Settle(std::uint64_t seq) override;
    // Flushes what was written to the disk.
    void Flush() override;
    // Repoints the other journals of the folder (RepointProvisionalEntries); best effort.
    void LeftoverArchiveRenamed(const std::string& workingArchivePath,
                                const std::string& archivePath) override;

    const std::string& Name() const { return name_; }
    std::size_t Count() const { return next_; }
    // How many of them were settled.
    std::size_t Settled() const { return settled_; }
    // The first error of a write or flush, or Ok.
    const Status& Error() const { return error_; }

  private:
    RunJournalWriter(FileSystem& fileSystem, std::string folder, std::unique_ptr<WritableFile> file,
                     std::string name)
        : fileSystem_(fileSystem),
          folder_(std::move(folder)),
          file_(std::move(file)),
          name_(std::move(name)) {}
    FileSystem& fileSystem_;
    std::string folder_;
    std::unique_ptr<WritableFile> file_;
    std::string name_;
    std::uint64_t next_ = 0;
    std::size_t settled_ = 0;
    Status error_;
};

}  // namespace vask
