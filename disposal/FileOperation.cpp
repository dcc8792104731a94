#include "disposal/FileOperation.h"

#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "disposal/CreateFolderPath.h"

namespace vask {

namespace {

constexpr std::size_t kCopyBufferBytes = 1 << 20;
constexpr std::size_t kTrashBatch = 256;

// The error a file gets when it is no longer the one the search saw.
Status ChangedSinceSearch(const std::string& path) {
    return Status::Changed(path, "changed since the search");
}

bool SameAsSearched(const FileStatus& status, const FileOperationItem& item) {
    return status.kind == EntryKind::Regular && status.device == item.identity.device &&
           status.inode == item.identity.inode && status.size == item.size &&
           status.mtimeSeconds * 1000000000LL + status.mtimeNanoseconds == item.identity.mtimeNanoseconds;
}

// Opens an operation on the UI and closes it on every way out of the scope, so a window that shows the
// operation never outlives it and never has to guess when it ended.
class OperationScope {
  public:
    OperationScope(FileOperationUi& ui, FileOperationKind kind, std::size_t count) : ui_(ui) {
        ui_.BeginOperation(kind, count);
    }
    ~OperationScope() { ui_.EndOperation(); }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

  private:
    FileOperationUi& ui_;
};

}  // namespace

void SplitFolderAndName(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder.clear();
        name = path;
        return;
    }
    folder = path.substr(0, slash + 1);
    name = path.substr(slash + 1);
}

struct FileOperationEngine::Source {
    const FileOperationItem* item = nullptr;
    std::shared_ptr<Directory> folder;
    std::string name;
    FileStatus status;
};

struct FileOperationEngine::Target {
    std::shared_ptr<Directory> folder;
    std::string path;  // ends in "/"
};

FileOperationEngine::FileOperationEngine(FileSystem& fileSystem, FileOperationUi& ui)
    : fileSystem_(fileSystem), ui_(ui) {}

void FileOperationEngine::RecordPlaced(const FileOperationItem& item, const FileStatus& status,
                                       JournalPlaceKind kind, std::string place, std::string member,
                                       const FileStatus* placed) {
    if (!recorder_) return;
    RunJournalEntry entry;
    entry.originalPath = item.path;
    entry.device = status.device;
    entry.inode = status.inode;
    entry.size = status.size;
    entry.mtimeNanoseconds = status.mtimeSeconds * 1000000000LL + status.mtimeNanoseconds;
    entry.mode = status.mode;
    entry.kind = kind;
    entry.place = std::move(place);
    entry.member = std::move(member);
    if (placed) {
        entry.placedDevice = placed->device;
        entry.placedInode = placed->inode;
    }
    recorder_->Record(std::move(entry));
}

void FileOperationEngine::RecordMove(const Source& source, const Target& target) {
    if (!recorder_) return;
    // A copy across volumes is a new file: the undo recognises it by where it went, so look it up.
    auto placed = target.folder->StatEntry(source.name);
    RecordPlaced(*source.item, source.status, JournalPlaceKind::Move, target.path + source.name, "",
                 placed ? &placed.value() : nullptr);
}

Result<FileOperationEngine::Source> FileOperationEngine::OpenSource(const FileOperationItem& item) {
    Source source;
    source.item = &item;
    std::string folder;
    SplitFolderAndName(item.path, folder, source.name);
    if (folder.empty() || source.name.empty()) return Status::Error(EINVAL, item.path, "open");
    // Component by component without following a link: a folder swapped for a link since the search fails
    // here, and nothing outside the searched tree is reached. Results come folder by folder, so the folder
    // opened for the previous file usually serves the next one too.
    if (folder != openFolderPath_ || !openFolder_) {
        auto opened = fileSystem_.OpenFolder(folder);
        if (!opened) return ChangedSinceSearch(item.path);
        openFolder_ = std::move(opened.value());
        openFolderPath_ = folder;
    }
    source.folder = openFolder_;
    auto status = source.folder->StatEntry(source.name);
    if (!status || !SameAsSearched(status.value(), item)) return ChangedSinceSearch(item.path);
    source.status = status.value();
    return source;
}

