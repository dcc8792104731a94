#include "disposal/RunUndo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "disposal/ArchiveUndo.h"
#include "disposal/CreateFolderPath.h"
#include "disposal/FileOperation.h"
#include "disposal/FileOperationTexts.h"
#include "disposal/UndoTexts.h"

namespace vask {

namespace {

constexpr std::size_t kCopyBufferBytes = 1 << 20;
constexpr std::size_t kMaxJournalBytes = 256u << 20;
constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;

std::int64_t MtimeOf(const FileStatus& status) {
    return status.mtimeSeconds * 1000000000LL + status.mtimeNanoseconds;
}

Result<std::string> ReadWhole(Directory& folder, const std::string& name) {
    auto opened = folder.OpenForReading(name);
    if (!opened) return opened.status();
    std::string text;
    char buffer[65536];
    for (;;) {
        auto got = opened.value()->Read(buffer, sizeof buffer);
        if (!got) return got.status();
        if (got.value() == 0) break;
        text.append(buffer, got.value());
        if (text.size() > kMaxJournalBytes) return Status::Error(EFBIG, folder.Path() + name, "read");
    }
    return text;
}

std::optional<RunJournal> ReadJournal(Directory& folder, const std::string& name) {
    auto text = ReadWhole(folder, name);
    if (!text) return std::nullopt;
    return ParseRunJournal(text.value());
}

// Folders opened during one undo, by path: files of a run mostly share a few folders. At most kMaxOpen are
// kept open, so that a run over many folders cannot run out of descriptors.
class FolderCache {
  public:
    explicit FolderCache(FileSystem& fileSystem) : fileSystem_(fileSystem) {}

    Result<std::shared_ptr<Directory>> Open(const std::string& path, bool create) {
        auto found = open_.find(path);
        if (found != open_.end()) return found->second;
        auto opened = fileSystem_.OpenFolder(path);
        if (!opened && opened.status().code() == ENOENT && create) {
            const Status created = CreateFolderPath(fileSystem_, path);
            if (!created) return created;
            opened = fileSystem_.OpenFolder(path);
        }
        if (!opened) return opened.status();
        if (open_.size() >= kMaxOpen) open_.clear();  // the callers hold what they still use
        std::shared_ptr<Directory> folder = std::move(opened.value());
        open_[path] = folder;
        return folder;
    }

    void MarkChanged(const std::string& path, std::shared_ptr<Directory> folder) {
        if (changed_.size() >= kMaxOpen) pending_ = SyncChanged();
        changed_.emplace(path, std::move(folder));
    }

    // The renames reach the disk once per folder, not once per file.
    Status SyncChanged() {
        Status first = pending_;
        pending_ = Status();
        for (const auto& [path, folder] : changed_) {
            const Status synced = folder->Sync();
            if (!synced && first.ok()) first = synced;
        }
        changed_.clear();
        return first;
    }

  private:
    static constexpr std::size_t kMaxOpen = 256;
    FileSystem& fileSystem_;
    std::map<std::string, std::shared_ptr<Directory>> open_;
    std::map<std::string, std::shared_ptr<Directory>> changed_;
    Status pending_;
};

bool IsDisposedCopy(const FileStatus& status, const RunJournalEntry& entry) {
    if (status.kind != EntryKind::Regular || status.size != entry.size ||
        MtimeOf(status) != entry.mtimeNanoseconds)
        return false;
    return entry.placedInode == 0 ||
           (status.device == entry.placedDevice && status.inode == entry.placedInode);
}

// The disposed copy as it is now in its place, checked again on the open file, is copied to a new file in
// the original folder that takes the original name only when complete and never replaces; only then is
// the copy removed from where the run put it.
Status CopyBack(Directory& from, const std::string& fromName, Directory& to, const std::string& toName,
                const RunJournalEntry& entry) {
    auto opened = from.OpenForReading(fromName);
    if (!opened) return opened.status();
    auto inStatus = opened.value()->Stat();
    if (!inStatus) return inStatus.status();
    if (!IsDisposedCopy(inStatus.value(), entry))
        return Status::Error(ESTALE, from.Path() + fromName, "undo");
    auto created = to.CreateTemporaryFile(toName, 0600);
    if (!created) return created.status();
    std::unique_ptr<TemporaryFile> out = std::move(created.value());
    std::string buffer(kCopyBufferBytes, '\0');
    std::uint64_t copied = 0;
    for (;;) {
        auto got = opened.value()->Read(buffer.data(), buffer.size());
        if (!got) return got.status();
        if (got.value() == 0) break;
        const Status written = out->Write(std::string_view(buffer.data(), got.value()));
        if (!written) return written;
        copied += got.value();
    }
    if (copied != entry.size) return Status::Error(ESTALE, from.Path() + fromName, "undo");
    const FileStatus& in = inStatus.value();
    Status step = out->SetTimesAndMode(in.mtimeSeconds, in.mtimeNanoseconds, in.mode);
    if (step) step = out->Sync();
    if (step) step = out->Close();
    if (step) step = out->Publish(toName, false);
    if (!step) return step;
    out.reset();
    step = to.Sync();
    if (!step) return step;  // the disposed copy stays: better in two places than in none
    return from.RemoveFile(fromName);
}

class Undoer {
  public:
    explicit Undoer(FileSystem& fileSystem) : folders_(fileSystem) {}

