#include "disposal/ArchiveUndo.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <utility>

#include "disposal/CreateFolderPath.h"
#include "disposal/FileOperation.h"

namespace vask {

namespace {

// Results of the library's "x" that tell something about the members (its C interface's result codes).
constexpr int kArchiverArchiveError = 3;  // the archive or a member is damaged (a CRC that fails)
constexpr int kArchiverBusy = 5;

// Members per extraction: each call reads the archive's headers once, and the progress moves on between
// calls.
constexpr std::size_t kChunk = 256;
constexpr unsigned kMaxHiddenFolders = 1000;
constexpr const char* kHiddenFolderPrefix = ".vask-undo-";

std::int64_t FloorSeconds(std::int64_t nanoseconds) {
    std::int64_t seconds = nanoseconds / 1000000000LL;
    if (nanoseconds % 1000000000LL < 0) --seconds;
    return seconds;
}

// The archive keeps whole seconds: a file extracted from it (by this undo or by hand) has the time of
// the original to the second.
bool SameAsPacked(const FileStatus& status, const RunJournalEntry& entry) {
    return status.kind == EntryKind::Regular && status.size == entry.size &&
           status.mtimeSeconds == FloorSeconds(entry.mtimeNanoseconds);
}

// A member lands at root + member only when it is a plain relative path; the journal is checked, not
// trusted, so that a damaged one cannot point the extraction elsewhere.
bool PlainMember(const std::string& member) {
    if (member.empty() || member.find('"') != std::string::npos) return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = member.find('/', start);
        const std::string_view part(member.data() + start,
                                    (slash == std::string::npos ? member.size() : slash) - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

std::string FolderOf(const std::string& member) {
    const std::size_t slash = member.rfind('/');
    return slash == std::string::npos ? std::string() : member.substr(0, slash + 1);
}

// The folders an extraction of these members makes under its root ("d/", "d/sub/"), deepest first.
std::vector<std::string> MemberFoldersDeepestFirst(const std::vector<const RunJournalEntry*>& entries) {
    std::set<std::string> folders;
    for (const RunJournalEntry* entry : entries) {
        std::string sub = FolderOf(entry->member);
        while (!sub.empty()) {
            folders.insert(sub);
            sub = FolderOf(sub.substr(0, sub.size() - 1));
        }
    }
    std::vector<std::string> deepestFirst(folders.begin(), folders.end());
    std::sort(deepestFirst.begin(), deepestFirst.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return deepestFirst;
}

// Removes the member folders under root, deepest first; a folder that still holds something stays (its
// status, like any other failure, goes to keep).
void RemoveMemberFolders(FileSystem& fileSystem, const std::string& root,
                         const std::vector<const RunJournalEntry*>& entries,
                         const std::function<void(const Status&)>& keep) {
    for (const std::string& sub : MemberFoldersDeepestFirst(entries)) {
        const std::string parent = FolderOf(sub.substr(0, sub.size() - 1));
        auto opened = fileSystem.OpenFolder(root + parent);
        if (!opened) {
            keep(opened.status());
            continue;
        }
        keep(opened.value()->RemoveSubfolder(sub.substr(parent.size(), sub.size() - parent.size() - 1)));
    }
}

// True when both names are regular files with the same bytes (the same file, or two equal copies). Any
// doubt (a link, a read that fails) is false.
bool SameBytes(Directory& oneFolder, const std::string& one, Directory& otherFolder,
               const std::string& other) {
    auto a = oneFolder.StatEntry(one);
    auto b = otherFolder.StatEntry(other);
    if (!a || !b || a->kind != EntryKind::Regular || b->kind != EntryKind::Regular || a->size != b->size)
        return false;
    if (a->device == b->device && a->inode == b->inode) return true;
    auto readA = oneFolder.OpenForReading(one);
    auto readB = otherFolder.OpenForReading(other);
    if (!readA || !readB) return false;
    std::vector<char> bufferA(64 * 1024), bufferB(64 * 1024);
    for (std::uint64_t offset = 0; offset < a->size;) {
        auto gotA = readA.value()->ReadAt(offset, bufferA.data(), bufferA.size());
        auto gotB = readB.value()->ReadAt(offset, bufferB.data(), bufferB.size());
        if (!gotA || !gotB || gotA.value() != gotB.value() || gotA.value() == 0) return false;
        if (!std::equal(bufferA.begin(), bufferA.begin() + static_cast<std::ptrdiff_t>(gotA.value()),
                        bufferB.begin()))
            return false;
        offset += gotA.value();
    }
    return true;
}

}  // namespace

std::optional<std::string> ExtractCommandLine(const std::string& archive, const std::string& root,
                                              const std::vector<std::string>& members) {
    if (archive.find('"') != std::string::npos || root.find('"') != std::string::npos) return std::nullopt;
    std::string line = "x -a ";
    if (root.find_first_of(" \t\r\n") == std::string::npos)
        line += "-w=" + root + " \"" + archive + "\"";
    else
        line += "\"" + archive + "\" \"" + root + "\"";
    for (const std::string& member : members) {
        if (member.find('"') != std::string::npos) return std::nullopt;
        line += " \"" + member + "\"";
    }
    return line;
}

ArchiveRestorer::ArchiveRestorer(FileSystem& fileSystem, ArchiverLoader* loader)
    : fileSystem_(fileSystem), loader_(loader) {}

ArchiveRestorer::~ArchiveRestorer() = default;

void ArchiveRestorer::Add(const RunJournalEntry& entry) {
    queued_.push_back(entry);
}

ArchiverLibrary* ArchiveRestorer::Library() {
    if (!loadTried_) {
        loadTried_ = true;
        if (loader_) library_ = loader_->Load();
    }
    return library_.get();
}

bool ArchiveRestorer::Restore(const Proceed& proceed, const Settle& settle) {
    // Grouped by archive and original folder, in the order the run met them: one extraction serves a
    // folder's files.
    std::vector<std::pair<std::string, std::string>> order;
    std::map<std::pair<std::string, std::string>, std::vector<const RunJournalEntry*>> groups;
    for (const RunJournalEntry& entry : queued_) {
        std::string folder, name;
        SplitFolderAndName(entry.originalPath, folder, name);
        auto key = std::make_pair(entry.place, folder);
        auto [it, fresh] = groups.try_emplace(key);
        if (fresh) order.push_back(key);
        it->second.push_back(&entry);
    }
    bool stopped = false;
    for (const auto& key : order) {
        const std::vector<const RunJournalEntry*>& all = groups[key];
        for (std::size_t start = 0; start < all.size() && !stopped; start += kChunk) {
            std::vector<const RunJournalEntry*> chunk;
            for (std::size_t i = start; i < all.size() && i < start + kChunk; ++i) {
                if (proceed && !proceed(all[i]->originalPath)) {
                    stopped = true;
                    break;
                }
                chunk.push_back(all[i]);
            }
            if (!chunk.empty()) RestoreChunk(key.first, key.second, chunk, settle);
        }
        RemoveSpareCopies(key.second, all);
        if (stopped) break;
    }
    queued_.clear();
    return stopped;
}

void ArchiveRestorer::RestoreChunk(const std::string& archive, const std::string& folderPath,
                                   const std::vector<const RunJournalEntry*>& entries, const Settle& settle) {
    auto problem = [](const RunJournalEntry& entry, UndoReason reason, Status status = Status()) {
        return UndoProblem{entry.originalPath, reason, std::move(status)};
    };
    auto settleAll = [&](const std::vector<const RunJournalEntry*>& list, UndoReason reason,
                         const Status& status = Status()) {
        for (const RunJournalEntry* entry : list)
            settle(*entry, problem(*entry, reason, status));
    };

    // What stands at the original paths now: a file back already is left alone, another is never
    // replaced. Checked first, so that nothing else is done for files that need nothing.
    auto to = fileSystem_.OpenFolder(folderPath);
    std::vector<const RunJournalEntry*> pending;
    for (const RunJournalEntry* entry : entries) {
        std::string folder, name;
        SplitFolderAndName(entry->originalPath, folder, name);
        if (name.empty() || !PlainMember(entry->member)) {
            settle(*entry, problem(*entry, UndoReason::Failed, Status::Error(EINVAL, entry->place, "undo")));
            continue;
        }
        if (to) {
            if (auto there = to.value()->StatEntry(name)) {
                settle(*entry, problem(*entry, SameAsPacked(there.value(), *entry) ? UndoReason::AlreadyBack
                                                                                   : UndoReason::Taken));
                continue;
            }
        }
        pending.push_back(entry);
    }
    if (pending.empty()) return;

    // The archive must still be there, as a regular file.
    std::string archiveFolder, archiveName;
    SplitFolderAndName(archive, archiveFolder, archiveName);
    if (archiveFolder.empty() || archiveName.empty())
        return settleAll(pending, UndoReason::Failed, Status::Error(EINVAL, archive, "undo"));
    {
        auto opened = fileSystem_.OpenFolder(archiveFolder);
        Result<FileStatus> found = opened ? opened.value()->StatEntry(archiveName) : opened.status();
        if (!found) {
            const int code = found.status().code();
            if (code == ENOENT || code == ENOTDIR || code == ELOOP)
                return settleAll(pending, UndoReason::ArchiveMissing);
            return settleAll(pending, UndoReason::Failed, found.status());
        }
        if (found.value().kind != EntryKind::Regular) return settleAll(pending, UndoReason::ArchiveMissing);
    }
    ArchiverLibrary* library = Library();
    if (!library) return settleAll(pending, UndoReason::ArchiverMissing);

    if (!to) {
        if (to.status().code() != ENOENT) return settleAll(pending, UndoReason::Failed, to.status());
        const Status created = CreateFolderPath(fileSystem_, folderPath);
        if (!created) return settleAll(pending, UndoReason::Failed, created);
        to = fileSystem_.OpenFolder(folderPath);
        if (!to) return settleAll(pending, UndoReason::Failed, to.status());
    }
    Directory& target = *to.value();

    // A fresh hidden folder of our own in the target folder: nothing in it can be anyone else's, and a link
    // from it to the target stays on one volume.
    std::string hidden;
    for (unsigned n = 0; n < kMaxHiddenFolders && hidden.empty(); ++n) {
        const std::string candidate = kHiddenFolderPrefix + std::to_string(n);
        const Status made = target.CreateSubfolder(candidate, 0700);
        if (made) hidden = candidate;
        if (!made && made.code() != EEXIST) return settleAll(pending, UndoReason::Failed, made);
    }
    if (hidden.empty())
        return settleAll(pending, UndoReason::Failed,
                         Status::Error(EEXIST, folderPath + kHiddenFolderPrefix, "mkdir"));
    const std::string root = folderPath + hidden + "/";

    // One extraction for the chunk; a member that fails it (a CRC) is tried alone afterwards, to tell a
    // damaged member from one that is not in the archive.
    auto extract = [&](const std::vector<const RunJournalEntry*>& list) -> Result<int> {
        std::vector<std::string> members;
        for (const RunJournalEntry* entry : list)
            members.push_back(entry->member);
        const auto line = ExtractCommandLine(archive, root, members);
        if (!line) return Status::Error(EINVAL, archive, "undo");
        std::string output;
        return library->Run(*line, output);
    };
    std::map<std::string, std::shared_ptr<Directory>> extractedFolders;
    auto extractedStatus = [&](const RunJournalEntry& entry,
                               std::shared_ptr<Directory>& folder) -> Result<FileStatus> {
        const std::string sub = FolderOf(entry.member);
        auto found = extractedFolders.find(sub);
        if (found == extractedFolders.end()) {
            auto opened = fileSystem_.OpenFolder(root + sub);
            if (!opened) return opened.status();
            found = extractedFolders.emplace(sub, std::move(opened.value())).first;
        }
        folder = found->second;
        return folder->StatEntry(entry.member.substr(sub.size()));
    };

    const Result<int> code = extract(pending);
    bool linkedAny = false;
    for (const RunJournalEntry* entry : pending) {
        if (!code) {
            settle(*entry, problem(*entry, UndoReason::Failed, code.status()));
            continue;
        }
        if (code.value() == kArchiverBusy) {
            settle(*entry, problem(*entry, UndoReason::ArchiverBusy));
            continue;
        }
        std::shared_ptr<Directory> from;
        auto extracted = extractedStatus(*entry, from);
        if (!extracted && code.value() != 0) {
            const Result<int> alone = extract({entry});
            if (alone && alone.value() == 0) extracted = extractedStatus(*entry, from);
            if (!extracted) {
                const int why = alone ? alone.value() : -1;
                if (why == 0) {
                    settle(*entry, problem(*entry, UndoReason::MemberMissing));
                } else if (why == kArchiverArchiveError) {
                    settle(*entry, problem(*entry, UndoReason::MemberDamaged));
                } else if (why == kArchiverBusy) {
                    settle(*entry, problem(*entry, UndoReason::ArchiverBusy));
                } else if (alone) {
                    settle(*entry, problem(*entry, UndoReason::ExtractFailed));
                } else {
                    settle(*entry, problem(*entry, UndoReason::Failed, alone.status()));
                }
                continue;
            }
        }
        if (!extracted) {
            settle(*entry, problem(*entry, UndoReason::MemberMissing));
            continue;
        }
        std::string folder, name;
        SplitFolderAndName(entry->originalPath, folder, name);
        const std::string extractedName = entry->member.substr(FolderOf(entry->member).size());
        if (!SameAsPacked(extracted.value(), *entry)) {
            // Another file of that name: the archive is not the one this run wrote.
            settle(*entry, problem(*entry, UndoReason::Changed));
        } else {
            // The archive keeps whole seconds; the journal has the rest. A time that cannot be set leaves
            // the second the archive gave.
            const std::int64_t seconds = FloorSeconds(entry->mtimeNanoseconds);
            (void)from->SetEntryTimes(
                extractedName, seconds,
                static_cast<std::int32_t>(entry->mtimeNanoseconds - seconds * 1000000000LL));
            const Status linked = from->LinkTo(extractedName, target, name);
            if (linked) {
                linkedAny = true;
                settle(*entry, std::nullopt);
            } else {
                settle(*entry,
                       problem(*entry, linked.code() == EEXIST ? UndoReason::Taken : UndoReason::Failed,
                               linked));
            }
        }
        (void)from->RemoveFile(extractedName);
    }
    // The restored names reach the disk before the journal marks them (the caller writes the marks).
    if (linkedAny) (void)target.Sync();

    // The hidden folder goes, with the folders the extraction made in it, deepest first; what was
    // extracted in them is gone already. Anything else left in it keeps it, and is reported.
    extractedFolders.clear();
    auto keep = [&](const Status& status) {
        if (!status && status.code() != ENOENT && cleanupError_.ok()) cleanupError_ = status;
    };
    RemoveMemberFolders(fileSystem_, root, pending, keep);
    keep(target.RemoveSubfolder(hidden));
}

// An undo killed in mid-chunk leaves its hidden folder behind, holding the members it had extracted and
// not yet linked (and at most one it had linked). Once the files are back, a copy there with the bytes of
// the file at its original path is a spare and goes, and so do the folders that held only such copies. A
// hidden folder in which no spare was found is left as it is, and so is anything that is not a spare: that
// might be anyone's.
void ArchiveRestorer::RemoveSpareCopies(const std::string& folderPath,
                                        const std::vector<const RunJournalEntry*>& entries) {
    auto target = fileSystem_.OpenFolder(folderPath);
    if (!target) return;
    auto listed = target.value()->ReadEntries();
    if (!listed) return;
    const std::string_view prefix = kHiddenFolderPrefix;
    for (const DirectoryEntry& hidden : listed.value()) {
        if (hidden.name.size() <= prefix.size() || hidden.name.compare(0, prefix.size(), prefix) != 0 ||
            hidden.name.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
            continue;
        auto status = target.value()->StatEntry(hidden.name);
        if (!status || status->kind != EntryKind::Directory ||
            status->ownerId != fileSystem_.EffectiveUserId())
            continue;
        const std::string root = folderPath + hidden.name + "/";
        bool removedAny = false;
        for (const RunJournalEntry* entry : entries) {
            if (!PlainMember(entry->member)) continue;
            std::string folder, name;
            SplitFolderAndName(entry->originalPath, folder, name);
            const std::string sub = FolderOf(entry->member);
            auto copies = fileSystem_.OpenFolder(root + sub);
            if (!copies) continue;
            const std::string copy = entry->member.substr(sub.size());
            if (SameBytes(*copies.value(), copy, *target.value(), name) && copies.value()->RemoveFile(copy))
                removedAny = true;
        }
        if (!removedAny) continue;
        // Best effort: a folder that still holds something simply stays.
        RemoveMemberFolders(fileSystem_, root, entries, [](const Status&) {});
        (void)target.value()->RemoveSubfolder(hidden.name);
    }
}

}  // namespace vask
