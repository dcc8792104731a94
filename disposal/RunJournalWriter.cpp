#include "disposal/RunJournalWriter.h"

#include <cerrno>

#include "disposal/CreateFolderPath.h"
#include "disposal/RunUndo.h"

namespace vask {

namespace {

constexpr const char* kRunsTail = "Velumark/runs/";
constexpr unsigned kMaxUniquifier = 1000;

}  // namespace

std::string RunJournalFolder(Environment& environment) {
    auto absolute = [](const std::optional<std::string>& value) {
        return value && !value->empty() && (*value)[0] == '/' ? *value : std::string();
    };
    std::string base = absolute(environment.Get("XDG_STATE_HOME"));
    if (base.empty()) {
        base = absolute(environment.Get("HOME"));
        if (base.empty()) return std::string();
        if (base.back() != '/') base += '/';
        base += ".local/state";
    }
    if (base.back() != '/') base += '/';
    return base + kRunsTail;
}

Result<std::unique_ptr<RunJournalWriter>> RunJournalWriter::Create(FileSystem& fileSystem,
                                                                   const std::string& folder,
                                                                   const RunJournalHeader& header) {
    if (folder.empty() || folder[0] != '/') return Status::Error(EINVAL, folder, "open");
    auto opened = fileSystem.OpenFolder(folder);
    if (!opened && opened.status().code() == ENOENT) {
        const Status created = CreateFolderPath(fileSystem, folder);
        if (!created) return created;
        opened = fileSystem.OpenFolder(folder);
    }
    if (!opened) return opened.status();
    Directory& runs = *opened.value();
    // Two runs in one second (or a clock set back) must not share a journal: the next free number.
    for (unsigned n = 0; n < kMaxUniquifier; ++n) {
        const std::string name = RunJournalName(header.startSeconds, n);
        auto file = runs.CreateFile(name, FileCreation::Exclusive, 0600);
        if (!file && file.status().code() == EEXIST) continue;
        if (!file) return file.status();
        std::unique_ptr<RunJournalWriter> writer(
            new RunJournalWriter(fileSystem, folder, std::move(file.value()), name));
        Status written = writer->file_->Write(FormatJournalHeader(header));
        if (written) written = writer->file_->Sync();
        if (written) written = runs.Sync();
        if (!written) {
            writer.reset();
            (void)runs.RemoveFile(name);  // a journal without its header would only be listed as damaged
            return written;
        }
        return writer;
    }
    return Status::Error(EEXIST, folder, "find a free journal name");
}

std::uint64_t RunJournalWriter::Record(RunJournalEntry entry) {
    entry.seq = next_;
    if (!error_.ok()) return entry.seq;
    const Status written = file_->Write(FormatJournalEntry(entry));
    if (!written) {
        error_ = written;
        return entry.seq;
    }
    return next_++;
}

void RunJournalWriter::Settle(std::uint64_t seq) {
    // A seq whose line was never written has nothing to settle; a journal that lost a line writes no more.
    if (!error_.ok() || seq >= next_) return;
    const Status written = file_->Write(FormatJournalRestored(seq));
    if (!written) {
        error_ = written;
        return;
    }
    ++settled_;
}

void RunJournalWriter::LeftoverArchiveRenamed(const std::string& workingArchivePath,
                                              const std::string& archivePath) {
    // This run's own journal has no entry yet that names a working archive.
    (void)RepointProvisionalEntries(fileSystem_, folder_, workingArchivePath, archivePath);
}

void RunJournalWriter::Flush() {
    if (!error_.ok()) return;
    const Status synced = file_->Sync();
    if (!synced) error_ = synced;
}

}  // namespace vask