    // Ok with restored set, or the reason it stayed.
    std::optional<UndoProblem> Restore(const RunJournalEntry& entry) {
        auto problem = [&](UndoReason reason, Status status = Status()) {
            return UndoProblem{entry.originalPath, reason, std::move(status)};
        };
        if (entry.kind == JournalPlaceKind::Deleted) return problem(UndoReason::Deleted);
        std::string folderPath, name;
        SplitFolderAndName(entry.originalPath, folderPath, name);
        if (folderPath.empty() || name.empty())
            return problem(UndoReason::Failed, Status::Error(EINVAL, entry.originalPath, "undo"));

        // Where the run put it.
        std::string fromFolderPath, fromName;
        if (entry.kind == JournalPlaceKind::Trash) {
            fromFolderPath = entry.place + "files/";
            fromName = entry.member;
        } else if (entry.kind == JournalPlaceKind::Move) {
            SplitFolderAndName(entry.place, fromFolderPath, fromName);
        } else {
            // Archive members are put back by ArchiveRestorer, not one by one.
            return problem(UndoReason::Failed, Status::Error(ENOTSUP, entry.place, "undo from an archive"));
        }
        if (fromFolderPath.empty() || fromName.empty() || fromName.find('/') != std::string::npos)
            return problem(UndoReason::Failed, Status::Error(EINVAL, entry.place, "undo"));

        // A file back at its path already (the trash's own restore, a hand move) is left as it is; another
        // file there is never replaced. Checked before a missing folder is recreated for nothing.
        auto to = folders_.Open(folderPath, false);
        if (to) {
            if (auto there = to.value()->StatEntry(name)) {
                const FileStatus& now = there.value();
                const bool same = now.kind == EntryKind::Regular && now.size == entry.size &&
                                  MtimeOf(now) == entry.mtimeNanoseconds;
                return problem(same ? UndoReason::AlreadyBack : UndoReason::Taken);
            }
        }

        auto from = folders_.Open(fromFolderPath, false);
        if (!from) {
            if (from.status().code() != ENOENT && from.status().code() != ENOTDIR &&
                from.status().code() != ELOOP)
                return problem(UndoReason::Failed, from.status());
            return problem(entry.kind == JournalPlaceKind::Trash ? UndoReason::GoneFromTrash
                                                                 : UndoReason::GoneFromFolder);
        }
        auto placed = from.value()->StatEntry(fromName);
        if (!placed) {
            if (placed.status().code() != ENOENT) return problem(UndoReason::Failed, placed.status());
            return problem(entry.kind == JournalPlaceKind::Trash ? UndoReason::GoneFromTrash
                                                                 : UndoReason::GoneFromFolder);
        }
        if (!IsDisposedCopy(placed.value(), entry)) return problem(UndoReason::Changed);

        if (!to) {
            if (to.status().code() != ENOENT) return problem(UndoReason::Failed, to.status());
            to = folders_.Open(folderPath, true);
            if (!to) return problem(UndoReason::Failed, to.status());
        }
        Status moved = from.value()->RenameTo(fromName, *to.value(), name, false);
        if (moved.code() == EXDEV) moved = CopyBack(*from.value(), fromName, *to.value(), name, entry);
        if (moved.code() == EEXIST) return problem(UndoReason::Taken);
        if (moved.code() == ESTALE) return problem(UndoReason::Changed);
        if (!moved) return problem(UndoReason::Failed, moved);
        folders_.MarkChanged(folderPath, to.value());
        folders_.MarkChanged(fromFolderPath, from.value());

        if (entry.kind == JournalPlaceKind::Trash) {
            // The info file goes with its entry; only a regular file of that name, never through a link.
            auto info = folders_.Open(entry.place + "info/", false);
            const std::string infoName = entry.member + ".trashinfo";
            if (info) {
                auto infoStatus = info.value()->StatEntry(infoName);
                if (infoStatus && infoStatus.value().kind == EntryKind::Regular) {
                    infoFiles_.emplace_back(info.value(), infoName);
                    folders_.MarkChanged(entry.place + "info/", info.value());
                }
            }
        }
        return std::nullopt;
    }