Result<FileOperationEngine::Target> FileOperationEngine::OpenTarget(const std::string& folder,
                                                                    bool offerToCreate, bool& declined) {
    declined = false;
    Target target;
    target.path = folder;
    if (target.path.empty() || target.path[0] != '/') return Status::Error(EINVAL, folder, "open");
    if (target.path.back() != '/') target.path.push_back('/');
    auto opened = fileSystem_.OpenFolder(target.path);
    if (!opened && opened.status().code() == ENOENT && offerToCreate) {
        if (!ui_.OfferCreateFolder(target.path)) {
            declined = true;
            return opened.status();
        }
        const Status created = CreateFolderPath(fileSystem_, target.path);
        if (!created) return created;
        opened = fileSystem_.OpenFolder(target.path);
    }
    if (!opened) return opened.status();
    target.folder = std::move(opened.value());
    return target;
}

Status FileOperationEngine::CopyThenRemove(Source& source, Target& target, bool replace) {
    // The copy has no name, or only a temporary one the journal records, until it is complete: a kill at
    // any point leaves the source whole and nothing at the final name.
    auto created = target.folder->CreateTemporaryFile(source.name, 0600);
    if (!created) return created.status();
    std::unique_ptr<TemporaryFile> out = std::move(created.value());
    const auto discard = [&](Status why) {
        out.reset();
        return why;
    };

    auto opened = source.folder->OpenForReading(source.name);
    if (!opened) return discard(opened.status());
    std::unique_ptr<ReadableFile> in = std::move(opened.value());
    auto inStatus = in->Stat();
    if (!inStatus || !SameAsSearched(inStatus.value(), *source.item)) {
        return discard(ChangedSinceSearch(source.item->path));
    }
    std::string buffer(kCopyBufferBytes, '\0');
    std::uint64_t copied = 0;
    for (;;) {
        auto got = in->Read(buffer.data(), buffer.size());
        if (!got) return discard(got.status());
        if (got.value() == 0) break;
        const Status written = out->Write(std::string_view(buffer.data(), got.value()));
        if (!written) return discard(written);
        copied += got.value();
    }
    if (copied != source.status.size) return discard(ChangedSinceSearch(source.item->path));
    Status step =
        out->SetTimesAndMode(source.status.mtimeSeconds, source.status.mtimeNanoseconds, source.status.mode);
    if (step) step = out->Sync();
    if (step) step = out->Close();
    // The copy is complete and on the disk; only now may it take the final name.
    if (step) step = out->Publish(source.name, replace);
    if (!step) return discard(step);
    out.reset();
    step = target.folder->Sync();
    if (!step) return step;  // the source stays: better a file in two places than in none
    // Changed while it was copied? Then the copy is not what the user saw; keep the source as it is now.
    auto now = source.folder->StatEntry(source.name);
    if (!now || !SameAsSearched(now.value(), *source.item)) return ChangedSinceSearch(source.item->path);
    step = source.folder->RemoveFile(source.name);
    if (!step) return step;
    return source.folder->Sync();
}

Status FileOperationEngine::MoveOne(Source& source, Target& target, bool replace) {
    if (replace) {
        // The move folder may already hold this very file under the same name (a hard link): rename(2)
        // between two names of one file does nothing and reports success, and the file would stay where it
        // is while counted as moved. Its name in the move folder is all that must remain.
        auto there = target.folder->StatEntry(source.name);
        if (there && there.value().device == source.status.device &&
            there.value().inode == source.status.inode) {
            auto sourceFolder = source.folder->StatSelf();
            auto targetFolder = target.folder->StatSelf();
            if (!sourceFolder) return sourceFolder.status();
            if (!targetFolder) return targetFolder.status();
            // The move folder is the file's own folder (perhaps through a bind mount): one entry, already in
            // place. Removing "the source" would remove the file.
            if (sourceFolder.value().device == targetFolder.value().device &&
                sourceFolder.value().inode == targetFolder.value().inode) {
                return Status::Ok();
            }
            return source.folder->RemoveFile(source.name);
        }
    }
    const Status renamed = source.folder->RenameTo(source.name, *target.folder, source.name, replace);
    // Another file system, or one mounted twice (bind mounts say EXDEV too): copy instead.
    if (renamed.code() == EXDEV) return CopyThenRemove(source, target, replace);
    return renamed;
}