    // Removes the info files of the entries put back, then flushes the folders. A removal costs a journal
    // commit on most file systems, which the trash itself never pays; several at once share the waiting.
    // A stale info file is harmless (the trash lists a name whose file is gone), so failures are not
    // reported.
    Status Flush() {
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            for (std::size_t i = next++; i < infoFiles_.size(); i = next++)
                (void)infoFiles_[i].first->RemoveFile(infoFiles_[i].second);
        };
        std::vector<std::thread> helpers;
        const std::size_t count = std::min<std::size_t>(kRemovers - 1, infoFiles_.size() / 16);
        for (std::size_t i = 0; i < count; ++i)
            helpers.emplace_back(work);
        work();
        for (std::thread& helper : helpers)
            helper.join();
        infoFiles_.clear();
        return folders_.SyncChanged();
    }

  private:
    static constexpr std::size_t kRemovers = 8;
    FolderCache folders_;
    std::vector<std::pair<std::shared_ptr<Directory>, std::string>> infoFiles_;
};

Status AppendToJournal(Directory& runs, const std::string& name, const std::string& lines) {
    auto file = runs.CreateFile(name, FileCreation::Append, 0600);
    if (!file) return file.status();
    Status written = file.value()->Write(lines);
    if (written) written = file.value()->Sync();
    if (written) written = file.value()->Close();
    return written;
}

// A killed run's journal ends in a cut line: marks appended after it would join it into one damaged line
// and spoil the whole journal. The journal is written anew instead, without the cut line (or with the LF a
// whole last line lost), and replaces the old one in one step.
Status RewriteJournal(Directory& runs, const std::string& name, const std::string& text,
                      const std::string& lines) {
    std::string kept = text + "\n";
    const auto whole = ParseRunJournal(kept);
    if (!whole || whole->truncated) kept = text.substr(0, text.rfind('\n') + 1);
    auto created = runs.CreateTemporaryFile(name, 0600);
    if (!created) return created.status();
    TemporaryFile& file = *created.value();
    Status step = file.Write(kept + lines);
    if (step) step = file.Sync();
    if (step) step = file.Close();
    if (step) step = file.Publish(name, true);
    if (step) step = runs.Sync();
    return step;
}

}  // namespace

std::vector<RunSummary> ListRuns(FileSystem& fileSystem, const std::string& folder) {
    std::vector<RunSummary> runs;
    auto opened = fileSystem.OpenFolder(folder);
    if (!opened) return runs;
    auto entries = opened.value()->ReadEntries();
    if (!entries) return runs;
    for (const DirectoryEntry& entry : entries.value()) {
        if (!IsRunJournalName(entry.name)) continue;
        RunSummary summary;
        summary.name = entry.name;
        auto status = opened.value()->StatEntry(entry.name);
        std::optional<RunJournal> journal;
        if (status && status.value().kind == EntryKind::Regular)
            journal = ReadJournal(*opened.value(), entry.name);
        if (journal) {
            summary.usable = true;
            summary.header = journal->header;
            summary.count = journal->entries.size();
            summary.restored = journal->restored.size();
            for (const RunJournalEntry& e : journal->entries)
                if (e.kind == JournalPlaceKind::Deleted) ++summary.deleted;
        }
        runs.push_back(std::move(summary));
    }
    std::sort(runs.begin(), runs.end(),
              [](const RunSummary& a, const RunSummary& b) { return a.name > b.name; });
    return runs;
}

std::vector<RunSummary> ListOfferedRuns(FileSystem& fileSystem, const std::string& folder) {
    std::vector<RunSummary> runs = ListRuns(fileSystem, folder);
    runs.erase(std::remove_if(runs.begin(), runs.end(), [](const RunSummary& run) { return !run.Offered(); }),
               runs.end());
    return runs;
}

UndoOutcome UndoRun(FileSystem& fileSystem, const std::string& folder, const std::string& name,
                    const UndoProgress& progress, ArchiverLoader* archiver) {
    UndoOutcome outcome;
    auto opened = fileSystem.OpenFolder(folder);
    std::optional<RunJournal> journal;
    std::string text;
    if (opened && IsRunJournalName(name)) {
        auto read = ReadWhole(*opened.value(), name);
        if (read) {
            text = std::move(read.value());
            journal = ParseRunJournal(text);
        }
    }
    if (!journal) {
        outcome.usable = false;
        return outcome;
    }
    Directory& runs = *opened.value();
    Undoer undoer(fileSystem);
    ArchiveRestorer archives(fileSystem, archiver);
    std::vector<std::uint64_t> marks;
    const auto settle = [&](const RunJournalEntry& entry, std::optional<UndoProblem> problem) {
        if (!problem) {
            ++outcome.restored;
            marks.push_back(entry.seq);
            return;
        }
        // A file that is back already needs nothing more: marked, so the next undo does not list it again.
        if (problem->reason == UndoReason::AlreadyBack) marks.push_back(entry.seq);
        outcome.stayed.push_back(std::move(*problem));
    };
    const std::size_t total = journal->entries.size();
    std::size_t done = 0;
    for (std::size_t i = 0; i < total; ++i) {
        const RunJournalEntry& entry = journal->entries[i];
        if (journal->restored.count(entry.seq) != 0) {
            ++done;
            continue;
        }
        // Archive members come back a folder at a time, below.
        if (entry.kind == JournalPlaceKind::Archive) {
            archives.Add(entry);
            continue;
        }
        if (progress && !progress(done++, total, entry.originalPath)) {
            outcome.cancelled = true;
            break;
        }
        settle(entry, undoer.Restore(entry));
    }
    if (!outcome.cancelled && archives.Queued() > 0) {
        outcome.cancelled = archives.Restore(
            [&](const std::string& path) { return !progress || progress(done++, total, path); }, settle);
        outcome.cleanupError = archives.CleanupError();
    }
    // The files are on the disk in their folders before the journal says so: a kill in between leaves
    // files that the next undo finds already back.
    const Status flushed = undoer.Flush();
    if (!flushed && outcome.journalError.ok()) outcome.journalError = flushed;
    if (!marks.empty()) {
        std::string lines;
        for (std::uint64_t seq : marks)
            lines += FormatJournalRestored(seq);
        const Status written =
            journal->truncated ? RewriteJournal(runs, name, text, lines) : AppendToJournal(runs, name, lines);
        if (!written && outcome.journalError.ok()) outcome.journalError = written;
    }
    return outcome;
}

std::string UndoReasonText(const UndoProblem& problem) {
    switch (problem.reason) {
        case UndoReason::AlreadyBack:
            return "すでに元の場所にあります";
        case UndoReason::Taken:
            return "元の場所に別のﾌｧｲﾙがあります";
        case UndoReason::GoneFromTrash:
            return "ごみ箱にありません";
        case UndoReason::GoneFromFolder:
            return "移動先にありません";
        case UndoReason::ArchiveMissing:
            return "書庫がありません";
        case UndoReason::Changed:
            return "処理の後で変更されています";
        case UndoReason::Deleted:
            return "完全に削除されています";
        case UndoReason::MemberMissing:
            return "書庫の中にありません";
        case UndoReason::MemberDamaged:
            return "書庫の中で壊れています";
        case UndoReason::ArchiverMissing:
            return "Unlha32.Dllが見つかりません";
        case UndoReason::ArchiverBusy:
            return "Unlha32.Dllが使用中です";
        case UndoReason::ExtractFailed:
            return "書庫から取り出せません (ﾃﾞｨｽｸの空きと書き込み権限を確認してください)";
        case UndoReason::Failed:
            break;
    }
    std::string reason = file_operation_text::FailureReason(FileOperationFailure{"", problem.status, false});
    if (reason.size() >= 3 && reason.compare(reason.size() - 3, 3, "。") == 0)
        reason.resize(reason.size() - 3);
    return "元に戻せません (" + reason + ")";
}

std::int64_t RunStartOfName(const std::string& name) {
    std::int64_t started = 0;
    if (!IsRunJournalName(name)) return 0;
    const char* digits = name.data() + 4;  // "run-" + 20 digits
    std::from_chars(digits, digits + 20, started);
    return started;
}