FileOperationOutcome FileOperationEngine::Run(FileOperationKind kind,
                                              const std::vector<FileOperationItem>& items,
                                              const std::string& targetFolder) {
    const OperationScope scope(ui_, kind, items.size());
    FileOperationOutcome outcome;
    ForgetOpenFolder();
    if (kind != FileOperationKind::Move && !ui_.ConfirmStart(kind, items)) {
        outcome.cancelled = true;
        return outcome;
    }
    // What a killed run left behind, as far as the journal proves it Vask's own.
    if (kind != FileOperationKind::Delete) fileSystem_.RemoveOwnLeftovers();
    Target target;
    if (kind == FileOperationKind::Move) {
        bool declined = false;
        auto opened = OpenTarget(targetFolder, true, declined);
        if (declined) {
            outcome.cancelled = true;
            return outcome;
        }
        if (!opened) {
            outcome.failures.push_back(FileOperationFailure{targetFolder, opened.status(), false});
            ui_.ReportFailures(kind, outcome.failures);
            return outcome;
        }
        target = std::move(opened.value());
    }

    bool replaceAll = false;
    std::set<std::string> disposed;
    // Trashing goes in batches that share one flush of their info files; a batch is moved in when it is full,
    // when a file repeats within it, and at the end.
    std::vector<std::string> staged;
    std::vector<std::pair<const FileOperationItem*, FileStatus>> stagedSources;
    std::set<std::string> stagedPaths;
    // Each entry is journaled as soon as it is in the trash, not when its batch is: a kill in mid-batch
    // must not leave entries in the trash that the journal does not name.
    const TrashMovedIn journalMovedIn = [&](std::size_t i, const TrashPlace& place) {
        if (i >= stagedSources.size()) return;
        // Renamed within its volume: the entry in the trash is the very file.
        RecordPlaced(*stagedSources[i].first, stagedSources[i].second, JournalPlaceKind::Trash,
                     place.trashFolder, place.name, &stagedSources[i].second);
    };
    const auto commitStaged = [&] {
        const std::vector<Status> statuses =
            fileSystem_.CommitStagedTrash(recorder_ ? journalMovedIn : TrashMovedIn());
        for (std::size_t i = 0; i < staged.size() && i < statuses.size(); ++i) {
            if (statuses[i]) {
                ++outcome.done;
                disposed.insert(staged[i]);
            } else {
                outcome.failures.push_back(
                    FileOperationFailure{staged[i], statuses[i], statuses[i].changed()});
            }
        }
        staged.clear();
        stagedSources.clear();
        stagedPaths.clear();
        if (recorder_) recorder_->Flush();
    };
    ForEachItem(items, outcome, true, disposed, [&](Source& source) -> std::optional<Status> {
        const std::string& path = source.item->path;
        if (kind == FileOperationKind::Trash) {
            if (stagedPaths.count(path) != 0) {
                commitStaged();
                if (disposed.count(path) != 0) return Status::Ok();  // the same file, already in the trash
            }
            const Status stage = source.folder->StageForTrash(source.name, path, source.status);
            if (!stage) return stage;
            staged.push_back(path);
            stagedSources.emplace_back(source.item, source.status);
            stagedPaths.insert(path);
            if (staged.size() >= kTrashBatch) commitStaged();
            return std::nullopt;  // counted when the batch is moved in
        }
        // Removals are not flushed: one lost in a crash brings the file back, which loses nothing, while a
        // folder's fsync waits for the dirty data of every other writer on the volume.
        if (kind == FileOperationKind::Delete) {
            const Status removed = source.folder->RemoveFile(source.name);
            if (removed)
                RecordPlaced(*source.item, source.status, JournalPlaceKind::Deleted, "", "", nullptr);
            return removed;
        }
        bool replace = replaceAll;
        if (!replace && target.folder->StatEntry(source.name)) {
            const ReplaceAnswer answer = ui_.AskReplace(path, target.path + source.name);
            if (answer == ReplaceAnswer::Cancel) {
                outcome.cancelled = true;
                return std::nullopt;
            }
            if (answer == ReplaceAnswer::No) {
                ++outcome.skipped;
                outcome.userSkipped = true;
                return std::nullopt;
            }
            replace = true;
            replaceAll = answer == ReplaceAnswer::YesToAll;
        }
        const Status moved = MoveOne(source, target, replace);
        if (moved) RecordMove(source, target);
        return moved;
    });
    if (outcome.cancelled) {
        fileSystem_.DiscardStagedTrash();  // not moved yet: they stay where they are, as the rest does
    } else if (!staged.empty()) {
        commitStaged();
    }
    if (kind == FileOperationKind::Trash) {
        const Status flushed = fileSystem_.FlushTrash();
        if (!flushed) outcome.failures.push_back(FileOperationFailure{"", flushed, false});
    }
    if (recorder_) recorder_->Flush();
    if (!outcome.failures.empty()) ui_.ReportFailures(kind, outcome.failures);
    return outcome;
}