std::string RunLabel(const RunSummary& run, const LocalTime& time) {
    static constexpr const char* kMethods[] = {"ごみ箱", "移動", "削除", "圧縮"};
    char when[40];
    std::snprintf(when, sizeof when, "%04d/%02d/%02d %02d:%02d", time.year, time.month, time.day, time.hour,
                  time.minute);
    if (!run.usable) return std::string(when) + " (元に戻せません)";
    const int method = run.header.method >= 0 && run.header.method <= 3 ? run.header.method : 0;
    return std::string(when) + " " + kMethods[method] + (run.restored > 0 ? " 残り " : " ") +
           std::to_string(run.Remaining()) + " 個";
}

std::string UndoResultText(const UndoOutcome& outcome, std::size_t maxListed) {
    if (!outcome.usable) return undo_text::kUnusableRunText;
    std::string text = std::to_string(outcome.restored) + " 個のﾌｧｲﾙを元に戻しました。";
    if (outcome.cancelled) text += "\n(中止しました)";
    if (!outcome.stayed.empty()) {
        text += "\n\n元に戻さなかったﾌｧｲﾙ (" + std::to_string(outcome.stayed.size()) + " 個):";
        for (std::size_t i = 0; i < outcome.stayed.size() && i < maxListed; ++i)
            text += "\n" + outcome.stayed[i].path + " : " + UndoReasonText(outcome.stayed[i]);
        if (outcome.stayed.size() > maxListed)
            text += "\nほか " + std::to_string(outcome.stayed.size() - maxListed) + " 個";
    }
    if (!outcome.journalError.ok())
        text += "\n\n記録を更新できませんでした (" + outcome.journalError.ErrorText() + ")";
    if (!outcome.cleanupError.ok())
        text += "\n\n一時ﾌｫﾙﾀﾞ " + outcome.cleanupError.path() + " を削除できませんでした (" +
                outcome.cleanupError.ErrorText() + ")";
    return text;
}

std::size_t RepointProvisionalEntries(FileSystem& fileSystem, const std::string& folder,
                                      const std::string& workingArchivePath, const std::string& archivePath) {
    auto opened = fileSystem.OpenFolder(folder);
    if (!opened) return 0;
    Directory& runs = *opened.value();
    auto names = runs.ReadEntries();
    if (!names) return 0;
    std::size_t added = 0;
    for (const DirectoryEntry& file : names.value()) {
        if (!IsRunJournalName(file.name)) continue;
        auto text = ReadWhole(runs, file.name);
        if (!text) continue;
        auto journal = ParseRunJournal(text.value());
        if (!journal) continue;
        std::string lines;
        std::size_t count = 0;
        std::uint64_t seq = journal->nextSeq;
        for (const RunJournalEntry& entry : journal->entries) {
            if (!IsProvisionalArchiveEntry(entry) || entry.place != workingArchivePath ||
                journal->restored.count(entry.seq) != 0)
                continue;
            RunJournalEntry moved = entry;
            moved.seq = seq++;
            moved.place = archivePath;
            lines += FormatJournalEntry(moved);
            ++count;
        }
        if (count == 0) continue;
        const Status written = journal->truncated ? RewriteJournal(runs, file.name, text.value(), lines)
                                                  : AppendToJournal(runs, file.name, lines);
        if (written) added += count;
    }
    return added;
}

std::size_t RemoveSettledRuns(FileSystem& fileSystem, const std::string& folder, std::int64_t nowSeconds,
                              int maxAgeDays) {
    auto opened = fileSystem.OpenFolder(folder);
    if (!opened) return 0;
    auto entries = opened.value()->ReadEntries();
    if (!entries) return 0;
    std::size_t removed = 0;
    for (const DirectoryEntry& entry : entries.value()) {
        if (!IsRunJournalName(entry.name)) continue;
        auto status = opened.value()->StatEntry(entry.name);
        if (!status || status.value().kind != EntryKind::Regular) continue;
        // "run-" + 20 digits of the start time.
        std::int64_t started = RunStartOfName(entry.name);
        if (started == 0) started = nowSeconds;  // a time out of range never ages out
        bool settled = nowSeconds - started > static_cast<std::int64_t>(maxAgeDays) * kSecondsPerDay;
        if (!settled) {
            if (auto journal = ReadJournal(*opened.value(), entry.name)) {
                settled = std::all_of(
                    journal->entries.begin(), journal->entries.end(), [&](const RunJournalEntry& e) {
                        return e.kind == JournalPlaceKind::Deleted || journal->restored.count(e.seq) != 0;
                    });
            }
        }
        if (settled && opened.value()->RemoveFile(entry.name)) ++removed;
    }
    return removed;
}

}  // namespace vask