FileOperationOutcome FileOperationEngine::MoveUnattended(const std::vector<FileOperationItem>& items,
                                                         const std::string& targetFolder) {
    const OperationScope scope(ui_, FileOperationKind::Move, items.size());
    FileOperationOutcome outcome;
    ForgetOpenFolder();
    fileSystem_.RemoveOwnLeftovers();
    bool declined = false;
    auto opened = OpenTarget(targetFolder, false, declined);
    if (!opened) {
        // No folder to move into (it is not created unattended): every file stays where it is.
        for (const FileOperationItem& item : items) {
            outcome.failures.push_back(FileOperationFailure{item.path, opened.status(), false});
        }
        return outcome;
    }
    Target target = std::move(opened.value());
    std::set<std::string> disposed;
    ForEachItem(items, outcome, false, disposed, [&](Source& source) -> std::optional<Status> {
        if (auto existing = target.folder->StatEntry(source.name)) {
            const FileStatus& there = existing.value();
            if (there.kind != EntryKind::Regular)
                return Status::Error(EEXIST, target.path + source.name, "move");
            const std::int64_t sourceTime =
                source.status.mtimeSeconds * 1000000000LL + source.status.mtimeNanoseconds;
            const std::int64_t targetTime = there.mtimeSeconds * 1000000000LL + there.mtimeNanoseconds;
            if (sourceTime <= targetTime) {
                ++outcome.skipped;  // the folder holds a copy as new or newer: both stay as they are
                return std::nullopt;
            }
        }
        const Status moved = MoveOne(source, target, true);
        if (moved) RecordMove(source, target);
        return moved;
    });
    if (recorder_) recorder_->Flush();
    return outcome;
}

FileOperationOutcome FileOperationEngine::DeleteUnattended(const std::vector<FileOperationItem>& items) {
    const OperationScope scope(ui_, FileOperationKind::Delete, items.size());
    FileOperationOutcome outcome;
    ForgetOpenFolder();
    std::set<std::string> disposed;
    ForEachItem(items, outcome, false, disposed, [&](Source& source) -> std::optional<Status> {
        const Status removed = source.folder->RemoveFile(source.name);
        if (removed) RecordPlaced(*source.item, source.status, JournalPlaceKind::Deleted, "", "", nullptr);
        return removed;
    });
    if (recorder_) recorder_->Flush();
    return outcome;
}

void FileOperationEngine::ForEachItem(const std::vector<FileOperationItem>& items,
                                      FileOperationOutcome& outcome, bool showProgress,
                                      std::set<std::string>& disposed,
                                      const std::function<std::optional<Status>(Source&)>& act) {
    // A file found twice (by two patterns) is one file: once disposed of, its second entry is done too.
    for (std::size_t i = 0; i < items.size(); ++i) {
        const FileOperationItem& item = items[i];
        const bool goOn =
            showProgress ? ui_.Progress(i, items.size(), item.path) : ui_.ContinueUnattended(i, items.size());
        if (!goOn) {
            outcome.cancelled = true;
            break;
        }
        if (disposed.count(item.path) != 0) {
            ++outcome.done;
            continue;
        }
        auto source = OpenSource(item);
        if (!source) {
            outcome.failures.push_back(FileOperationFailure{item.path, source.status(), true});
            continue;
        }
        const std::optional<Status> status = act(source.value());
        if (outcome.cancelled) break;
        if (!status) continue;  // left where it is on purpose, and counted so by act
        if (status->ok()) {
            ++outcome.done;
            disposed.insert(item.path);
        } else {
            outcome.failures.push_back(FileOperationFailure{item.path, *status, status->changed()});
        }
    }
}

}  // namespace vask
